#pragma once

// Builds small IGC records for the track tests.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "track/placefinder.h"

namespace kalvora::test {

/** A B record at TIMES [s of the day], LAT/LON [deg], altitudes [m]. */
inline std::string bRecord(long timeS, double lat, double lon, int gpsAltM, int pressureAltM = 0,
                           char validity = 'A')
{
    char text[64];
    std::snprintf(text, sizeof text, "B%02ld%02ld%02ld%s%s%c%05d%05d", timeS / 3600 % 100, timeS % 3600 / 60,
                  timeS % 60, PlaceFinder::igcStringFromLatitude(lat).c_str(),
                  PlaceFinder::igcStringFromLongitude(lon).c_str(), validity, pressureAltM, gpsAltM);
    return text;
}

/** [deg] of latitude per metre along a meridian on the analysis' sphere. */
constexpr double kDegPerMetre = 1.0 / 111194.92664455873;

/** Lines joined with CR LF. */
inline std::string igcText(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

/**
 * A simple flight along a meridian, one fix every STEPS seconds from STARTS:
 * STANDS seconds standing at the take-off, FLYS seconds flying north at
 * SPEEDKMH sinking 1 m/s, then LANDEDS seconds standing at the landing.
 */
struct SimpleFlight
{
    long startS = 10 * 3600;
    long stepS = 1;
    long standS = 60;
    long flyS = 600;
    long landedS = 400;
    double speedKmh = 30;
    int takeoffAltM = 1500;
    std::string dateLine = "HFDTE020715";
    long gapAfterS = -1; ///< fixes after this many seconds are written GAPS later
    long gapS = 0;
    long spikeAtS = -1; ///< the fix at this second is written at SPIKEALTM
    int spikeAltM = 0;

    long landingAltM() const { return takeoffAltM - flyS; }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out{"AXXX001", dateLine, "HFGTYGLIDERTYPE:Test Wing"};
        const double lat0 = 46.0;
        const double lon0 = 7.0;
        for (long t = 0; t <= standS + flyS + landedS; t += stepS) {
            const long flying = std::min(std::max(t - standS, 0L), flyS);
            const double lat = lat0 + flying * speedKmh / 3.6 * kDegPerMetre;
            const long written = startS + t + (gapAfterS >= 0 && t > gapAfterS ? gapS : 0);
            const int altM = t == spikeAtS ? spikeAltM : static_cast<int>(takeoffAltM - flying);
            out.push_back(bRecord(written % 86400, lat, lon0, altM));
        }
        return out;
    }

    std::string text() const { return igcText(lines()); }
};

} // namespace kalvora::test
