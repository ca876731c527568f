#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "track/utcdate.h"

namespace kalvora {

/**
 * The quick summary of an IGC record used by the overlap check and the
 * Skytraxx reader. Instrument code turns it into its Track record.
 */
struct IGCTrackSummary
{
    std::chrono::sys_seconds startUTC{}; ///< date record + time of the first fix
    std::int64_t flightTimeS = 0;        ///< [s] last fix time - first fix time (> 0)
    int trackNumber = 0;                 ///< always 0
    std::string igcData;                 ///< the whole text given
    bool operator==(const IGCTrackSummary&) const = default;
};

/** One entry of the per-second point list of the statistics charts. */
struct IGCTrackPoint
{
    double latitudeE6 = 0;   ///< [1e-6 deg] north positive
    double longitudeE6 = 0;  ///< [1e-6 deg] east positive
    double altitudeM = 0;    ///< [m] pressure altitude
    double gpsAltitudeM = 0; ///< [m] GNSS altitude
    std::int64_t timeS = 0;  ///< [s] UTC seconds since midnight
    int scorePoint = 0;      ///< score-point number; 0 for every entry made here
    bool operator==(const IGCTrackPoint&) const = default;
};

/** Day, month and two-digit year as written in an IGC date record. */
struct IGCDate
{
    int day = 0;   ///< as written, 0..99
    int month = 0; ///< as written, 0..99
    int yy = 0;    ///< two-digit year, 0..99
    bool operator==(const IGCDate&) const = default;

    /** The calendar day (see utc::fullYearFromTwoDigits); nullopt when it does not exist. */
    [[nodiscard]] std::optional<utc::CivilDate> civil() const;
};

/** Stateless readers of IGC text. Every function may run on any thread and never throws. */
class IGC
{
public:
    /**
     * Splits TEXT into records (spelled so for the callers that know the old name).
     * A CR LF anywhere ahead wins over LF: a stretch with LF line ends before a
     * later CR LF becomes one line. Lines of up to 2 characters (cut at CR LF)
     * or 1 character (cut at LF) are dropped; the rest after the last line end
     * is the last line whatever its length. No line keeps its line end.
     * The views point into TEXT, which must outlive them.
     */
    [[nodiscard]] static std::vector<std::string_view> getICGLines(std::string_view text);

    /** [s] UTC seconds since midnight of positions 1-6 of a B record (leading-integer rule). */
    [[nodiscard]] static double timeFromIGCLine(std::string_view line);

    /**
     * The date of a date header line, in either form in use:
     * "HFDTEddmmyy" (older loggers) and "HFDTEDATE:ddmmyy[,nn]" (current
     * loggers); "HPDTE" in place of "HFDTE" and any letter case are accepted.
     * @return nullopt when the line is not a date record or has no six digits there.
     */
    [[nodiscard]] static std::optional<IGCDate> dateFromHeaderLine(std::string_view line);

    /**
     * The quick summary: date record + first fix time as start, last minus first
     * fix time as flight time (a track that passes 00:00 UTC, seen as a step
     * back of 10 h or more between two fixes, gets the 24 h added).
     * Only B records of 34 to 100 characters with a time of day and a place on
     * the globe count; the date comes from the last "HFDTE" record, in either
     * form (see dateFromHeaderLine()).
     * @return nullopt without lines, without a readable date, with fewer than
     *         two fixes, or when the last fix is not after the first.
     */
    [[nodiscard]] static std::optional<IGCTrackSummary> getTrackFromIGCData(std::string_view text);

    /**
     * The fixes as chart points; with NORMALIZE the gaps of 2 s or more are filled
     * with one copy per second whose GNSS altitude rises in equal steps.
     */
    [[nodiscard]] static std::vector<IGCTrackPoint> getWaypoints(std::string_view text, bool normalize);

    /**
     * The short IGC file name "YMDLLLLN.igc" of a flight for export: IGC
     * characters of the last year digit, month and day of START (in UTC), the
     * characters 1-4 of the first G record longer than 5 characters (each one
     * that is not an ASCII letter or digit written as "_", so that the name
     * never holds a path), and the first number N = 1..34 whose name
     * NAMETAKEN reports free.
     * Example: 23 November 2014 with "G4F2A..." gives "4BN4F2A1.igc".
     * @return nullopt without such a G record or when all 34 names are taken.
     */
    [[nodiscard]] static std::optional<std::string>
    getIGCFilename(std::string_view igcData, std::chrono::sys_seconds start,
                   const std::function<bool(const std::string& name)>& nameTaken);

    /** "0".."9" for 0-9, "A".."Z" for 10-35, the decimal text below 0, nullopt above 35. */
    [[nodiscard]] static std::optional<std::string> igcStringFromInt(std::int64_t value);

    /** The value of the first character: c - 48 below 'A', else c - 55. 0 for an empty text. */
    [[nodiscard]] static std::int64_t igcIntFromString(std::string_view text);
};

} // namespace kalvora
