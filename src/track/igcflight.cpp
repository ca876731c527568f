#include "track/igcflight.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "track/igc.h"
#include "track/igcfields.h"
#include "track/utcdate.h"
#include "track/vectorstate.h"

namespace kalvora {

namespace {

// Placeholders written over rejected fixes in the working copy; every reader
// skips a B record whose second character is 'X'. The three lengths tell the
// reason apart when a record is inspected by hand.
constexpr std::string_view kInvalidFix = "BXXXXXXXXXXXXXXXXX"; // too short or marked 'V'
constexpr std::string_view kNoWindow = "BXXXXXXXXXXXXXXX";     // unreadable window or stationary
constexpr std::string_view kImplausible = "BXXXXXXXXXXXXXX";   // failed the plausibility rules

constexpr std::int64_t kDayS = 86400;
// A backward step of this size or more between fixes is a crossing of 00:00 UTC.
constexpr std::int64_t kMidnightStepS = 36000;

/** [s] forward time between two times of day, counting a crossing of 00:00 UTC as forward. */
std::int64_t timeStep(std::int64_t fromS, std::int64_t toS)
{
    std::int64_t step = toS - fromS;
    if (step <= -kMidnightStepS)
        step += kDayS;
    return step;
}

bool withinLimit(double value, double limit)
{
    return std::fabs(std::trunc(value)) <= limit;
}

/** One B record of the text with the pair values against the B record before it. */
struct BRecord
{
    IGCPoint fix;
    bool readable = false;
    std::int64_t timeOfDayS = 0;
    double altitudeM = 0;
    // Against the previous B record (both readable): distance [m], time step [s],
    // speed [km/h] and vario [m/s], the latter two 0 when the step is 0.
    bool hasPair = false;
    double distanceM = 0;
    std::int64_t stepS = 0;
    double speedKmh = 0;
    double varioMs = 0;
};

/**
 * The B records of a text in order, read once. The pre-filter's window always
 * looks at records after the one it judges, which it has not changed yet, so
 * both passes can share what is read here.
 */
std::vector<BRecord> readBRecords(const std::vector<std::string_view>& lines)
{
    std::vector<BRecord> records;
    records.reserve(lines.size());
    for (const std::string_view line : lines) {
        if (line.empty() || line[0] != 'B')
            continue;
        BRecord record;
        if (const std::optional<IGCPoint> fix = IGCPoint::igcPointWithIGCLine(line, 0)) {
            record.fix = *fix;
            record.readable = true;
            record.timeOfDayS = fix->getTime();
            record.altitudeM = fix->getAlt(false);
            if (!records.empty() && records.back().readable) {
                const BRecord& before = records.back();
                record.hasPair = true;
                record.distanceM = record.fix.calcDistance(before.fix);
                record.stepS = timeStep(before.timeOfDayS, record.timeOfDayS);
                if (record.stepS != 0) {
                    record.speedKmh = record.distanceM * 3.6 / static_cast<double>(record.stepS);
                    record.varioMs =
                        (record.altitudeM - before.altitudeM) / static_cast<double>(record.stepS);
                }
            }
        }
        records.push_back(record);
    }
    return records;
}

struct PreFilterCount
{
    std::size_t accepted = 0;
    std::size_t bLines = 0;
    std::size_t zeroInterval = 0;
    std::int64_t earliestS = std::numeric_limits<std::int64_t>::max();
    std::int64_t latestS = 0;
};

PreFilterCount preFilter(std::vector<std::string_view>& lines, const std::vector<BRecord>& records,
                         const IGCFlight& limits, bool firstPass)
{
    PreFilterCount count;
    if (lines.size() <= 10)
        return count;
    const std::size_t end = lines.size() - 10;
    std::size_t b = 0; // index of the current line among the B records
    // Times of day made continuous over 00:00 UTC for the sampling interval.
    std::int64_t lastTimeS = -1;
    std::int64_t dayS = 0;
    for (std::size_t i = 0; i < end; ++i) {
        const std::string_view line = lines[i];
        if (line.empty() || line[0] != 'B')
            continue;
        const std::size_t current = b++;
        ++count.bLines;
        if (line.size() < 35 || line[24] == 'V') {
            lines[i] = kInvalidFix;
            continue;
        }
        // The window: this fix and the next four, and one more B record after them.
        bool windowReadable = current + 5 < records.size();
        for (std::size_t k = current; windowReadable && k <= current + 4; ++k)
            windowReadable = records[k].readable;
        if (!windowReadable) {
            lines[i] = kNoWindow;
            continue;
        }
        const BRecord& p1 = records[current + 1];
        const BRecord& p2 = records[current + 2];
        const double sumSpeedKmh =
            p1.speedKmh + p2.speedKmh + records[current + 3].speedKmh + records[current + 4].speedKmh;

        const std::int64_t timeS = records[current].timeOfDayS;
        if (lastTimeS >= 0 && timeS <= lastTimeS - kMidnightStepS)
            dayS += kDayS;
        lastTimeS = timeS;
        count.earliestS = std::min(count.earliestS, timeS + dayS);
        count.latestS = std::max(count.latestS, timeS + dayS);

        if (p2.distanceM < 0.5 && p2.stepS >= 3) {
            lines[i] = kNoWindow;
            continue;
        }
        if (p2.stepS == 0)
            ++count.zeroInterval;
        bool acceptable = p2.stepS != 0 && withinLimit(sumSpeedKmh * 0.25 - p2.speedKmh, 40) &&
                          p2.altitudeM <= limits.maxAllowedHeight &&
                          withinLimit(p2.speedKmh, limits.maxAllowedSpeed) &&
                          withinLimit(p2.varioMs, limits.maxAllowedVario);
        // Until five fixes are in, a fix must also look like someone standing or
        // walking at take-off, so that a wild first fix does not become the anchor.
        if (acceptable && firstPass && count.accepted < 5)
            acceptable = withinLimit(p2.speedKmh, 0.5 * limits.maxAllowedSpeed) &&
                         withinLimit(p2.varioMs, 0.4 * limits.maxAllowedVario);
        if (acceptable)
            ++count.accepted;
        else
            lines[i] = kImplausible;
    }
    return count;
}

} // namespace

void IGCFlight::resetData()
{
    DATE.clear();
    MAX_SPEED = MEAN_SPEED = MAX_ALT = MIN_ALT = TAKEOFF_ALT = LANDING_ALT = CUMMO_ALT = 0;
    MAX_VARIO = MIN_VARIO = LINEAR_DISTANCE = 0;
    START_TIME = END_TIME = DURATION = 0;
    startDayOffset = endDayOffset = 0;
    freeDistance = flatDistance = faiDistance = 0;
    firstTrackPoint.reset();
    lastTrackPoint.reset();
    scorePoints.clear();
}

void IGCFlight::setAllowedParams()
{
    maxAllowedHeight = 9000;
    switch (cat) {
    case 2:
        maxAllowedSpeed = 200;
        maxAllowedVario = 15;
        break;
    case 4:
        maxAllowedSpeed = 200;
        maxAllowedVario = 17;
        break;
    case 8:
        maxAllowedSpeed = 350;
        maxAllowedVario = 20;
        break;
    case 16:
    case 32:
        maxAllowedSpeed = 150;
        maxAllowedVario = 13;
        break;
    case 64:
        maxAllowedSpeed = 140;
        maxAllowedVario = 13;
        maxAllowedHeight = 15000;
        break;
    default:
        maxAllowedSpeed = 140;
        maxAllowedVario = 13;
        break;
    }
}

std::size_t IGCFlight::getNextPointPos(const std::vector<std::string_view>& lines, std::size_t current)
{
    for (std::size_t i = current + 1; i < lines.size(); ++i) {
        if (!lines[i].empty() && lines[i][0] == 'B')
            return i;
    }
    return lines.size();
}

std::optional<std::chrono::sys_seconds> IGCFlight::startUTC() const
{
    const std::optional<std::chrono::sys_seconds> day =
        DATE.size() == 10 ? utc::parse(DATE, "yyyy-MM-dd") : std::nullopt;
    if (!day)
        return std::nullopt;
    return *day + std::chrono::seconds{static_cast<std::int64_t>(startDayOffset) * kDayS + START_TIME};
}

std::optional<std::chrono::sys_seconds> IGCFlight::landingUTC() const
{
    const std::optional<std::chrono::sys_seconds> day =
        DATE.size() == 10 ? utc::parse(DATE, "yyyy-MM-dd") : std::nullopt;
    if (!day)
        return std::nullopt;
    return *day + std::chrono::seconds{static_cast<std::int64_t>(endDayOffset) * kDayS + END_TIME};
}

std::optional<IGCFlight> IGCFlight::flightFromIGC(std::string_view text, int gliderType, bool saned)
{
    clearUpperVectorState();
    const std::vector<std::string_view> original = IGC::getICGLines(text);
    if (original.empty())
        return std::nullopt;
    IGCFlight flight;
    flight.category = gliderType;
    flight.resetData();
    flight.setAllowedParams();

    const std::vector<BRecord> records = readBRecords(original);
    // Fixes off the globe or outside the day are not read; what is left must still make a track.
    if (std::count_if(records.begin(), records.end(), [](const BRecord& r) { return r.readable; }) < 2)
        return std::nullopt;

    // Pre-filter: first with the start rule, then without it.
    std::vector<std::string_view> lines = original;
    bool noTime = false;
    PreFilterCount count = preFilter(lines, records, flight, true);
    std::size_t sampleCount = count.accepted;
    if (count.accepted == 0) {
        const auto hasNoTimes = [](const PreFilterCount& c) {
            return c.bLines > 0 && static_cast<double>(c.zeroInterval) / static_cast<double>(c.bLines) > 0.9;
        };
        if (!hasNoTimes(count)) {
            lines = original;
            count = preFilter(lines, records, flight, false);
        }
        if (count.accepted > 0) {
            sampleCount = count.accepted;
        } else if (hasNoTimes(count)) {
            noTime = true;
            lines = original;
            sampleCount = count.bLines;
        } else {
            return std::nullopt;
        }
    }

    // Main pass.
    const double intervalS =
        std::round(static_cast<double>(count.latestS - count.earliestS) / static_cast<double>(sampleCount));
    const int confirmPairs = intervalS < 8 ? 5 : 2;
    flight.timezone = 0;
    bool waiting = true;
    std::size_t fixCounter = 0;
    int fastPairs = 0;
    std::int64_t fastTimeS = 0;
    int slowPairs = 0;
    std::int64_t slowTimeS = 0;
    std::size_t samples = 0;
    double speedSumKmh = 0;
    bool stop = false;
    bool skipFixes = false;
    bool dateSeen = false;

    IGCPoint previous;
    double previousAltM = 0;
    std::size_t previousB = 0;
    IGCPoint sample;
    double sampleAltM = 0;
    std::optional<IGCPoint> candidate;
    int candidateDay = 0;
    int previousDay = 0;
    int anchorDay = 0;
    // Day count of the fixes since the first, so that a record passing 00:00 UTC
    // dates its take-off and landing right.
    int dayIndex = 0;
    int dateDay = 0;
    std::int64_t lastSeenTimeS = -1;

    std::size_t b = 0;
    for (const std::string_view line : lines) {
        if (stop)
            break;
        if (line.empty())
            continue;
        if (line[0] != 'B') {
            if (line.size() >= 3 && igcfields::startsWithNoCase(line, "OLC"))
                continue;
            if (line.size() >= 5 &&
                (igcfields::startsWithNoCase(line, "HFDTE") || igcfields::startsWithNoCase(line, "HPDTE"))) {
                if (line.size() < 11)
                    continue;
                const std::optional<IGCDate> date = IGC::dateFromHeaderLine(line);
                if (!date)
                    continue;
                if (fixCounter == 0 || !dateSeen) {
                    char text[48];
                    std::snprintf(text, sizeof text, "%d-%02d-%02d", utc::fullYearFromTwoDigits(date->yy),
                                  date->month, date->day);
                    flight.DATE = text;
                    dateSeen = true;
                    dateDay = dayIndex;
                } else if (previous.gpsTime < 86200) {
                    // A second date inside the flight that is no crossing of midnight:
                    // another flight follows in the same record.
                    skipFixes = true;
                }
                continue;
            }
            if (line.size() >= 15 && igcfields::startsWithNoCase(line.substr(2), "GTYGLIDERTYPE")) {
                if (flight.glider.empty() && line.size() > 16)
                    flight.glider = std::string(line.substr(16));
                continue;
            }
            continue;
        }

        const std::size_t current = b++;
        if (skipFixes || line.size() < 2 || line[1] == 'X' || line.size() < 23 || line.size() > 100)
            continue;
        const BRecord& record = records[current];
        if (!record.readable)
            continue;
        const IGCPoint& p = record.fix;
        const double altM = record.altitudeM;
        const std::int64_t timeS = record.timeOfDayS;
        if (lastSeenTimeS >= 0 && timeS <= lastSeenTimeS - kMidnightStepS)
            ++dayIndex;
        lastSeenTimeS = timeS;

        if (fixCounter == 0) {
            if (altM > flight.maxAllowedHeight)
                continue;
            flight.firstTrackPoint = p;
            flight.TAKEOFF_ALT = flight.MIN_ALT = altM;
            flight.START_TIME = timeS;
            previous = sample = p;
            previousAltM = sampleAltM = altM;
            previousB = current;
            previousDay = anchorDay = dayIndex;
            flight.MAX_ALT = std::max(flight.MAX_ALT, altM);
            ++fixCounter;
            continue;
        }

        candidate = p;
        candidateDay = dayIndex;
        const std::int64_t previousTimeS = previous.getTime();
        const std::int64_t rawStepS = timeS - previousTimeS;
        if (rawStepS >= -(kMidnightStepS - 1) && rawStepS <= -1)
            continue;
        const std::int64_t dt = timeStep(previousTimeS, timeS);
        const std::int64_t ds = timeStep(sample.getTime(), timeS);
        if (static_cast<double>(dt) > flight.max_allowed_time_gap && !waiting) {
            candidate = previous;
            candidateDay = previousDay;
            stop = true;
            continue;
        }
        double speedKmh = 0;
        double varioMs = 0;
        if (dt != 0) {
            // The pair is usually two neighbouring records, read once already.
            const double distanceM =
                (record.hasPair && previousB + 1 == current) ? record.distanceM : p.calcDistance(previous);
            speedKmh = distanceM * 3.6 / static_cast<double>(dt);
            varioMs = (altM - previousAltM) / static_cast<double>(dt);
        }

        if (!noTime) {
            if (waiting) {
                if (fastPairs < confirmPairs && fastTimeS < 31) {
                    const bool fast = speedKmh >= 15 || (fastPairs > 1 && speedKmh >= 10);
                    if (fast) {
                        ++fastPairs;
                        fastTimeS += dt;
                    } else {
                        fastPairs = 0;
                        fastTimeS = 0;
                    }
                    fixCounter = 0;
                    continue;
                }
                waiting = false;
            }
            if (speedKmh < 5) {
                ++slowPairs;
                slowTimeS += dt;
            } else {
                slowPairs = 0;
                slowTimeS = 0;
            }
            if (slowTimeS > 300 || (slowTimeS > 180 && slowPairs > confirmPairs))
                stop = true;
            if (dt == 0)
                continue;
        }

        if (altM > flight.maxAllowedHeight || !withinLimit(speedKmh, flight.maxAllowedSpeed) ||
            !withinLimit(varioMs, flight.maxAllowedVario))
            continue;

        flight.LINEAR_DISTANCE = std::max(flight.LINEAR_DISTANCE, p.calcDistance(*flight.firstTrackPoint));
        if (ds >= 11) {
            const double sampleSpeedKmh = p.calcDistance(sample) * 3.6 / static_cast<double>(ds);
            const double climbM = altM - sampleAltM;
            const double sampleVarioMs = climbM / static_cast<double>(ds);
            if (climbM > 0)
                flight.CUMMO_ALT += climbM;
            flight.MAX_SPEED = std::max(flight.MAX_SPEED, sampleSpeedKmh);
            speedSumKmh += sampleSpeedKmh;
            flight.MAX_VARIO = std::max(flight.MAX_VARIO, sampleVarioMs);
            flight.MIN_VARIO = std::min(flight.MIN_VARIO, sampleVarioMs);
            ++samples;
            sample = p;
            sampleAltM = altM;
        }
        flight.MAX_ALT = std::max(flight.MAX_ALT, altM);
        flight.MIN_ALT = std::min(flight.MIN_ALT, altM);
        previous = p;
        previousAltM = altM;
        previousB = current;
        previousDay = dayIndex;
        ++fixCounter;
    }

    flight.validFlight = !(waiting && flight.LINEAR_DISTANCE < 50);

    if (saned) {
        flight.igcLines.clear();
        flight.igcLines.reserve(lines.size());
        for (const std::string_view line : lines) {
            if (!line.empty() && !line.starts_with("BX"))
                flight.igcLines.emplace_back(line);
        }
    } else {
        flight.igcLines.assign(original.begin(), original.end());
    }

    flight.startDayOffset = anchorDay - dateDay;
    if (candidate) {
        flight.lastTrackPoint = candidate;
        flight.LANDING_ALT = candidate->getAlt(false);
        flight.END_TIME = candidate->getTime();
        flight.endDayOffset = candidateDay - dateDay;
    } else {
        flight.lastTrackPoint.reset();
        flight.LANDING_ALT = 0;
        flight.END_TIME = 0;
        flight.endDayOffset = flight.startDayOffset;
    }
    flight.DURATION = flight.END_TIME - flight.START_TIME +
                      static_cast<std::int64_t>(flight.endDayOffset - flight.startDayOffset) * kDayS;
    // A landing before the take-off is no flight: a track that never took off
    // ends just before the anchor the take-off detection last moved on, and one
    // whose fixes run backwards ends before it began. Stored, either would
    // become a flight of nearly a day.
    if (flight.DURATION < 0)
        return std::nullopt;
    // A flight without a single sample has no mean speed; 0 rather than 0 / 0.
    flight.MEAN_SPEED = samples > 0 ? speedSumKmh / static_cast<double>(samples) : 0;
    return flight;
}

} // namespace kalvora
