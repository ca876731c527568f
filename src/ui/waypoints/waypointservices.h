#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace kalvora {

class WaypointAddressLookup;

/**
 * What the waypoint windows need from the rest of the application, passed in
 * so that tests can point them at loopback servers. Every member may be empty.
 */
struct WaypointServices
{
    /** Names new waypoints' places; called on worker threads, must outlive the windows. Null: no addresses.
     */
    WaypointAddressLookup* addresses = nullptr;
    /** The machine identity stored with waypoints made here; empty: the system's (machineIdentity()). */
    std::function<std::optional<QString>()> machineIdentity;
    /** Starts one upload pass of the online waypoint database and returns at once. Empty: none. */
    std::function<void()> startUpload;
    /** Opens the waypoint window on the stored waypoint with this identifier. Empty: nothing opens. */
    std::function<void(const QString& uri)> showWaypoint;
};

} // namespace kalvora
