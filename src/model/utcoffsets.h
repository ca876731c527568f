#pragma once

#include <array>
#include <optional>

namespace kalvora {

/** The 40 local-time offsets a flight may carry [h], in list order; index 15 is 0 h. */
inline constexpr std::array<double, 40> UtcOffsets = {
    -12, -11, -10, -9.5, -9, -8,  -7, -6, -5,    -4.5, -4, -3.5, -3, -2,    -1, 0,  1,  2,    3,  3.5,
    4,   4.5, 5,   5.5,  5.75, 6, 6.5, 7,  8,    9,    9.5, 10,  10.5, 11, 11.5, 12, 12.75, 13, 13.75, 14};

inline constexpr int UtcOffsetZeroIndex = 15;

/** The list position of an offset [h]; nullopt for an offset that is not in the table. */
[[nodiscard]] std::optional<int> utcOffsetIndex(double offsetHours);
/** The offset at a list position [h]; nullopt outside 0..39. */
[[nodiscard]] std::optional<double> utcOffsetAt(int index);

} // namespace kalvora
