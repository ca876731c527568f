#include "track/utcdate.h"

#include <array>
#include <cstdio>

namespace kalvora::utc {

namespace {

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && isLeapYear(year))
        return 29;
    return days[static_cast<std::size_t>(month - 1)];
}

// Reads exactly COUNT digits at POS; false when any is missing or not a digit.
bool readDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value)
{
    if (pos + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool startsWith(std::string_view text, std::size_t pos, std::string_view token)
{
    return text.substr(pos, token.size()) == token;
}

void appendNumber(std::string& out, std::int64_t value, int width)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*lld", width, static_cast<long long>(value));
    out += buffer;
}

struct Fields
{
    CivilDate date;
    std::int64_t secondOfDay = 0;
};

Fields split(std::chrono::sys_seconds instant)
{
    const std::int64_t seconds = instant.time_since_epoch().count();
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    return {civilFromDays(days), rest};
}

} // namespace

std::int64_t daysFromCivil(const CivilDate& date)
{
    // Days from civil, after H. Hinnant's public-domain derivation: eras of 400 years.
    const std::int64_t y = static_cast<std::int64_t>(date.year) - (date.month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t m = date.month;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate civilFromDays(std::int64_t days)
{
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

bool isValidDate(const CivilDate& date)
{
    return date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= daysInMonth(date.year, date.month);
}

std::optional<std::chrono::sys_seconds> parse(std::string_view text, std::string_view pattern)
{
    CivilDate date;
    int hour = 0, minute = 0, second = 0;
    std::size_t tp = 0;
    std::size_t pp = 0;
    while (pp < pattern.size()) {
        int value = 0;
        if (startsWith(pattern, pp, "yyyy")) {
            if (!readDigits(text, tp, 4, value))
                return std::nullopt;
            date.year = value;
            pp += 4;
        } else if (startsWith(pattern, pp, "yy")) {
            if (!readDigits(text, tp, 2, value))
                return std::nullopt;
            date.year = fullYearFromTwoDigits(value);
            pp += 2;
        } else if (startsWith(pattern, pp, "MM") || startsWith(pattern, pp, "dd") ||
                   startsWith(pattern, pp, "HH") || startsWith(pattern, pp, "mm") ||
                   startsWith(pattern, pp, "ss")) {
            if (!readDigits(text, tp, 2, value))
                return std::nullopt;
            switch (pattern[pp]) {
            case 'M':
                date.month = value;
                break;
            case 'd':
                date.day = value;
                break;
            case 'H':
                hour = value;
                break;
            case 'm':
                minute = value;
                break;
            default:
                second = value;
                break;
            }
            pp += 2;
        } else {
            if (tp >= text.size() || text[tp] != pattern[pp])
                return std::nullopt;
            ++tp;
            ++pp;
        }
    }
    if (tp != text.size() || !isValidDate(date) || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return std::chrono::sys_seconds{
        std::chrono::seconds{daysFromCivil(date) * 86400 + hour * 3600 + minute * 60 + second}};
}

std::string format(std::chrono::sys_seconds instant, std::string_view pattern)
{
    const Fields f = split(instant);
    std::string out;
    std::size_t pp = 0;
    while (pp < pattern.size()) {
        if (startsWith(pattern, pp, "yyyy")) {
            appendNumber(out, f.date.year, 4);
            pp += 4;
        } else if (startsWith(pattern, pp, "yy")) {
            appendNumber(out, ((f.date.year % 100) + 100) % 100, 2);
            pp += 2;
        } else if (startsWith(pattern, pp, "MM")) {
            appendNumber(out, f.date.month, 2);
            pp += 2;
        } else if (startsWith(pattern, pp, "dd")) {
            appendNumber(out, f.date.day, 2);
            pp += 2;
        } else if (startsWith(pattern, pp, "HH")) {
            appendNumber(out, f.secondOfDay / 3600, 2);
            pp += 2;
        } else if (startsWith(pattern, pp, "mm")) {
            appendNumber(out, f.secondOfDay % 3600 / 60, 2);
            pp += 2;
        } else if (startsWith(pattern, pp, "ss")) {
            appendNumber(out, f.secondOfDay % 60, 2);
            pp += 2;
        } else {
            out += pattern[pp++];
        }
    }
    return out;
}

std::string toIso8601(std::chrono::sys_seconds instant)
{
    return format(instant, "yyyy-MM-ddTHH:mm:ssZ");
}

std::string fullDateShortTime(std::chrono::sys_seconds instant)
{
    static constexpr std::array<const char*, 7> weekdays{"Thursday", "Friday",  "Saturday", "Sunday",
                                                         "Monday",   "Tuesday", "Wednesday"};
    static constexpr std::array<const char*, 12> months{"January",   "February", "March",    "April",
                                                        "May",       "June",     "July",     "August",
                                                        "September", "October",  "November", "December"};
    const Fields f = split(instant);
    const std::int64_t days = daysFromCivil(f.date);
    const auto weekday = static_cast<std::size_t>(((days % 7) + 7) % 7); // 1970-01-01 was a Thursday
    const std::int64_t hour = f.secondOfDay / 3600;
    const std::int64_t hour12 = hour % 12 == 0 ? 12 : hour % 12;
    std::string out = weekdays[weekday];
    out += ", ";
    out += months[static_cast<std::size_t>(f.date.month - 1)];
    out += ' ';
    out += std::to_string(f.date.day);
    out += ", ";
    out += std::to_string(f.date.year);
    out += " at ";
    out += std::to_string(hour12);
    out += ':';
    appendNumber(out, f.secondOfDay % 3600 / 60, 2);
    out += hour < 12 ? " AM" : " PM";
    return out;
}

} // namespace kalvora::utc
