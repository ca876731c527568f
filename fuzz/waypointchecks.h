// What every waypoint reader promises, whatever it is given: records on the
// globe with finite altitudes and short names. A broken promise aborts, so the
// fuzzer reports it like a crash.
#pragma once

#include <cmath>
#include <cstdlib>

#include "waypoints/waypointformats.h"

namespace kalvora::fuzz {

inline void checkReading(const waypointformats::Reading& reading)
{
    for (const WaypointRecord& r : reading.waypoints) {
        if (!(std::fabs(r.latitude) <= 90) || !(std::fabs(r.longitude) <= 180) ||
            !std::isfinite(r.altitude) || r.altitude != r.gpsaltitude || r.shortName.size() > 255 ||
            r.radius != 0)
            std::abort();
    }
    if (reading.skipped < 0)
        std::abort();
}

} // namespace kalvora::fuzz
