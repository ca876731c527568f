#pragma once

#include <cstdint>
#include <string_view>

namespace kalvora {

/**
 * Reads an instrument coordinate text: digits with a hemisphere letter (N, S, E
 * or W, either case) at the end or at the start; the last five digits are
 * thousandths of a minute, the digits before them whole degrees. Sample:
 * "4730500N" -> 47.508333 degrees. Result in millionths of a degree (rounded),
 * negative for S and W; 0 for any other character among the digits.
 */
[[nodiscard]] std::int64_t coordinateE6FromString(std::string_view text);

/**
 * A number at the start of TEXT as the instruments' text fields carry it: leading
 * blanks skipped, then an optional sign, digits and fraction; 0 when there is none.
 */
[[nodiscard]] double leadingNumber(std::string_view text);

/** Whole number at the start of TEXT (leading blanks and sign allowed); 0 when there is none. */
[[nodiscard]] long long leadingInteger(std::string_view text);

} // namespace kalvora
