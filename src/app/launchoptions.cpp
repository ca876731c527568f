#include "app/launchoptions.h"

#include <QFileInfo>

namespace kalvora {

namespace {

std::optional<int> readMs(const QString& text)
{
    bool ok = false;
    const int ms = text.toInt(&ok);
    if (!ok || ms < 0)
        return std::nullopt;
    return ms;
}

} // namespace

LaunchOptions parseLaunchOptions(const QStringList& arguments)
{
    LaunchOptions options;
    if (const QByteArray env = qgetenv("KALVORA_QUIT_AFTER_MS"); !env.isEmpty())
        options.quitAfterMs = readMs(QString::fromLatin1(env));

    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == QLatin1String("--report-windows")) {
            options.reportWindows = true;
        } else if (arg == QLatin1String("--quit-after-ms") && i + 1 < arguments.size()) {
            options.quitAfterMs = readMs(arguments.at(++i));
        } else if (arg.startsWith(QLatin1String("--quit-after-ms="))) {
            options.quitAfterMs = readMs(arg.mid(arg.indexOf(QLatin1Char('=')) + 1));
        } else if (arg.startsWith(QLatin1Char('-'))) {
            // Qt's own options were taken out by QApplication; anything left is not ours.
            continue;
        } else {
            options.files << QFileInfo(arg).absoluteFilePath();
        }
    }
    return options;
}

} // namespace kalvora
