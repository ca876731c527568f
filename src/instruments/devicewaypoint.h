#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kalvora {

/**
 * A waypoint as an instrument stores it (or as it is sent to one); also a plain
 * turnpoint record of the track reader. Value type, plain C++.
 *
 * latitude/longitude are degrees (north and east positive) for instrument
 * waypoints and route points; other users keep other units in them and say so.
 */
struct DeviceWayPoint
{
    double latitude = 0.0;
    double longitude = 0.0;
    /** Altitude as entered or stored [m]. */
    double altitude = 0.0;
    /** Altitude the drivers send to the instrument [m]; every conversion sets it to `altitude`. */
    double gpsaltitude = 0.0;
    /** Cylinder radius around a route point [m]; 0 for instrument waypoints. */
    double radius = 0.0;
    /** [s]; used by the track analysis and display only. */
    std::int32_t time = 0;
    bool used = false;
    /** 0: not a scoring point. */
    std::int32_t scorePointNumber = 0;
    /** The waypoint belongs to a route. */
    bool routeWaypoint = false;
    /** Set when the record was made from a route entry. */
    bool is3D = false;
    /** The name as the instrument knows it (the long name field of the Bräuniger and Flytec protocols). UTF-8. */
    std::string shortName;
    /** Display texts set by the drivers when they read a waypoint. */
    std::string latitudeString;
    std::string longitudeString;
    std::string altitudeString;

    bool operator==(const DeviceWayPoint&) const = default;

    /** The numbers and flags of this record; name and display texts are not copied. */
    [[nodiscard]] DeviceWayPoint copy() const;
};

/** A colour with components 0..1. */
struct StatsColor
{
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 1.0;
    bool operator==(const StatsColor&) const = default;
};

/** Green for a scoring point, black when used, otherwise red. */
[[nodiscard]] StatsColor statsColor(const DeviceWayPoint& waypoint);

/**
 * A stored waypoint as it goes to an instrument. Coordinates of the stored record
 * are millionths of a degree. The name is the short name, or the full name when
 * there is no short name; the driver shortens and cleans it.
 */
[[nodiscard]] DeviceWayPoint deviceWayPointFromWaypoint(std::int64_t latitudeE6, std::int64_t longitudeE6,
                                                        double altitudeM, double radiusM,
                                                        const std::string& shortName, const std::string& name);

/** One entry of a stored route, in the store's units (degrees, metres). */
struct RouteEntry
{
    std::int64_t index = 0;
    std::string name;
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;
    double radius = 0.0;
    bool operator==(const RouteEntry&) const = default;
};

/** A route entry as a waypoint record: numbers copied, altitude also as gpsaltitude, route flags set. */
[[nodiscard]] DeviceWayPoint deviceWayPointFromRouteEntry(const RouteEntry& entry);

} // namespace kalvora
