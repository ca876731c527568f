#include "track/igc.h"

#include <algorithm>

#include "track/igcfields.h"
#include "track/placefinder.h"

namespace kalvora {

namespace {

using igcfields::leadingInt;

// A backward step of this size or more between fixes is a crossing of 00:00 UTC.
constexpr std::int64_t kMidnightStepS = 36000;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool sixDigitsAt(std::string_view line, std::size_t pos)
{
    if (line.size() < pos + 6)
        return false;
    for (std::size_t i = pos; i < pos + 6; ++i) {
        if (!isDigit(line[i]))
            return false;
    }
    return true;
}

int twoDigits(std::string_view line, std::size_t pos)
{
    return (line[pos] - '0') * 10 + (line[pos + 1] - '0');
}

bool isFixLineForSummary(std::string_view line)
{
    return !line.empty() && line[0] == 'B' && line.size() >= 34 && line.size() <= 100;
}

/**
 * [s] The time of day of a B record whose time is a time of day and whose
 * place is on the globe: "HHMMSS" digits up to 23:59:59, minutes (in
 * thousandths) below 60, and no more than 90 deg of latitude or 180 deg of
 * longitude. nullopt for any other line, or one without the fixed fields
 * (24 characters).
 */
std::optional<std::int64_t> fixTimeOfDay(std::string_view line)
{
    if (line.size() < 24 || (line[14] != 'N' && line[14] != 'S') || (line[23] != 'E' && line[23] != 'W'))
        return std::nullopt;
    // One pass over the fixed fields "HHMMSS DDMMmmm N DDDMMmmm": every one
    // must be digits, read as it goes.
    const auto number = [line](std::size_t from, std::size_t count, std::int64_t& value) {
        value = 0;
        for (std::size_t i = from; i < from + count; ++i) {
            const unsigned digit = static_cast<unsigned char>(line[i]) - unsigned('0');
            if (digit > 9)
                return false;
            value = value * 10 + digit;
        }
        return true;
    };
    std::int64_t hh = 0, mm = 0, ss = 0, latDeg = 0, latMin = 0, lonDeg = 0, lonMin = 0;
    if (!number(1, 2, hh) || !number(3, 2, mm) || !number(5, 2, ss) || !number(7, 2, latDeg) ||
        !number(9, 5, latMin) || !number(15, 3, lonDeg) || !number(18, 5, lonMin))
        return std::nullopt;
    if (hh > 23 || mm > 59 || ss > 59 || latMin >= 60000 || lonMin >= 60000 ||
        latDeg * 60000 + latMin > 90 * 60000 || lonDeg * 60000 + lonMin > 180 * 60000)
        return std::nullopt;
    return hh * 3600 + mm * 60 + ss;
}

} // namespace

std::optional<utc::CivilDate> IGCDate::civil() const
{
    const utc::CivilDate date{utc::fullYearFromTwoDigits(yy), month, day};
    if (yy < 0 || yy > 99 || !utc::isValidDate(date))
        return std::nullopt;
    return date;
}

std::vector<std::string_view> IGC::getICGLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    lines.reserve(text.size() / 40 + 1);
    std::size_t pos = 0;
    // The CR LF search covers the whole rest; remembering where the next CR LF
    // lies keeps the split linear instead of searching the rest once per line.
    std::size_t nextCrLf = text.find("\r\n");
    while (pos < text.size()) {
        if (nextCrLf != std::string_view::npos && nextCrLf < pos)
            nextCrLf = text.find("\r\n", pos);
        if (nextCrLf != std::string_view::npos) {
            const std::string_view candidate = text.substr(pos, nextCrLf - pos);
            if (candidate.size() > 2)
                lines.push_back(candidate);
            pos = nextCrLf + 2;
            continue;
        }
        const std::size_t lf = text.find('\n', pos);
        if (lf != std::string_view::npos) {
            const std::string_view candidate = text.substr(pos, lf - pos);
            if (candidate.size() > 1)
                lines.push_back(candidate);
            pos = lf + 1;
            continue;
        }
        lines.push_back(text.substr(pos));
        break;
    }
    return lines;
}

double IGC::timeFromIGCLine(std::string_view line)
{
    return static_cast<double>(leadingInt(igcfields::field(line, 1, 2)) * 3600 +
                               leadingInt(igcfields::field(line, 3, 2)) * 60 +
                               leadingInt(igcfields::field(line, 5, 2)));
}

std::optional<IGCDate> IGC::dateFromHeaderLine(std::string_view line)
{
    if (!igcfields::startsWithNoCase(line, "HFDTE") && !igcfields::startsWithNoCase(line, "HPDTE"))
        return std::nullopt;
    // Sample of the older form: "HFDTE020715"; of the current one: "HFDTEDATE:020715,01".
    std::size_t pos = 5;
    if (igcfields::startsWithNoCase(line.substr(5), "DATE:"))
        pos = 10;
    if (!sixDigitsAt(line, pos))
        return std::nullopt;
    return IGCDate{twoDigits(line, pos), twoDigits(line, pos + 2), twoDigits(line, pos + 4)};
}

std::optional<IGCTrackSummary> IGC::getTrackFromIGCData(std::string_view text)
{
    const std::vector<std::string_view> lines = getICGLines(text);
    if (lines.empty())
        return std::nullopt;
    std::optional<IGCDate> date;
    bool dateSeen = false;
    std::int64_t startS = 0;
    std::int64_t previousS = 0;
    std::int64_t endS = 0; // counted on from the first fix's day
    std::int64_t dayS = 0;
    std::size_t fixes = 0;
    for (const std::string_view line : lines) {
        if (line.starts_with("HFDTE")) {
            // A later date record replaces an earlier one, readable or not.
            date = dateFromHeaderLine(line);
            dateSeen = true;
        } else if (const auto fixTime = isFixLineForSummary(line) ? fixTimeOfDay(line) : std::nullopt) {
            const std::int64_t timeS = *fixTime;
            if (fixes == 0) {
                startS = timeS;
            } else if (timeS <= previousS - kMidnightStepS) {
                // Only a step back of many hours is the passing of 00:00 UTC;
                // smaller ones are fixes out of order, not a day gone by.
                dayS += 86400;
            }
            previousS = timeS;
            endS = dayS + timeS;
            ++fixes;
        }
    }
    if (!dateSeen || fixes < 2 || !date)
        return std::nullopt;
    const std::optional<utc::CivilDate> day = date->civil();
    if (!day)
        return std::nullopt;
    // A record whose last fix is not after its first (one that runs backwards)
    // covers no time at all.
    const std::int64_t flightTimeS = endS - startS;
    if (flightTimeS <= 0)
        return std::nullopt;

    IGCTrackSummary summary;
    summary.startUTC =
        std::chrono::sys_seconds{std::chrono::seconds{utc::daysFromCivil(*day) * 86400 + startS}};
    summary.flightTimeS = flightTimeS;
    summary.trackNumber = 0;
    summary.igcData = std::string(text);
    return summary;
}

std::vector<IGCTrackPoint> IGC::getWaypoints(std::string_view text, bool normalize)
{
    std::vector<IGCTrackPoint> points;
    for (const std::string_view line : getICGLines(text)) {
        if (!isFixLineForSummary(line) || !fixTimeOfDay(line))
            continue;
        const std::int64_t lat = PlaceFinder::latitudeFromString(line.substr(7, 8));
        const std::int64_t lon = PlaceFinder::longitudeFromString(line.substr(15, 9));
        if (lat == 0 || lon == 0)
            continue;
        const std::size_t a = line.find('A');
        if (a == std::string_view::npos || line.size() < a + 11)
            continue;
        IGCTrackPoint point;
        point.latitudeE6 = static_cast<double>(lat);
        point.longitudeE6 = static_cast<double>(lon);
        point.altitudeM = static_cast<double>(leadingInt(line.substr(a + 1, 5)));
        point.gpsAltitudeM = static_cast<double>(leadingInt(line.substr(a + 6, 5)));
        point.timeS = static_cast<std::int64_t>(timeFromIGCLine(line));
        points.push_back(point);
    }
    if (!normalize || points.size() < 2)
        return points;

    std::vector<IGCTrackPoint> filled;
    filled.reserve(points.size());
    filled.push_back(points.front());
    std::int64_t latestS = points.front().timeS;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const IGCTrackPoint before = points[i - 1];
        const IGCTrackPoint& next = points[i];
        const std::int64_t gap = next.timeS - before.timeS;
        // Only gaps that move the track forward past every earlier fix are filled:
        // a record whose times jump back and forth would otherwise make up an
        // entry for every second of every jump. For a record in time order this is
        // every gap, and the entries made up stay below one per second of the day.
        const bool forward = before.timeS >= latestS;
        latestS = std::max(latestS, next.timeS);
        if (forward && gap >= 2) {
            const float step =
                static_cast<float>(next.gpsAltitudeM - before.gpsAltitudeM) / static_cast<float>(gap);
            IGCTrackPoint copy = before;
            copy.scorePoint = 0;
            for (std::int64_t t = 1; t < gap; ++t) {
                copy.timeS = before.timeS + t;
                copy.gpsAltitudeM = static_cast<double>(static_cast<float>(copy.gpsAltitudeM) + step);
                filled.push_back(copy);
            }
        }
        filled.push_back(next);
    }
    return filled;
}

std::optional<std::string> IGC::getIGCFilename(std::string_view igcData, std::chrono::sys_seconds start,
                                               const std::function<bool(const std::string& name)>& nameTaken)
{
    std::string_view logger;
    for (const std::string_view line : getICGLines(igcData)) {
        if (line.size() > 5 && line[0] == 'G') {
            logger = line.substr(1, 4);
            break;
        }
    }
    if (logger.empty())
        return std::nullopt;
    const std::int64_t days =
        (start.time_since_epoch().count() - (start.time_since_epoch().count() % 86400 + 86400) % 86400) /
        86400;
    const utc::CivilDate date = utc::civilFromDays(days);
    // The G record is whatever bytes the file holds; only letters and digits
    // go into a file name, so that "/", ".." or control bytes cannot lead it
    // out of the export folder or make it unreadable.
    std::string loggerPart(logger);
    for (char& c : loggerPart) {
        const bool safe = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!safe)
            c = '_';
    }
    const std::string prefix = *igcStringFromInt(date.year % 10) + *igcStringFromInt(date.month) +
                               *igcStringFromInt(date.day) + loggerPart;
    for (int n = 1; n <= 34; ++n) {
        std::string name = prefix + *igcStringFromInt(n) + ".igc";
        if (!nameTaken || !nameTaken(name))
            return name;
    }
    return std::nullopt;
}

std::optional<std::string> IGC::igcStringFromInt(std::int64_t value)
{
    if (value < 10)
        return std::to_string(value);
    if (value <= 35)
        return std::string(1, static_cast<char>(value + 55));
    return std::nullopt;
}

std::int64_t IGC::igcIntFromString(std::string_view text)
{
    if (text.empty())
        return 0;
    const auto c = static_cast<unsigned char>(text.front());
    return c < 'A' ? c - 48 : c - 55;
}

} // namespace kalvora
