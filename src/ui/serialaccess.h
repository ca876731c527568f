#pragma once

#include <functional>

#include <QString>
#include <QStringList>

namespace kalvora {

/** One candidate port and whether this user may open it. */
struct SerialPortAccess
{
    QString path;
    bool mayOpen = false;
    QString advice; ///< what to do when the port may not be opened
};

/** What the serial access panel shows and offers after a check. */
struct SerialAccessReport
{
    QList<SerialPortAccess> ports;
    bool ruleInstalled = false;
    /** The summary line: nothing connected, all fine, or what to do. */
    QString summary;
    /** The rule button is offered only when it can help: a port is closed to us and the rule is missing. */
    bool offerRuleInstall = false;
};

/** The file name of the shipped udev rule, the same under every rules folder. */
inline constexpr const char* UdevRuleFileName = "60-kalvora-instruments.rules";
/** Where the rule is installed on request (the administrator's folder). */
inline constexpr const char* UdevRuleTarget = "/etc/udev/rules.d/60-kalvora-instruments.rules";

/** The folders udev reads rules from; tests point them elsewhere. */
[[nodiscard]] QStringList udevRuleFolders();

/** The advice for a port this user may not open; empty when it may be opened. */
using SerialAccessProbe = std::function<QString(const QString& path)>;
/** The serial link's permission check (read and write access to the device node). */
[[nodiscard]] SerialAccessProbe permissionProbe();

/**
 * Runs PROBE on the existing ports among PATHS and tells whether the rule lies
 * in one of RULEFOLDERS.
 */
[[nodiscard]] SerialAccessReport checkSerialAccess(const QStringList& paths, const QStringList& ruleFolders,
                                                   const SerialAccessProbe& probe = permissionProbe());

/** The shipped rule's text (from the application's resources). */
[[nodiscard]] QByteArray shippedUdevRule();

/**
 * The privileged command that installs the rule file at RULEFILE and asks udev to
 * apply it to the ports already plugged in: program and arguments for pkexec.
 */
[[nodiscard]] QStringList udevRuleInstallCommand(const QString& ruleFile);

} // namespace kalvora
