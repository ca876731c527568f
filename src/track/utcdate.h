#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kalvora::utc {

/**
 * Date and time texts of the track code. Every text is read and written as
 * UTC with fixed English ("en_US_POSIX") rules, whatever the machine's locale
 * and time zone; nothing here consults the C library's locale or TZ.
 */

/** A calendar day of the proleptic Gregorian calendar. */
struct CivilDate
{
    int year = 1970;
    int month = 1; ///< 1..12
    int day = 1;   ///< 1..31
    bool operator==(const CivilDate&) const = default;
};

/** Days since 1970-01-01 of a calendar day (negative before it). Does not validate. */
[[nodiscard]] std::int64_t daysFromCivil(const CivilDate& date);
/** The calendar day of a day number since 1970-01-01. */
[[nodiscard]] CivilDate civilFromDays(std::int64_t days);
/** True when month and day exist in that year (29 February only in leap years). */
[[nodiscard]] bool isValidDate(const CivilDate& date);

/**
 * The full year of a two-digit IGC year [0..99]: 20yy below 81, else 19yy.
 * The flight analysis and every date reader share this one window so that a
 * date reads the same everywhere and never depends on today's date.
 */
[[nodiscard]] constexpr int fullYearFromTwoDigits(int yy)
{
    return yy < 81 ? 2000 + yy : 1900 + yy;
}

/**
 * Parses TEXT with PATTERN as UTC. Pattern letters: "yyyy" (4-digit year),
 * "yy" (two-digit year, see fullYearFromTwoDigits), "MM", "dd", "HH", "mm",
 * "ss" (two digits each); any other pattern character must match literally.
 * The whole text must be consumed and every field must be in range.
 * Example: parse("020715103012", "ddMMyyHHmmss") is 2015-07-02 10:30:12 UTC.
 * @return the instant, or nullopt when the text does not fit the pattern.
 */
[[nodiscard]] std::optional<std::chrono::sys_seconds> parse(std::string_view text, std::string_view pattern);

/** Formats INSTANT in UTC with the pattern letters of parse(). */
[[nodiscard]] std::string format(std::chrono::sys_seconds instant, std::string_view pattern);

/** ISO 8601 UTC text of INSTANT, e.g. "2015-07-02T10:30:12Z". */
[[nodiscard]] std::string toIso8601(std::chrono::sys_seconds instant);

/**
 * The date and time as the user reads them in the second L record of a marked
 * IGC record (full date style, short time style, English), e.g.
 * "Sunday, December 6, 2026 at 1:40 PM".
 */
[[nodiscard]] std::string fullDateShortTime(std::chrono::sys_seconds instant);

} // namespace kalvora::utc
