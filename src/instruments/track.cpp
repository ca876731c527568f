#include "instruments/track.h"

#include <cmath>
#include <cstdio>

namespace kalvora {
namespace {

struct Civil
{
    int year, month, day, hour, minute, second;
};

Civil civil(UtcTime time)
{
    using namespace std::chrono;
    const sys_days days = floor<std::chrono::days>(time);
    const year_month_day ymd{days};
    const hh_mm_ss hms{time - days};
    return {int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), int(hms.hours().count()),
            int(hms.minutes().count()), int(hms.seconds().count())};
}

std::string format2(const char* pattern, int a, int b, int c)
{
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
    return buffer;
}

} // namespace

std::string utcDateString(const Track& track)
{
    const Civil c = civil(track.utcDateTime);
    return format2("%02d.%02d.%04d", c.day, c.month, c.year);
}

std::string utcTimeString(const Track& track)
{
    const Civil c = civil(track.utcDateTime);
    return format2("%02d:%02d:%02d", c.hour, c.minute, c.second);
}

std::string durationString(const Track& track)
{
    // The duration is shown as a time of day, so it wraps after 24 h.
    double seconds = std::floor(track.flightTime);
    if (!std::isfinite(seconds))
        seconds = 0;
    long long s = static_cast<long long>(std::fmod(seconds, 86400.0));
    if (s < 0)
        s += 86400;
    return format2("%02d:%02d:%02d", int(s / 3600), int(s / 60 % 60), int(s % 60));
}

std::string isoUtcString(UtcTime time)
{
    const Civil c = civil(time);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    return buffer;
}

bool isValidDateTime(int year, int month, int day, int hour, int minute, int second)
{
    using namespace std::chrono;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return false;
    return year_month_day{std::chrono::year{year}, std::chrono::month{unsigned(month)}, std::chrono::day{unsigned(day)}}
        .ok();
}

UtcTime utcTimeFromFields(int year, int month, int day, int hour, int minute, int second)
{
    using namespace std::chrono;
    const sys_days days{std::chrono::year{year} / std::chrono::month{unsigned(month)} / std::chrono::day{unsigned(day)}};
    return UtcTime{days} + hours{hour} + minutes{minute} + seconds{second};
}

} // namespace kalvora
