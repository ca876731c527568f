#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kalvora {

/**
 * The coordinate arithmetic shared by waypoints, routes and the track code:
 * great-circle distance between points in microdegrees and the IGC coordinate
 * texts (DDMMmmm + N/S, DDDMMmmm + E/W). The network look-ups that name a
 * place live with the waypoint code. Thread-safe, never throws.
 */
struct PlaceFinder
{
    /**
     * [m] haversine distance (R = 6 371 000 m), truncated toward zero, between two
     * points given in [1e-6 deg].
     */
    [[nodiscard]] static std::int64_t gpsDistance(double startLatitudeE6, double startLongitudeE6,
                                                  double endLatitudeE6, double endLongitudeE6);

    /**
     * [1e-6 deg] of an IGC latitude text such as "4707404N" (47.1234 N ->
     * 47123400); "S"/"s" first or last makes it negative; without a trailing
     * letter the first character is taken as a hemisphere letter.
     * @return 0 for an empty or malformed text (0 is also the equator).
     */
    [[nodiscard]] static std::int64_t latitudeFromString(std::string_view text);
    /** As latitudeFromString() with "E"/"W", e.g. "01122560E" -> 11376000. */
    [[nodiscard]] static std::int64_t longitudeFromString(std::string_view text);

    /** IGC latitude text of [deg], e.g. 47.1234 -> "4707404N"; no carry into degrees
        (47.999999999 -> "4760000N"). */
    [[nodiscard]] static std::string igcStringFromLatitude(double latitude);
    /** IGC longitude text of [deg], e.g. 11.376 -> "01122560E". */
    [[nodiscard]] static std::string igcStringFromLongitude(double longitude);
};

} // namespace kalvora
