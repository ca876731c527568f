#include "instruments/serialgpsdevice.h"

namespace kalvora {

SerialGpsDevice::SerialGpsDevice(std::unique_ptr<SerialLink> link, std::string pathName, QObject* parent)
    : GpsDevice(parent), m_link(std::move(link)), m_pathName(std::move(pathName))
{
}

SerialGpsDevice::~SerialGpsDevice()
{
    waitForWorkers();
    closeLine();
}

void SerialGpsDevice::cancelAction()
{
    GpsDevice::cancelAction();
    m_link->setCanceled(true);
}

bool SerialGpsDevice::canceled() const
{
    return m_link->isCanceled();
}

void SerialGpsDevice::clearCanceled()
{
    GpsDevice::clearCanceled();
    m_link->setCanceled(false);
}

std::optional<std::string> SerialGpsDevice::serialCommand(std::string_view command, const ExchangeOptions& options)
{
    std::lock_guard lock(m_commandLock);
    return kalvora::serialCommand(*m_link, m_pathName, command, options);
}

void SerialGpsDevice::closeLine()
{
    std::lock_guard lock(m_commandLock);
    m_link->close();
}

} // namespace kalvora
