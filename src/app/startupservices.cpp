#include "app/startupservices.h"

#include "services/httpclient.h"
#include "waypoints/waypointsync.h"

namespace kalvora {

NetworkStartupServices::NetworkStartupServices() = default;

NetworkStartupServices::~NetworkStartupServices()
{
    stop();
}

void NetworkStartupServices::startWaypointSync(PersistentStore* global)
{
    if (!global || m_sync)
        return;
    m_sync = std::make_unique<WaypointSync>(*global, defaultHttpClient(), WaypointSync::baseUrlFromSettings());
    m_sync->installAsUploadStarter();
    m_sync->startStartupPasses();
}

void NetworkStartupServices::stop()
{
    // The passes use the global store: they end (the running one is waited for) before it closes.
    m_sync.reset();
}

} // namespace kalvora
