#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kalvora {

/** One fix of an IGC record (a B record), in degrees, seconds and metres. */
struct IGCPoint
{
    double lat = 0;            ///< [deg] north positive
    double lon = 0;            ///< [deg] east positive
    std::int64_t gpsTime = 0;  ///< [s] since 00:00:00 UTC as written: HH * 3600 + MM * 60 + SS
    double varioAlt = 0;       ///< [m] pressure altitude
    double gpsAlt = 0;         ///< [m] GNSS altitude
    std::int64_t timezone = 0; ///< [h] offset added by getTime()

    bool operator==(const IGCPoint&) const = default;

    /**
     * Reads a B record. Sample: "B1101355206343N00006198EA0058700558" is
     * 11:01:35 UTC, 52.1057166 N, 0.1033 E, pressure 587 m, GNSS 558 m.
     * The line must start with 'B', have 'N'/'S' at 14, 'E'/'W' at 23 and at
     * least 35 characters; the validity flag (24) is not looked at.
     * @return nullopt when the line is not such a record, or when its time is
     *         no time of day (past 23:59:59) or its place is off the globe
     *         (minutes of 60 or more, past 90 deg or 180 deg). Never throws.
     */
    [[nodiscard]] static std::optional<IGCPoint> igcPointWithIGCLine(std::string_view line,
                                                                     std::int64_t timeZoneH = 0);

    /** [s] local time of day: (gpsTime + timezone * 3600 + 86400) mod 86400 (truncating). */
    [[nodiscard]] std::int64_t getTime() const { return (gpsTime + timezone * 3600 + 86400) % 86400; }

    /**
     * [m] altitude: with preferPressure the pressure altitude when above 0, else
     * the GNSS altitude; without it the GNSS altitude when above 0, else the
     * pressure altitude. The analysis always passes false.
     */
    [[nodiscard]] double getAlt(bool preferPressure) const
    {
        if (preferPressure)
            return varioAlt > 0 ? varioAlt : gpsAlt;
        return gpsAlt > 0 ? gpsAlt : varioAlt;
    }

    /** [m] great-circle (haversine, R = 6 371 000 m) distance to OTHER. */
    [[nodiscard]] double calcDistance(const IGCPoint& other) const;

    /** [m] haversine distance on a sphere of radius 6 371 000 m between two points in [deg]. */
    [[nodiscard]] static double calcDistance(double lat1, double lon1, double lat2, double lon2);
};

} // namespace kalvora
