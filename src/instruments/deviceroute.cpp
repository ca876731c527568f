#include "instruments/deviceroute.h"

#include <algorithm>

namespace kalvora {

std::vector<RouteEntry> routeEntriesForImport(const DeviceRoute& route,
                                              const std::vector<DeviceWayPoint>& deviceWaypoints)
{
    std::vector<RouteEntry> entries;
    for (const DeviceWayPoint& routePoint : route.waypoints) {
        const auto match = std::find_if(deviceWaypoints.begin(), deviceWaypoints.end(),
                                        [&](const DeviceWayPoint& w) { return w.shortName == routePoint.shortName; });
        if (match == deviceWaypoints.end())
            continue;
        RouteEntry e;
        e.index = std::int64_t(entries.size());
        e.name = match->shortName;
        e.latitude = match->latitude;
        e.longitude = match->longitude;
        e.altitude = match->altitude;
        e.radius = match->radius;
        entries.push_back(std::move(e));
    }
    return entries;
}

} // namespace kalvora
