#include "waypoints/machineidentity.h"

#include <QNetworkInterface>
#include <QStringList>

namespace kalvora {

std::optional<QString> formatHardwareAddress(const QString& address)
{
    const QStringList parts = address.split(QLatin1Char(':'));
    if (parts.size() != 6)
        return std::nullopt;
    QString text;
    bool allZero = true;
    for (const QString& part : parts) {
        bool ok = false;
        const uint byte = part.toUInt(&ok, 16);
        if (!ok || part.isEmpty() || part.size() > 2 || byte > 0xFF)
            return std::nullopt;
        allZero = allZero && byte == 0;
        if (!text.isEmpty())
            text += QLatin1Char(':');
        text += QString::asprintf("%02X", byte);
    }
    if (allZero)
        return std::nullopt;
    return text;
}

std::optional<QString> machineIdentityFrom(const QList<InterfaceInfo>& interfaces)
{
    for (const InterfaceInfo& info : interfaces) {
        if (info.name == QLatin1String("en0"))
            return formatHardwareAddress(info.hardwareAddress);
    }
    for (const InterfaceInfo& info : interfaces) {
        if (info.loopback)
            continue;
        if (auto text = formatHardwareAddress(info.hardwareAddress))
            return text;
    }
    return std::nullopt;
}

std::optional<QString> machineIdentity()
{
    QList<InterfaceInfo> infos;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : all) {
        infos.append({iface.name(), iface.hardwareAddress(),
                      iface.type() == QNetworkInterface::Loopback ||
                          iface.flags().testFlag(QNetworkInterface::IsLoopBack)});
    }
    return machineIdentityFrom(infos);
}

} // namespace kalvora
