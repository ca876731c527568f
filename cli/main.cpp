#include <QCoreApplication>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "cli/command.h"
#include "track/version.h"

namespace kalvora::cli {
namespace {

std::vector<Command>& registry()
{
    static std::vector<Command> commands;
    return commands;
}

void printHelp()
{
    std::string text = "Usage: kalvora-cli COMMAND [ARGS...]\n\n"
                       "Scriptable front end to the Kalvora flight logbook.\n"
                       "Results are JSON on stdout, messages go to stderr.\n\n"
                       "Commands:\n";
    auto commands = registry();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return std::string_view(a.name) < b.name; });
    for (const Command& c : commands) {
        text += "  ";
        text += c.usage;
        text += "\n      ";
        text += c.summary;
        text += "\n";
    }
    text += "\nOptions:\n  --help     show this text\n  --version  show the version\n";
    std::fputs(text.c_str(), stdout);
}

} // namespace

RegisterCommand::RegisterCommand(Command command)
{
    registry().push_back(command);
}

void printJson(const QJsonValue& value)
{
    QByteArray out;
    if (value.isObject())
        out = QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    else if (value.isArray())
        out = QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    else
        out = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    out += '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
}

void printError(const QString& message)
{
    const QByteArray line = message.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

} // namespace kalvora::cli

int main(int argc, char* argv[])
{
    using namespace kalvora::cli;
    // Printing and maps lay out and draw text, which needs Qt's GUI side; they run without a display.
    const bool drawsPages = argc > 1 && (std::strcmp(argv[1], "print") == 0 || std::strcmp(argv[1], "map") == 0);
    if (drawsPages && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app = drawsPages ? std::make_unique<QGuiApplication>(argc, argv)
                                                             : std::make_unique<QCoreApplication>(argc, argv);
    // The application object took every locale category from the environment; the
    // numbers written and read back for instruments, files and URLs (printf,
    // strtod) keep the C locale's '.' whatever the user's language.
    std::setlocale(LC_NUMERIC, "C");
    QCoreApplication::setApplicationName(QStringLiteral("Kalvora"));
    QCoreApplication::setOrganizationName(QStringLiteral("Kalvora"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kalvora::versionString()));

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")
        || args.first() == QLatin1String("help")) {
        printHelp();
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == QLatin1String("--version")) {
        std::printf("kalvora-cli %s\n", kalvora::versionString());
        return 0;
    }
    const QString name = args.takeFirst();
    for (const Command& c : registry()) {
        if (name == QLatin1String(c.name))
            return c.run(args);
    }
    printError(QStringLiteral("kalvora-cli: unknown command \"%1\"; see kalvora-cli --help").arg(name));
    return 2;
}
