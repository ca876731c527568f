#pragma once

#include <string>
#include <vector>

namespace kalvora::xcshapes {

/** One fix of a generated flight: position [deg, east positive] and UTC time [s since 00:00 of day one]. */
struct ShapeFix
{
    double latitudeDeg;
    double longitudeDeg;
    int timeS;
    int altitudeM;
};

/** A named generated flight. */
struct Shape
{
    std::string name;
    std::vector<ShapeFix> fixes;
};

/**
 * Every shape at full size, one fix a second unless said otherwise:
 * ridge soaring along 2, 3 and 5 km ridges for 2, 4, 8 and 12 hours; back and
 * forth on one line; a 200 km straight glide with and without GPS noise; five
 * hours parked on launch before a short flight; a 20-hour flight of thermals
 * and downwind glides (72,000 fixes); a recording that never moves. The same
 * seed gives the same fixes on every machine that has the same libm.
 */
std::vector<Shape> allShapes();

/** Every STRIDE-th fix of SHAPE (the first always, and the last). */
Shape thinned(const Shape& shape, int stride);

/**
 * The IGC file of SHAPE: a header with the date 2026-06-21 and one B record a
 * fix, times of day wrapping at 00:00 UTC, positions to a thousandth of a minute.
 */
std::vector<std::string> igcLines(const Shape& shape);

} // namespace kalvora::xcshapes
