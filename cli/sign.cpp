// kalvora-cli sign FILE [--replace]: the IGC record with the system's security record.

#include <QCoreApplication>

#include <chrono>
#include <cstdio>

#include "cli/command.h"
#include "cli/flightfile.h"
#include "track/securityrecord.h"
#include "track/utcdate.h"

namespace kalvora::cli {
namespace {

int runSign(const QStringList& args)
{
    QString path;
    bool replace = false;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--replace"))
            replace = true;
        else if (path.isEmpty())
            path = arg;
        else {
            printError(QStringLiteral("Usage: kalvora-cli sign FILE [--replace]"));
            return 2;
        }
    }
    if (path.isEmpty()) {
        printError(QStringLiteral("Usage: kalvora-cli sign FILE [--replace]"));
        return 2;
    }
    const std::optional<QByteArray> read = readIGCFile(path);
    if (!read)
        return 1;
    const QByteArray& bytes = *read;
    // A stamp vouches for a flight record; on anything else it would only mislead.
    if (!isIGCRecord(bytes)) {
        printError(QStringLiteral("%1: not an IGC record: it needs a date record and fixes, and no binary data")
                       .arg(path));
        return 1;
    }
    SecurityStamp stamp;
    stamp.versionText =
        SecurityStamp::makeVersionText(QCoreApplication::applicationVersion().toStdString(), 0);
    stamp.writtenAt =
        utc::fullDateShortTime(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    const std::optional<std::string> marked = Strings::getDestString(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), replace, stamp);
    if (!marked) {
        printError(QStringLiteral("%1: the file holds no IGC records").arg(path));
        return 1;
    }
    std::fwrite(marked->data(), 1, marked->size(), stdout);
    std::fflush(stdout);
    return 0;
}

static RegisterCommand reg{{"sign", "sign FILE [--replace]",
                            "Write the IGC file with Kalvora's security record to stdout", &runSign}};

} // namespace
} // namespace kalvora::cli
