#pragma once

#include <string>
#include <vector>

#include "instruments/devicewaypoint.h"

namespace kalvora {

/** A route as an instrument stores it. Value type. */
struct DeviceRoute
{
    std::string name;
    std::vector<DeviceWayPoint> waypoints;

    /** Instrument routes carry no computed length: always "n/a". */
    [[nodiscard]] static std::string distance() { return "n/a"; }

    bool operator==(const DeviceRoute&) const = default;
};

/** A stored route handed to a driver for writing (the device window converts the stored entity). */
struct RouteToWrite
{
    std::string name;
    /** In store order; drivers sort by `index` where the protocol needs it. */
    std::vector<RouteEntry> entries;
    bool operator==(const RouteToWrite&) const = default;
};

/**
 * The entries a route read from an instrument becomes in the store: each route
 * waypoint is looked up by exact `shortName` in the instrument's waypoint list
 * (first match); a match gives an entry with the next index (from 0) and the
 * coordinates, altitude, radius and name of the list entry; a waypoint without
 * match is skipped and uses up no index.
 */
[[nodiscard]] std::vector<RouteEntry> routeEntriesForImport(const DeviceRoute& route,
                                                            const std::vector<DeviceWayPoint>& deviceWaypoints);

} // namespace kalvora
