#pragma once

#include <QString>

namespace kalvora {

/**
 * A waypoint on its way into the global store: what the WPT reader gives and
 * what the waypoint importer takes (instrument drivers convert their records
 * to it). Degrees north and east positive, metres.
 */
struct WaypointRecord
{
    QString shortName;
    double latitude = 0;    ///< [deg]
    double longitude = 0;   ///< [deg]
    double altitude = 0;    ///< [m] as entered or stored
    double gpsaltitude = 0; ///< [m] the altitude an instrument is given; equal to altitude from files
    double radius = 0;      ///< [m] cylinder radius; 0 for plain waypoints
    bool operator==(const WaypointRecord&) const = default;
};

} // namespace kalvora
