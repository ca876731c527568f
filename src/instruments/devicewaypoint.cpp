#include "instruments/devicewaypoint.h"

namespace kalvora {

DeviceWayPoint DeviceWayPoint::copy() const
{
    DeviceWayPoint c;
    c.latitude = latitude;
    c.longitude = longitude;
    c.altitude = altitude;
    c.gpsaltitude = gpsaltitude;
    c.radius = radius;
    c.time = time;
    c.used = used;
    c.scorePointNumber = scorePointNumber;
    c.routeWaypoint = routeWaypoint;
    c.is3D = is3D;
    return c;
}

StatsColor statsColor(const DeviceWayPoint& waypoint)
{
    if (waypoint.scorePointNumber != 0)
        return {0.0, 0.8, 0.0, 1.0};
    if (waypoint.used)
        return {0.0, 0.0, 0.0, 1.0};
    return {0.8, 0.0, 0.0, 1.0};
}

DeviceWayPoint deviceWayPointFromWaypoint(std::int64_t latitudeE6, std::int64_t longitudeE6, double altitudeM,
                                          double radiusM, const std::string& shortName, const std::string& name)
{
    DeviceWayPoint w;
    w.latitude = double(latitudeE6) / 1000000.0;
    w.longitude = double(longitudeE6) / 1000000.0;
    w.altitude = altitudeM;
    w.gpsaltitude = altitudeM;
    w.radius = radiusM;
    w.shortName = shortName.empty() ? name : shortName;
    return w;
}

DeviceWayPoint deviceWayPointFromRouteEntry(const RouteEntry& entry)
{
    DeviceWayPoint w;
    w.latitude = entry.latitude;
    w.longitude = entry.longitude;
    w.altitude = entry.altitude;
    w.gpsaltitude = entry.altitude;
    w.radius = entry.radius;
    w.shortName = entry.name;
    w.routeWaypoint = true;
    w.is3D = true;
    return w;
}

} // namespace kalvora
