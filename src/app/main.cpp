#include <cstdio>

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <QWidget>

#include "app/kalvoraappdelegate.h"
#include "app/launchoptions.h"
#include "track/version.h"

namespace {

/** One line per shown top-level window, for scripted runs that check what start-up showed. */
void reportWindows(const kalvora::KalvoraAppDelegate& delegate)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && !widget->objectName().isEmpty())
            std::printf("window: %s\n", qPrintable(widget->objectName()));
    }
    for (const QString& path : delegate.openDocumentPaths())
        std::printf("logbook: %s\n", qPrintable(path));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kalvora"));
    QApplication::setOrganizationName(QStringLiteral("Kalvora"));
    QApplication::setApplicationVersion(QString::fromLatin1(kalvora::versionString()));
    QApplication::setDesktopFileName(QStringLiteral("kalvora"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("kalvora")));
    // Closing the last logbook goes through the delegate's quit path, which may refuse.
    QApplication::setQuitOnLastWindowClosed(false);

    const kalvora::LaunchOptions options = kalvora::parseLaunchOptions(QApplication::arguments());

    kalvora::KalvoraAppDelegate delegate;
    delegate.launch(options.files);

    if (options.reportWindows)
        QTimer::singleShot(0, &delegate, [&delegate] { reportWindows(delegate); });
    if (options.quitAfterMs)
        QTimer::singleShot(*options.quitAfterMs, &delegate, [&delegate] { delegate.requestQuit(); });

    return QApplication::exec();
}
