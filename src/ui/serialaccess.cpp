#include "ui/serialaccess.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <mutex>
#include <string>
#include <vector>

#include "instruments/devices.h"

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerSettingsResources()
{
    Q_INIT_RESOURCE(settings);
}

namespace kalvora {

namespace {

QString tr(const char* text)
{
    return QApplication::translate("SerialAccess", text);
}

} // namespace

QStringList udevRuleFolders()
{
    return {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/usr/lib/udev/rules.d"),
            QStringLiteral("/lib/udev/rules.d"), QStringLiteral("/usr/local/lib/udev/rules.d")};
}

SerialAccessProbe permissionProbe()
{
    return [](const QString& path) {
        const std::vector<std::string> problems = serialAccessProblems({path.toStdString()});
        return problems.empty() ? QString() : QString::fromStdString(problems.front());
    };
}

SerialAccessReport checkSerialAccess(const QStringList& paths, const QStringList& ruleFolders,
                                     const SerialAccessProbe& probe)
{
    SerialAccessReport report;
    for (const QString& folder : ruleFolders)
        if (QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(UdevRuleFileName))))
            report.ruleInstalled = true;

    for (const QString& path : paths) {
        if (!QFileInfo::exists(path))
            continue;
        const QString advice = probe(path);
        report.ports << SerialPortAccess{path, advice.isEmpty(), advice};
    }

    int closed = 0;
    for (const SerialPortAccess& port : report.ports)
        closed += port.mayOpen ? 0 : 1;
    if (report.ports.isEmpty())
        report.summary = tr("No USB-serial adapter is connected. Connect the instrument and check again.");
    else if (closed == 0)
        report.summary = tr("Kalvora may open every connected instrument port.");
    else if (report.ruleInstalled)
        // The rule only applies when the device appears: an adapter plugged in before
        // the rule was installed keeps its old permissions.
        report.summary = tr("The udev rule is installed, but it applies only to adapters plugged in after it. "
                            "Unplug the instrument and plug it in again, or join the group named below.");
    else
        report.summary = tr("Kalvora may not open the instrument. Install the udev rule (it gives the logged-in "
                            "user access to the instruments' adapters), or join the group named below and log in "
                            "again.");
    report.offerRuleInstall = closed > 0 && !report.ruleInstalled;
    return report;
}

QByteArray shippedUdevRule()
{
    static std::once_flag once;
    std::call_once(once, registerSettingsResources);
    QFile file(QStringLiteral(":/settings/60-kalvora-instruments.rules"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList udevRuleInstallCommand(const QString& ruleFile)
{
    // One authorisation for both steps; udev is only asked to reload where it runs.
    const QString script = QStringLiteral(
                               "install -m 0644 \"$1\" %1 && "
                               "{ udevadm control --reload-rules; udevadm trigger --subsystem-match=tty --action=change; true; }")
                               .arg(QString::fromLatin1(UdevRuleTarget));
    return {QStringLiteral("pkexec"), QStringLiteral("/bin/sh"), QStringLiteral("-c"), script, QStringLiteral("sh"),
            ruleFile};
}

} // namespace kalvora
