#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "track/xcoptimizer.h"

namespace kalvora::test {

/** A point of a flight drawn in metres east and north of (0° N, 0° E), where a
    degree is 111,194.93 m both ways to better than a metre over 30 km. */
struct PlanePoint
{
    double eastM;
    double northM;
};

constexpr double kMetresPerDegree = 111194.93;

/** Fixes every STEP_M metres along the polyline through POINTS (west-positive longitudes). */
inline std::vector<XCFix> fixesAlong(const std::vector<PlanePoint>& points, double stepM = 100)
{
    std::vector<XCFix> fixes;
    int t = 36000;
    auto add = [&](double e, double n) {
        XCFix f;
        f.latitudeDeg = n / kMetresPerDegree;
        f.longitudeWDeg = -e / kMetresPerDegree;
        f.timeS = t;
        t += 10;
        fixes.push_back(f);
    };
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const PlanePoint a = points[i], b = points[i + 1];
        const double len = std::hypot(b.eastM - a.eastM, b.northM - a.northM);
        const int steps = std::max(1, int(std::ceil(len / stepM)));
        for (int s = 0; s < steps; ++s) {
            const double f = double(s) / steps;
            add(a.eastM + f * (b.eastM - a.eastM), a.northM + f * (b.northM - a.northM));
        }
    }
    add(points.back().eastM, points.back().northM);
    return fixes;
}

/** The third vertex C of a triangle A = (0, 0), B = (AB, 0) with |AC| and |BC| given [m]. */
inline PlanePoint thirdVertex(double ab, double ac, double bc)
{
    const double x = (ac * ac + ab * ab - bc * bc) / (2 * ab);
    return {x, std::sqrt(ac * ac - x * x)};
}

/** A B record of FIX at time TIME_S, altitude 1000 m, as an instrument writes it. */
inline std::string bRecord(const XCFix& fix, int timeS)
{
    const double lat = std::fabs(fix.latitudeDeg), lon = std::fabs(fix.longitudeWDeg);
    const long latM = std::lround(lat * 60000), lonM = std::lround(lon * 60000);
    char line[128];
    std::snprintf(line, sizeof line, "B%02d%02d%02d%02ld%05ld%c%03ld%05ld%cA0100001000", timeS / 3600, timeS / 60 % 60,
                  timeS % 60, latM / 60000, latM % 60000, fix.latitudeDeg < 0 ? 'S' : 'N', lonM / 60000,
                  lonM % 60000, fix.longitudeWDeg > 0 ? 'W' : 'E');
    return line;
}

} // namespace kalvora::test
