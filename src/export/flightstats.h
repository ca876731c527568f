#pragma once

#include <QDate>
#include <QList>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "track/igc.h"

namespace kalvora {

class Flight;

/** What the figures need of one flight. */
struct StatsFlight
{
    double flightTimeS = 0; ///< [s]
    int year = 0;           ///< local take-off year; 0 when unknown
    QString glider;
    bool operator==(const StatsFlight&) const = default;
};

/** Flights and flight time of one year or one glider. */
struct StatsGroup
{
    QString key; ///< the year as text, or the glider ("" for none)
    qint64 count = 0;
    double totalS = 0; ///< [s]
    bool operator==(const StatsGroup&) const = default;
};

/** The figures over a flight list. */
struct FlightStatsFigures
{
    qint64 count = 0;
    double totalS = 0;                ///< [s] sum of the flight times
    std::optional<double> averageS;   ///< [s]; none without flights
    QList<StatsGroup> perYear;        ///< oldest year first
    QList<StatsGroup> perGlider;      ///< by glider name
};

[[nodiscard]] StatsFlight statsFlight(const Flight& flight);
/** Count, sum, average and the groups. Pure; any thread. */
[[nodiscard]] FlightStatsFigures flightStatsFigures(const QList<StatsFlight>& flights);

/** "%ld:%02ld:%02ld:%02ld" of days, hours, minutes, seconds of the rounded total. */
[[nodiscard]] QString totalFlightTimeText(double totalS);
/** "%02ld:%02ld:%02ld" of the rounded average; "Invalid" above a day; a dash without flights. */
[[nodiscard]] QString averageFlightTimeText(std::optional<double> averageS);

/** One row of the track-point table: the fix and its marks. */
struct StatsTrackPoint
{
    IGCTrackPoint fix;
    std::int64_t timeS = 0;    ///< [s] UTC seconds from the first fix's midnight; passes 86400 after midnight
    bool used = false;         ///< between take-off and landing, both included
    int scorePointNumber = 0;  ///< 1, 2, ... for the scored turnpoints in score order; 0 for others
    bool operator==(const StatsTrackPoint&) const = default;
};

/**
 * The fixes of an IGC record with their times made continuous: a time that
 * drops by more than 12 hours from the fix before is taken as the next day.
 */
[[nodiscard]] std::vector<StatsTrackPoint> statsTrackPoints(std::string_view igc);

/** A position [deg]. */
struct StatsPosition
{
    double latitude = 0;
    double longitude = 0;
};

/**
 * Marks ROWS: `used` from the first fix within 0.00001 degrees of TAKEOFF up to
 * and including the next one within that of LANDING; each score point (in score
 * order) numbers only the first fix it matches, 1, 2, 3, ...
 */
void markTrackPoints(std::vector<StatsTrackPoint>& rows, std::optional<StatsPosition> takeoff,
                     std::optional<StatsPosition> landing, const QList<StatsPosition>& scorePoints);

/**
 * The altitude curve of a track for drawing: x = seconds, y = GPS altitude [m].
 * Longer tracks are thinned to about MAXPOINTS points, keeping the lowest and
 * highest fix of each stretch so no climb or peak vanishes.
 */
[[nodiscard]] QList<QPointF> altitudeCurve(const std::vector<StatsTrackPoint>& track, int maxPoints = 2000);

/** The time span [s] and top altitude [m] the chart shows; a chartable track has 3 fixes or more. */
struct ChartSpace
{
    std::int64_t startS = 0; ///< earliest first fix of the chartable tracks
    std::int64_t endS = 0;   ///< latest last fix; startS + 3600 when no track is chartable
    double maxAltitudeM = 0;
    bool operator==(const ChartSpace&) const = default;
};

/** The chart space over TRACKS, with MAXALTITUDES [m] the flights' stored highest altitudes. */
[[nodiscard]] ChartSpace chartSpace(const QList<const std::vector<StatsTrackPoint>*>& tracks,
                                    const QList<double>& maxAltitudes);

} // namespace kalvora
