#include "map/flighttrack.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "export/flightstats.h"
#include "model/igcscorepoint.h"
#include "track/igcpoint.h"

namespace kalvora::map {
namespace {

std::optional<GeoPoint> storedPosition(const Flight& flight, const char* latitude, const char* longitude)
{
    if (!flight.hasValue(QLatin1String(latitude)) || !flight.hasValue(QLatin1String(longitude)))
        return std::nullopt;
    const GeoPoint position{flight.value(QLatin1String(latitude)).toDouble(),
                            flight.value(QLatin1String(longitude)).toDouble()};
    if (!std::isfinite(position.latitude) || !std::isfinite(position.longitude) ||
        (position.latitude == 0 && position.longitude == 0))
        return std::nullopt;
    return position;
}

/** The index of the fix nearest to POSITION from FIRST on. */
std::size_t nearestFix(const std::vector<TrackFix>& fixes, GeoPoint position, std::size_t first)
{
    std::size_t best = first;
    double bestDistance = INFINITY;
    const double cosLat = std::cos(position.latitude * std::numbers::pi / 180);
    for (std::size_t i = first; i < fixes.size(); ++i) {
        const double dLat = fixes[i].position.latitude - position.latitude;
        const double dLon = (fixes[i].position.longitude - position.longitude) * cosLat;
        const double distance = dLat * dLat + dLon * dLon;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

/** [world units squared] How far P lies from the segment A-B. */
double squaredDistanceToSegment(MercatorPoint a, MercatorPoint b, MercatorPoint p)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    double t = lengthSquared > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = a.x + t * dx - p.x;
    const double ey = a.y + t * dy - p.y;
    return ex * ex + ey * ey;
}

} // namespace

FlightTrack flightTrackOf(const Flight& flight, const QColor& color)
{
    FlightTrack track;
    track.color = color;
    track.label = flight.startLocation();
    track.utcOffsetH = flight.utcOffset();
    const QByteArray igc = flight.igcData().toLatin1();
    const std::vector<StatsTrackPoint> rows =
        statsTrackPoints(std::string_view(igc.constData(), size_t(igc.size())));
    track.fixes.reserve(rows.size());
    for (const StatsTrackPoint& row : rows) {
        const double altitude = row.fix.gpsAltitudeM > 0 ? row.fix.gpsAltitudeM : row.fix.altitudeM;
        track.fixes.push_back({{row.fix.latitudeE6 / 1e6, row.fix.longitudeE6 / 1e6}, altitude, row.timeS});
    }
    if (track.fixes.empty())
        return track;

    const std::optional<GeoPoint> start = storedPosition(flight, "startLatitude", "startLongitude");
    const std::optional<GeoPoint> landing = storedPosition(flight, "landingLatitude", "landingLongitude");
    track.takeoff = start ? nearestFix(track.fixes, *start, 0) : 0;
    track.landing = landing ? nearestFix(track.fixes, *landing, *track.takeoff) : track.fixes.size() - 1;

    const QList<IGCScorePoint*> scorePoints = flight.igcScorePoints();
    const double free = flight.freeDistance();
    if (scorePoints.size() == 5 && free > 0) {
        XCFigure figure;
        figure.type = scoreTypeOf(free, flight.flatDistance(), flight.faiDistance());
        figure.distanceKm = figure.type == ScoreType::FreeDistance   ? free
                            : figure.type == ScoreType::FlatTriangle ? flight.flatDistance()
                                                                     : flight.faiDistance();
        for (const IGCScorePoint* point : scorePoints)
            figure.points << GeoPoint{point->latitude(), point->longitude()};
        track.figure = figure;
    }
    return track;
}

QString figureLabel(const XCFigure& figure)
{
    const char* kind =
        figure.type == ScoreType::FreeDistance   ? QT_TRANSLATE_NOOP("FlightMap", "Free distance")
        : figure.type == ScoreType::FlatTriangle ? QT_TRANSLATE_NOOP("FlightMap", "Flat triangle")
                                                 : QT_TRANSLATE_NOOP("FlightMap", "FAI triangle");
    return QStringLiteral("%1 %2 km")
        .arg(QCoreApplication::translate("FlightMap", kind))
        .arg(figure.distanceKm, 0, 'f', 1);
}

std::vector<float> climbRates(const std::vector<TrackFix>& fixes, int windowS)
{
    std::vector<float> rates(fixes.size(), 0.0f);
    const int half = std::max(1, windowS / 2);
    std::size_t back = 0;
    std::size_t ahead = 0;
    for (std::size_t i = 0; i < fixes.size(); ++i) {
        while (back < i && fixes[i].timeS - fixes[back].timeS > half)
            ++back;
        ahead = std::max(ahead, i);
        while (ahead + 1 < fixes.size() && fixes[ahead + 1].timeS - fixes[i].timeS <= half)
            ++ahead;
        const double seconds = double(fixes[ahead].timeS - fixes[back].timeS);
        if (seconds > 0)
            rates[i] = float((fixes[ahead].altitudeM - fixes[back].altitudeM) / seconds);
    }
    return rates;
}

std::vector<MercatorPoint> projectTrack(const std::vector<TrackFix>& fixes)
{
    std::vector<MercatorPoint> points;
    points.reserve(fixes.size());
    double shift = 0;
    for (const TrackFix& fix : fixes) {
        MercatorPoint point = toMercator(fix.position);
        point.x += shift;
        if (!points.empty()) {
            const double step = point.x - points.back().x;
            if (step > 0.5) {
                shift -= 1;
                point.x -= 1;
            } else if (step < -0.5) {
                shift += 1;
                point.x += 1;
            }
        }
        points.push_back(point);
    }
    return points;
}

std::vector<std::uint32_t> simplifyTrack(const std::vector<MercatorPoint>& points, double tolerance)
{
    std::vector<std::uint32_t> kept;
    if (points.empty())
        return kept;
    if (points.size() < 3) {
        for (std::uint32_t i = 0; i < points.size(); ++i)
            kept.push_back(i);
        return kept;
    }
    // Iterative, with an explicit stack: a 70,000-fix zigzag would overflow recursion.
    std::vector<bool> keep(points.size(), false);
    keep.front() = keep.back() = true;
    // Windows of a bounded length keep the worst case (a zigzag where every fix
    // counts, which splits off one point at a time) linear in the track's length.
    constexpr std::size_t window = 512;
    std::vector<std::pair<std::size_t, std::size_t>> stack;
    for (std::size_t first = 0; first + 1 < points.size(); first += window) {
        const std::size_t last = std::min(points.size() - 1, first + window);
        keep[last] = true;
        stack.emplace_back(first, last);
    }
    const double toleranceSquared = tolerance * tolerance;
    while (!stack.empty()) {
        const auto [first, last] = stack.back();
        stack.pop_back();
        double maxDistance = 0;
        std::size_t maxIndex = first;
        for (std::size_t i = first + 1; i < last; ++i) {
            const double distance = squaredDistanceToSegment(points[first], points[last], points[i]);
            if (distance > maxDistance) {
                maxDistance = distance;
                maxIndex = i;
            }
        }
        if (maxDistance > toleranceSquared) {
            keep[maxIndex] = true;
            stack.emplace_back(first, maxIndex);
            stack.emplace_back(maxIndex, last);
        }
    }
    for (std::uint32_t i = 0; i < points.size(); ++i) {
        if (keep[i])
            kept.push_back(i);
    }
    return kept;
}

QRectF boundsOf(const std::vector<MercatorPoint>& points)
{
    if (points.empty())
        return {};
    double left = points.front().x, right = left, top = points.front().y, bottom = top;
    for (const MercatorPoint& p : points) {
        left = std::min(left, p.x);
        right = std::max(right, p.x);
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

} // namespace kalvora::map
