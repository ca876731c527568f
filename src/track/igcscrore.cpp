#include "track/igcscrore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "track/igcflight.h"

namespace kalvora {
namespace {

// Which type's points a flight shows: always by the contest factors, whatever the points setting.
int bestType(double freeKm, double flatKm, double faiKm)
{
    if (1.5 * freeKm > 1.75 * flatKm && 1.5 * freeKm > 2.0 * faiKm)
        return 0;
    if (1.75 * flatKm > 2.0 * faiKm)
        return 1;
    return 2;
}

} // namespace

std::vector<XCFix> IGCScrore::analyzeIGC(const std::vector<std::string>& lines, double /*maxSpeedKmh*/,
                                         int startTimeS, int endTimeS, bool /*verbose*/, const IGCFlight& /*flight*/)
{
    return readXCFixes(lines, startTimeS, endTimeS);
}

void IGCScrore::printBest(const XCResult& best, const std::vector<XCFix>& fixes, IGCFlight& flight)
{
    flight.freeDistance = best.freeM / 1000.0;
    flight.flatDistance = best.flatM / 1000.0;
    flight.faiDistance = best.faiM / 1000.0;
    flight.scorePoints.clear();
    if (fixes.empty())
        return;
    const int type = bestType(flight.freeDistance, flight.flatDistance, flight.faiDistance);
    const XCResult::Points& pts = type == 0 ? best.freePoints : type == 1 ? best.flatPoints : best.faiPoints;
    for (int index : pts) {
        const XCFix& fix = fixes[std::size_t(std::clamp(index, 0, int(fixes.size()) - 1))];
        flight.scorePoints.push_back(XCScorePoint{fix.latitudeDeg, -fix.longitudeWDeg});
    }
}

Result<Done> IGCScrore::calcFlightData(IGCFlight& flight, const XCOptions& options)
{
    if (flight.igcLines.empty())
        return Result<Done>::failure("The flight holds no IGC records to score.");
    try {
        const std::vector<XCFix> fixes = analyzeIGC(flight.igcLines, 90, 0, 86400, false, flight);
        Result<XCResult> best = optimizeXC(fixes, options);
        if (!best)
            return Result<Done>::failure(best.error());
        // Written only once complete: a failure leaves the flight as it was.
        IGCFlight scored;
        printBest(*best, fixes, scored);
        flight.freeDistance = scored.freeDistance;
        flight.flatDistance = scored.flatDistance;
        flight.faiDistance = scored.faiDistance;
        flight.scorePoints = std::move(scored.scorePoints);
        return Done{};
    } catch (const std::bad_alloc&) {
        return Result<Done>::failure("Not enough memory to score the flight.");
    }
}

double IGCScrore::points(double freeKm, double flatKm, double faiKm, std::optional<int> xcPointsType)
{
    if (freeKm <= 0)
        return freeKm;
    const bool contest = xcPointsType && *xcPointsType == 0;
    const double fFree = contest ? 1.0 : 1.5;
    const double fFlat = contest ? 1.2 : 1.75;
    const double fFai = contest ? 1.4 : 2.0;
    return std::max({freeKm * fFree, flatKm * fFlat, faiKm * fFai});
}

double IGCScrore::maxDistance(double freeKm, double flatKm, double faiKm)
{
    if (freeKm == 0)
        return 0;
    return std::max({freeKm, flatKm, faiKm});
}

int IGCScrore::scoreType(double freeKm, double flatKm, double faiKm)
{
    if (freeKm == 0)
        return 0;
    return bestType(freeKm, flatKm, faiKm);
}

std::string IGCScrore::distanceText(double km, bool miles)
{
    const double whole = std::trunc(km);
    if (whole < 0)
        return "calculating";
    if (whole == 0)
        return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, "%2.02f", miles ? km * 0.6214 : km);
    return text;
}

Result<IGCFlight> IGCScrore::scoreRoute(const std::vector<std::string>& lines)
{
    IGCFlight flight;
    flight.igcLines = lines;
    if (lines.empty())
        return flight;
    Result<Done> done = calcFlightData(flight);
    if (!done)
        return Result<IGCFlight>::failure(done.error());
    return flight;
}

} // namespace kalvora
