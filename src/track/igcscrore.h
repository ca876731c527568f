#pragma once

#include <optional>
#include <string>
#include <vector>

#include "track/result.h"
#include "track/xcoptimizer.h"

namespace kalvora {

struct IGCFlight;

/**
 * Cross-country scoring of an analysed flight (the class keeps its historic
 * spelling): free distance over up to three turnpoints, flat triangle and FAI
 * triangle, written into the IGCFlight, and the small rules that turn the
 * three distances into XC points, a largest distance and a score type.
 * Stateless; every operation may run on any thread.
 */
class IGCScrore
{
public:
    /**
     * Scores FLIGHT: reads the fixes of its igcLines (analyzeIGC with 90 km/h,
     * 0 s, 86400 s), finds the exact optimum and writes freeDistance,
     * flatDistance, faiDistance [km] and the five scorePoints (printBest).
     * @return a failure when the flight has no igcLines, or when the computation
     *         could not get its memory or was cancelled; FLIGHT is then left as
     *         it was. Never throws.
     */
    [[nodiscard]] static Result<Done> calcFlightData(IGCFlight& flight, const XCOptions& options = {});

    /**
     * The fix list of LINES: B records of at most 254 bytes, fixes within 0.5 m of
     * the one read before dropped, fixes without a time 10 s after the previous,
     * times counting on across 00:00 UTC, fixes before START_TIME [s of day]
     * skipped, reading ended by the first after END_TIME (both by time of day). MAX_SPEED and VERBOSE have no effect. Longitudes west positive.
     */
    [[nodiscard]] static std::vector<XCFix> analyzeIGC(const std::vector<std::string>& lines, double maxSpeedKmh,
                                                       int startTimeS, int endTimeS, bool verbose,
                                                       const IGCFlight& flight);

    /** Writes BEST over FIXES into FLIGHT: the three distances [km] and the points of the best type. */
    static void printBest(const XCResult& best, const std::vector<XCFix>& fixes, IGCFlight& flight);

    /**
     * XC points of the three distances [km]: free itself when it is 0 or less;
     * else the largest distance × factor, with factors 1.0 / 1.2 / 1.4 for
     * points type 0 and 1.5 / 1.75 / 2.0 for any other type or when no settings
     * are reachable (nullopt).
     */
    [[nodiscard]] static double points(double freeKm, double flatKm, double faiKm, std::optional<int> xcPointsType);
    /** The largest of the three distances [km]; 0 when the free distance is 0. */
    [[nodiscard]] static double maxDistance(double freeKm, double flatKm, double faiKm);
    /** 0 free distance, 1 flat triangle, 2 FAI triangle, by the factors 1.5 / 1.75 / 2.0; 0 when free is 0. */
    [[nodiscard]] static int scoreType(double freeKm, double flatKm, double faiKm);

    /**
     * How a distance [km] is shown: cut to its whole part, below 0 "calculating",
     * 0 "n/a" (every distance under 1 km), otherwise "%2.02f" of the value, in
     * miles (× 0.6214) when MILES is set. The two words are localisation keys.
     */
    [[nodiscard]] static std::string distanceText(double km, bool miles = false);

    /**
     * Scores the B records of a route (fixes without times, "B000000…"): a new
     * flight holding LINES, scored as calcFlightData does. An empty list gives
     * distances 0 and no points.
     * @return the scored flight, or a failure as calcFlightData.
     */
    [[nodiscard]] static Result<IGCFlight> scoreRoute(const std::vector<std::string>& lines);
};

} // namespace kalvora
