#pragma once

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "track/result.h"

namespace kalvora {

/**
 * One fix as the XC optimiser reads it from a B record. Longitudes are kept
 * positive to the west, as the optimiser has always held them; they are negated
 * back only when turnpoints are handed out.
 */
struct XCFix
{
    double latitudeDeg = 0;    ///< [deg] north positive
    double longitudeWDeg = 0;  ///< [deg] WEST positive
    int timeS = 0;             ///< [s] UTC seconds of the day
    bool operator==(const XCFix&) const = default;
};

/** The best distances of one flight and the fixes that give them. */
struct XCResult
{
    /** Fix indices: start, turnpoint 1, 2, 3, finish (free distance), or closing start,
        three vertices, closing finish (triangles). */
    using Points = std::array<int, 5>;

    int freeM = 0; ///< [m] free distance over up to three turnpoints
    int flatM = 0; ///< [m] flat triangle minus its closing distance
    int faiM = 0;  ///< [m] FAI triangle minus its closing distance
    Points freePoints{};
    Points flatPoints{};
    Points faiPoints{};
    bool operator==(const XCResult&) const = default;
};

/** Knobs of one optimisation; the defaults suit the background XC queue. */
struct XCOptions
{
    /** Worker threads: 0 picks what the machine offers (at most 2), 1 stays on the caller's thread. */
    int threads = 0;
    /** When set and true, the search stops early and the result is a failure. */
    const std::atomic<bool>* cancel = nullptr;
};

/**
 * Distance between two fixes as the scoring counts it [m]: the spherical law of
 * cosines on a sphere of 6 371 000 m, plus 0.5, truncated to whole metres.
 * Every score is a sum of these whole-metre legs.
 */
[[nodiscard]] int xcDistanceM(const XCFix& a, const XCFix& b);

/**
 * Reads the fixes of B records from LINES (the cleaned lines of a flight
 * analysis, or B records made from a route): records longer than 254 bytes are
 * skipped, a fix without a time (000000 while no earlier record stated one)
 * gets the previous fix's time + 10 s, times keep increasing across 00:00 UTC
 * (a step back of 10 hours or more is the next day), fixes whose time of day
 * is before START_S are skipped, the first one after END_S ends the reading,
 * and a fix within 0.5 m (haversine) of the fix read before it is dropped.
 * Never throws except std::bad_alloc.
 */
[[nodiscard]] std::vector<XCFix> readXCFixes(const std::vector<std::string>& lines, int startS = 0,
                                             int endS = 86400);

/**
 * The exact optimum of the three XC distances over FIXES: free distance over up
 * to three turnpoints (start ≤ tp1 < tp2 < tp3 ≤ finish), and the best flat and
 * FAI triangles closed within 20 % of their perimeter (an FAI triangle has
 * every side at least 28 % of it), each scored as perimeter minus the shortest
 * closing distance. The values equal those of an exhaustive search over every
 * fix triple; memory grows linearly with the fixes.
 * @return the distances and their fixes, or a failure when memory runs out or
 *         the search was cancelled. Never throws. Any thread may call it.
 */
[[nodiscard]] Result<XCResult> optimizeXC(const std::vector<XCFix>& fixes, const XCOptions& options = {});

/** The values a track gets before any search: the fixed starting paths and triangles. */
[[nodiscard]] XCResult xcStartingValues(const std::vector<XCFix>& fixes);

} // namespace kalvora
