#pragma once

#include <QColor>
#include <QList>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "map/webmercator.h"
#include "model/flight.h"

namespace kalvora::map {

/** One fix of a track as the map draws it. */
struct TrackFix
{
    GeoPoint position;
    double altitudeM = 0;   ///< [m] GNSS altitude, else pressure altitude
    std::int64_t timeS = 0; ///< [s] UTC from the first fix's midnight, continuous across 00:00
    bool operator==(const TrackFix&) const = default;
};

/** The scored XC figure of a flight: its kind, its five score points and its distance. */
struct XCFigure
{
    ScoreType type = ScoreType::FreeDistance;
    /** Free distance: start, up to three turnpoints, finish. Triangles: closing start, three vertices,
     * closing finish. */
    QList<GeoPoint> points;
    double distanceKm = 0;
    bool operator==(const XCFigure&) const = default;
};

/** A flight as the map shows it: the fixes, where it took off and landed, its figure. */
struct FlightTrack
{
    QString label;
    QColor color;
    std::vector<TrackFix> fixes;
    std::optional<std::size_t> takeoff; ///< fix index
    std::optional<std::size_t> landing; ///< fix index
    std::optional<XCFigure> figure;
    double utcOffsetH = 0; ///< [h] for local clock times
    bool operator==(const FlightTrack&) const = default;
};

/**
 * The track of FLIGHT read from its IGC record, in COLOR: fixes with continuous
 * times, take-off and landing at the fixes of its stored positions (else the
 * first and last fix), and its figure when it has been scored (five score
 * points and a distance above 0). Empty fixes without a readable record.
 * GUI thread (reads the record).
 */
[[nodiscard]] FlightTrack flightTrackOf(const Flight& flight, const QColor& color);

/** The figure's name and distance, e.g. "FAI triangle 63.2 km". */
[[nodiscard]] QString figureLabel(const XCFigure& figure);

/**
 * [m/s] The climb at each fix: the altitude change over the surrounding
 * WINDOWS seconds (or fewer at the ends), so that one noisy fix does not paint
 * a thermal. Same length as FIXES.
 */
[[nodiscard]] std::vector<float> climbRates(const std::vector<TrackFix>& fixes, int windowS = 10);

/**
 * The fixes projected into world units, unwrapped across the antimeridian:
 * a step of more than half the world in x continues east or west instead.
 */
[[nodiscard]] std::vector<MercatorPoint> projectTrack(const std::vector<TrackFix>& fixes);

/**
 * The indices of POINTS kept by Douglas-Peucker with TOLERANCE (world units):
 * first and last always (and every 512th, which bounds the work), and every
 * point farther than TOLERANCE from the line kept so far. For drawing only,
 * never for figures.
 */
[[nodiscard]] std::vector<std::uint32_t> simplifyTrack(const std::vector<MercatorPoint>& points,
                                                       double tolerance);

/** The bounding rectangle of POINTS in world units; null for none. */
[[nodiscard]] QRectF boundsOf(const std::vector<MercatorPoint>& points);

} // namespace kalvora::map
