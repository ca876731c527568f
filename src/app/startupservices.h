#pragma once

#include <memory>

#include "app/appinteraction.h"

namespace kalvora {

/**
 * The start-up services of the real application: the waypoint database's
 * upload and download passes at start-up, and an upload after every change of
 * a shared waypoint while the application runs. The database's address comes
 * from WaypointSync::baseUrlFromSettings(). GUI thread.
 */
class NetworkStartupServices final : public StartupServices
{
public:
    NetworkStartupServices();
    ~NetworkStartupServices() override;

    void startWaypointSync(PersistentStore* global) override;
    void stop() override;

    [[nodiscard]] WaypointSync* waypointSync() const override { return m_sync.get(); }

private:
    std::unique_ptr<WaypointSync> m_sync;
};

} // namespace kalvora
