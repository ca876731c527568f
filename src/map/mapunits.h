#pragma once

#include <QString>

namespace kalvora::map {

/** The display units the map's texts use, from the settings record. */
struct DisplayUnits
{
    bool feet = false;  ///< altitudes in feet instead of metres
    bool miles = false; ///< distances in miles instead of kilometres
    bool fpm = false;   ///< climb in feet per minute instead of m/s
    bool operator==(const DisplayUnits&) const = default;

    /** Display units per metre of altitude. */
    [[nodiscard]] double altitudeFactor() const { return feet ? 3.28084 : 1.0; }
};

/** The units of the current settings record; metric without one. Any thread. */
[[nodiscard]] DisplayUnits currentDisplayUnits();
/** "1234 m" or "4049 ft" of ALTITUDEM [m]. */
[[nodiscard]] QString altitudeText(double altitudeM, DisplayUnits units);
/** "+2.3 m/s" or "+453 fpm" of CLIMBMS [m/s], always signed. */
[[nodiscard]] QString climbText(double climbMs, DisplayUnits units);

} // namespace kalvora::map
