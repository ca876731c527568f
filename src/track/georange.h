#pragma once

// The ranges a place on the Earth can have, shared by every reader of
// coordinates typed or read from files, so that all refuse the same values.

#include <cmath>

namespace kalvora::geo {

/** [m] Altitudes of places: below the lowest shore, above the highest summit. */
inline constexpr double minAltitudeM = -1000;
inline constexpr double maxAltitudeM = 10000;
/** [m] The largest turnpoint cylinder radius. */
inline constexpr double maxRadiusM = 100000;

/** [deg] finite and within -90..90. */
inline bool isLatitude(double degrees)
{
    return std::isfinite(degrees) && std::fabs(degrees) <= 90;
}

/** [deg] finite and within -180..180. */
inline bool isLongitude(double degrees)
{
    return std::isfinite(degrees) && std::fabs(degrees) <= 180;
}

/** [m] finite and within minAltitudeM..maxAltitudeM. */
inline bool isAltitude(double metres)
{
    return std::isfinite(metres) && metres >= minAltitudeM && metres <= maxAltitudeM;
}

/** [m] finite and within 0..maxRadiusM. */
inline bool isRadius(double metres)
{
    return std::isfinite(metres) && metres >= 0 && metres <= maxRadiusM;
}

} // namespace kalvora::geo
