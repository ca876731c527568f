#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "track/igcpoint.h"

namespace kalvora {

/** A turnpoint written by the XC optimiser, in [deg], north and east positive. */
struct XCScorePoint
{
    double latitude = 0;
    double longitude = 0;
    bool operator==(const XCScorePoint&) const = default;
};

/**
 * One analysed flight: the cleaned fixes, take-off and landing, and the
 * statistics. Made by flightFromIGC(); the XC optimiser then reads igcLines
 * and writes the distances and scorePoints. A plain value, confined to the
 * thread that holds it.
 *
 * The capitalised statistics keep the names under which logbooks store them.
 */
struct IGCFlight
{
    /** After an analysis with saned = true: the cleaned records (rejected fixes
        and empty lines removed, headers kept) that the XC optimiser reads. */
    std::vector<std::string> igcLines;
    int cat = 1;      ///< limit category selecting setAllowedParams(); 1 for every analysis
    int category = 2; ///< glider type given to the analysis; not read by it
    bool validFlight = false;
    std::int64_t timezone = 0; ///< [h] offset given to every fix read; 0
    std::string glider;        ///< glider type from the header, "" when none
    std::string DATE;          ///< flight date "YYYY-MM-DD", "" without a date record

    double MAX_SPEED = 0;        ///< [km/h]
    double MEAN_SPEED = 0;       ///< [km/h] mean of the samples; 0 without any sample
    double MAX_ALT = 0;          ///< [m]
    double MIN_ALT = 0;          ///< [m]
    double TAKEOFF_ALT = 0;      ///< [m]
    double LANDING_ALT = 0;      ///< [m]
    double CUMMO_ALT = 0;        ///< [m] cumulated altitude gain
    double MAX_VARIO = 0;        ///< [m/s] strongest climb
    double MIN_VARIO = 0;        ///< [m/s] strongest sink (negative)
    double LINEAR_DISTANCE = 0;  ///< [m] largest distance of a used fix from the take-off fix
    std::int64_t START_TIME = 0; ///< [s] take-off time of day, UTC
    std::int64_t END_TIME = 0;   ///< [s] landing time of day, UTC
    /** [s] landing minus take-off; a flight that passes 00:00 UTC counts the whole way. */
    std::int64_t DURATION = 0;
    /** Days after the DATE record on which the take-off and the landing fall (0 unless the
        record passes 00:00 UTC). */
    int startDayOffset = 0;
    int endDayOffset = 0;

    std::optional<IGCPoint> firstTrackPoint; ///< the take-off fix
    std::optional<IGCPoint> lastTrackPoint;  ///< the landing fix

    double freeDistance = 0;               ///< [km] written by the XC optimiser
    double flatDistance = 0;               ///< [km]
    double faiDistance = 0;                ///< [km]
    std::vector<XCScorePoint> scorePoints; ///< written by the XC optimiser: five points or none

    double maxAllowedSpeed = 100;       ///< [km/h] plausibility limit
    double maxAllowedVario = 13;        ///< [m/s]
    double maxAllowedHeight = 9000;     ///< [m]
    double max_allowed_time_gap = 1800; ///< [s] a longer gap after take-off ends the flight

    bool operator==(const IGCFlight&) const = default;

    /**
     * Analyses the IGC text of one flight: drops invalid, implausible and
     * stationary fixes, finds take-off and landing from ground speed and gathers
     * the statistics. GLIDERTYPE is stored in `category` only. With SANED the
     * cleaned records are left in igcLines for the XC optimiser.
     * Date records are read in both forms ("HFDTEddmmyy", "HFDTEDATE:ddmmyy,nn"),
     * and a record that passes 00:00 UTC stays one flight (see DURATION, landingUTC()).
     * Fixes whose time is no time of day or whose place is off the globe are
     * not read (see IGCPoint::igcPointWithIGCLine()).
     * @return nullopt for a text without lines or of 10 lines or fewer, one with
     *         fewer than two readable fixes, one in which no fix passes the
     *         pre-filter and whose fixes do carry times, and one whose landing
     *         would come before its take-off (a track that never takes off, or
     *         whose fixes run backwards). Never throws; any bytes are safe.
     */
    [[nodiscard]] static std::optional<IGCFlight> flightFromIGC(std::string_view text, int gliderType,
                                                                bool saned);

    /** Statistics, times, points and distances back to their starting values. */
    void resetData();
    /** Plausibility limits of the limit category `cat`. */
    void setAllowedParams();

    /**
     * The take-off instant a new flight gets: DATE + START_TIME (+ day offset).
     * @return nullopt when DATE is empty or not a calendar day.
     */
    [[nodiscard]] std::optional<std::chrono::sys_seconds> startUTC() const;
    /** The landing instant: on the next day when the flight passes 00:00 UTC. nullopt as startUTC(). */
    [[nodiscard]] std::optional<std::chrono::sys_seconds> landingUTC() const;

    /** Index of the next line after CURRENT whose first character is 'B'; LINES.size() when none. */
    [[nodiscard]] static std::size_t getNextPointPos(const std::vector<std::string_view>& lines,
                                                     std::size_t current);
};

} // namespace kalvora
