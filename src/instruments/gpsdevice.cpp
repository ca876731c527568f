#include "instruments/gpsdevice.h"

#include <QMetaObject>
#include <QPointer>

namespace kalvora {

void GpsDeviceDelegate::tracksRead(GpsDevice&, const std::vector<Track>&) {}
void GpsDeviceDelegate::waypointsRead(GpsDevice&, const std::vector<DeviceWayPoint>&) {}
void GpsDeviceDelegate::routesRead(GpsDevice&, const std::vector<DeviceRoute>&) {}
void GpsDeviceDelegate::settingsRead(GpsDevice&, bool) {}

GpsDevice::GpsDevice(QObject* parent) : QObject(parent) {}

GpsDevice::~GpsDevice()
{
    waitForWorkers();
}

std::string GpsDevice::name()
{
    clearCanceled();
    return m_descriptor;
}

void GpsDevice::cancelAction()
{
    m_canceled = true;
}

bool GpsDevice::canceled() const
{
    return m_canceled;
}

void GpsDevice::clearCanceled()
{
    m_canceled = false;
}

std::vector<Track> GpsDevice::tracks()
{
    return {};
}

bool GpsDevice::igcTrack(Track&)
{
    return false;
}

Result<Done> GpsDevice::deleteAllTracks()
{
    return Result<Done>::failure(kUnsupportedOperation);
}

std::vector<DeviceWayPoint> GpsDevice::waypoints()
{
    return {};
}

Result<Done> GpsDevice::writeWaypoint(const DeviceWayPoint&)
{
    return Result<Done>::failure(kUnsupportedOperation);
}

Result<Done> GpsDevice::deleteWaypoints(const std::vector<DeviceWayPoint>&)
{
    return Result<Done>::failure(kUnsupportedOperation);
}

Result<Done> GpsDevice::deleteAllWaypoints()
{
    return Result<Done>::failure(kUnsupportedOperation);
}

std::optional<std::vector<DeviceRoute>> GpsDevice::routes()
{
    return std::nullopt;
}

Result<Done> GpsDevice::writeRoute(const RouteToWrite&)
{
    return Result<Done>::failure(kUnsupportedOperation);
}

Result<Done> GpsDevice::deleteRoutes(const std::vector<DeviceRoute>&)
{
    return Result<Done>::failure(kUnsupportedOperation);
}

Result<Done> GpsDevice::deleteAllRoutes()
{
    return Result<Done>::failure(kUnsupportedOperation);
}

bool GpsDevice::readSettings()
{
    return false;
}

void GpsDevice::trackList()
{
    clearCanceled();
    runInBackground([this] {
        std::vector<Track> list = tracks();
        postToOwnerThread([this, list = std::move(list)] {
            if (m_delegate)
                m_delegate->tracksRead(*this, list);
        });
    });
}

void GpsDevice::waypointList()
{
    clearCanceled();
    runInBackground([this] {
        std::vector<DeviceWayPoint> list = waypoints();
        postToOwnerThread([this, list = std::move(list)] {
            if (m_delegate)
                m_delegate->waypointsRead(*this, list);
        });
    });
}

void GpsDevice::routeList()
{
    clearCanceled();
    runInBackground([this] {
        std::vector<DeviceRoute> list = routes().value_or(std::vector<DeviceRoute>{});
        postToOwnerThread([this, list = std::move(list)] {
            if (m_delegate)
                m_delegate->routesRead(*this, list);
        });
    });
}

bool GpsDevice::getSettings()
{
    clearCanceled();
    runInBackground([this] {
        const bool ok = readSettings();
        postToOwnerThread([this, ok] {
            if (m_delegate)
                m_delegate->settingsRead(*this, ok);
        });
    });
    return true;
}

void GpsDevice::runInBackground(std::function<void()> work)
{
    std::lock_guard lock(m_workersMutex);
    m_workers.emplace_back(std::move(work));
}

void GpsDevice::postToOwnerThread(std::function<void()> fn)
{
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void GpsDevice::waitForWorkers()
{
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(m_workersMutex);
        workers.swap(m_workers);
    }
    if (workers.empty())
        return;
    cancelAction();
    for (std::thread& t : workers)
        if (t.joinable())
            t.join();
}

} // namespace kalvora
