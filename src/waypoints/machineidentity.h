#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kalvora {

/** A network interface as far as the machine identity needs it. */
struct InterfaceInfo
{
    QString name;
    QString hardwareAddress; ///< as the system reports it, e.g. "00:11:22:aa:bb:cc"; empty when none
    bool loopback = false;
};

/**
 * The machine identity sent with every request to the online waypoint
 * database: the six bytes of a hardware address as "%02X:%02X:...". The
 * interface "en0" is used when it exists; otherwise (Linux names its
 * interfaces differently) the first non-loopback interface that has a
 * hardware address. nullopt when no interface qualifies.
 */
[[nodiscard]] std::optional<QString> machineIdentity();

/** The choice of machineIdentity() over INTERFACES, in the system's order. */
[[nodiscard]] std::optional<QString> machineIdentityFrom(const QList<InterfaceInfo>& interfaces);

/** "00:11:22:AA:BB:CC" from a hardware-address text; nullopt unless it holds exactly six bytes, not all zero.
 */
[[nodiscard]] std::optional<QString> formatHardwareAddress(const QString& address);

} // namespace kalvora
