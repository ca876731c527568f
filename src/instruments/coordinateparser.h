#pragma once

#include <cstdint>
#include <string>
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

/** A coordinate as the instruments' text fields carry it, sign left aside. */
struct MinuteThousandths
{
    int degrees = 0;
    int minutes = 0;
    int thousandths = 0; ///< [1/1000 min]

    bool operator==(const MinuteThousandths&) const = default;
};

/**
 * Whole degrees, whole minutes and thousandths of a minute of |DEGREES|, rounded
 * to the nearest thousandth of a minute (the fields' resolution): 47.3 gives
 * 47 18.000, where truncating the binary value would give 47 17.999. Every
 * driver writes its coordinate fields from this. NaN gives 0; values beyond
 * 360 are held at 360.
 */
[[nodiscard]] MinuteThousandths minuteThousandths(double degrees);

/**
 * A number at the start of TEXT as the instruments' text fields carry it: leading
 * blanks skipped, then an optional sign, digits and fraction with a '.' (in any
 * locale); 0 when there is none.
 */
[[nodiscard]] double leadingNumber(std::string_view text);

/**
 * VALUE with DECIMALS digits after a '.', right-aligned in MINWIDTH characters:
 * printf's "%*.*f" in the C locale, whatever locale the process runs in, so
 * that texts shown and written for instruments never carry a decimal comma.
 * "nan" and "inf" as printf writes them.
 */
[[nodiscard]] std::string fixedText(double value, int decimals, int minWidth = 0);

/** Whole number at the start of TEXT (leading blanks and sign allowed); 0 when there is none. */
[[nodiscard]] long long leadingInteger(std::string_view text);

} // namespace kalvora
