#include "map/flightlayer.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "map/mapunits.h"

namespace kalvora::map {
namespace {

constexpr std::size_t kChunkPoints = 128;
constexpr int kColourSteps = 32;

/** Cuts LINE to RECT (Liang-Barsky); false when nothing of it is inside. */
bool clipToRect(QLineF& line, const QRectF& rect)
{
    const double dx = line.dx();
    const double dy = line.dy();
    double t0 = 0;
    double t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {line.x1() - rect.left(), rect.right() - line.x1(), line.y1() - rect.top(),
                         rect.bottom() - line.y1()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    line = QLineF(line.x1() + t0 * dx, line.y1() + t0 * dy, line.x1() + t1 * dx, line.y1() + t1 * dy);
    return true;
}

QColor haloFor(const QColor& colour)
{
    return colour.lightness() < 110 ? QColor(255, 255, 255, 210) : QColor(20, 20, 20, 170);
}

void drawBadge(QPainter& painter, QPointF at, const QString& text, const QColor& fill, const QColor& ink)
{
    painter.setPen(QPen(QColor(255, 255, 255), 2));
    painter.setBrush(fill);
    painter.drawEllipse(at, 9, 9);
    painter.setPen(ink);
    QFont font = painter.font();
    font.setBold(true);
    font.setPointSizeF(8);
    painter.setFont(font);
    painter.drawText(QRectF(at.x() - 9, at.y() - 9, 18, 18), Qt::AlignCenter, text);
}

void drawLabel(QPainter& painter, QPointF at, const QString& text)
{
    QFont font = painter.font();
    font.setBold(true);
    font.setPointSizeF(9);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const QRectF box(at.x() - metrics.horizontalAdvance(text) / 2 - 6, at.y() - metrics.height() / 2 - 3,
                     metrics.horizontalAdvance(text) + 12, metrics.height() + 6);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawRoundedRect(box, 5, 5);
    painter.setPen(QColor(30, 30, 30));
    painter.drawText(box, Qt::AlignCenter, text);
}

/** True when BOUNDS, moved by TURN worlds, meets the world rectangle WORLD. */
bool meetsWorld(const QRectF& bounds, double turn, const QRectF& world)
{
    const QRectF box = bounds.translated(turn, 0);
    return !(box.right() < world.left() || box.left() > world.right() || box.bottom() < world.top() ||
             box.top() > world.bottom());
}

/** P, moved by TURN worlds, in VIEW's pixels; K is the view's pixels per world unit, worked out once per track. */
QPointF onScreen(const MercatorPoint& p, double turn, const MapViewport& view, double k)
{
    return QPointF((p.x + turn - view.center.x) * k + view.size.width() / 2,
                   (p.y - view.center.y) * k + view.size.height() / 2);
}

} // namespace

QColor altitudeColour(double fraction)
{
    const double f = std::clamp(fraction, 0.0, 1.0);
    // Low is cool, high is warm, as on a relief map.
    static const QColor stops[] = {QColor(40, 80, 220), QColor(30, 170, 90), QColor(235, 200, 30),
                                   QColor(220, 40, 30)};
    const double scaled = f * 3;
    const int i = std::min(2, int(scaled));
    const double t = scaled - i;
    const QColor& a = stops[i];
    const QColor& b = stops[i + 1];
    return QColor(int(a.red() + (b.red() - a.red()) * t), int(a.green() + (b.green() - a.green()) * t),
                  int(a.blue() + (b.blue() - a.blue()) * t));
}

QColor climbColour(double climbMs)
{
    const double t = std::clamp(climbMs / 3.0, -1.0, 1.0);
    const QColor neutral(190, 190, 190);
    const QColor end = t < 0 ? QColor(30, 90, 230) : QColor(230, 40, 30);
    const double a = std::abs(t);
    return QColor(int(neutral.red() + (end.red() - neutral.red()) * a),
                  int(neutral.green() + (end.green() - neutral.green()) * a),
                  int(neutral.blue() + (end.blue() - neutral.blue()) * a));
}

void FlightLayer::setTracks(std::vector<FlightTrack> tracks)
{
    m_tracks = std::move(tracks);
    ++m_version;
    m_projected.clear();
    m_projected.resize(m_tracks.size());
    m_bounds = QRectF();
    m_cursor.reset();
    for (std::size_t i = 0; i < m_tracks.size(); ++i) {
        Projected& projected = m_projected[i];
        projected.points = projectTrack(m_tracks[i].fixes);
        projected.climb = climbRates(m_tracks[i].fixes);
        projected.bounds = boundsOf(projected.points);
        if (!m_tracks[i].fixes.empty()) {
            const auto [low, high] = std::minmax_element(
                m_tracks[i].fixes.begin(), m_tracks[i].fixes.end(),
                [](const TrackFix& a, const TrackFix& b) { return a.altitudeM < b.altitudeM; });
            projected.minAltitude = float(low->altitudeM);
            projected.maxAltitude = float(high->altitudeM);
        }
        QRectF all = projected.bounds;
        if (m_tracks[i].figure) {
            std::vector<MercatorPoint> figure;
            for (const GeoPoint& p : m_tracks[i].figure->points)
                figure.push_back(toMercator(p));
            all = all.isNull() ? boundsOf(figure) : all.united(boundsOf(figure));
        }
        if (!all.isNull() || !projected.points.empty())
            m_bounds = m_bounds.isNull() ? all : m_bounds.united(all);
    }
}

void FlightLayer::setCursor(std::optional<std::size_t> fix)
{
    if (fix && (m_tracks.empty() || *fix >= m_tracks.front().fixes.size()))
        fix.reset();
    m_cursor = fix;
}

const FlightLayer::Level& FlightLayer::level(const Projected& projected, int zoom) const
{
    auto found = projected.levels.find(zoom);
    if (found != projected.levels.end())
        return found->second;
    Level made;
    made.indices = simplifyTrack(projected.points, unitsPerPixel(zoom) * 0.5);
    for (std::size_t begin = 0; begin + 1 < made.indices.size() || (begin == 0 && !made.indices.empty());
         begin += kChunkPoints) {
        Chunk chunk;
        chunk.begin = begin;
        chunk.end = std::min(made.indices.size(), begin + kChunkPoints + 1);
        double left = INFINITY, right = -INFINITY, top = INFINITY, bottom = -INFINITY;
        for (std::size_t k = chunk.begin; k < chunk.end; ++k) {
            const MercatorPoint& p = projected.points[made.indices[k]];
            left = std::min(left, p.x);
            right = std::max(right, p.x);
            top = std::min(top, p.y);
            bottom = std::max(bottom, p.y);
        }
        chunk.bounds = QRectF(QPointF(left, top), QPointF(right, bottom));
        made.chunks.push_back(chunk);
        if (chunk.end == made.indices.size())
            break;
    }
    return projected.levels.emplace(zoom, std::move(made)).first->second;
}

std::vector<double> FlightLayer::turnsInView(const QRectF& rect, const MapViewport& view)
{
    std::vector<double> turns;
    const QRectF world = view.worldRect();
    for (const double turn : {0.0, -1.0, 1.0}) {
        const QRectF shifted = rect.translated(turn, 0);
        if (shifted.right() >= world.left() && shifted.left() <= world.right() &&
            shifted.bottom() >= world.top() && shifted.top() <= world.bottom())
            turns.push_back(turn);
    }
    return turns;
}

std::size_t FlightLayer::simplifiedSize(std::size_t track, int zoom) const
{
    return track < m_projected.size() ? level(m_projected[track], zoom).indices.size() : 0;
}

QList<QPolygonF> FlightLayer::drawnPolylines(std::size_t track, const MapViewport& view) const
{
    QList<QPolygonF> lines;
    if (track >= m_projected.size() || m_projected[track].points.empty())
        return lines;
    const Projected& projected = m_projected[track];
    const Level& simplified = level(projected, int(std::round(view.zoom)));
    const QRectF world = view.worldRect();
    const double k = view.pixelsPerUnit();
    for (const double turn : turnsInView(projected.bounds, view)) {
        for (const Chunk& chunk : simplified.chunks) {
            if (!meetsWorld(chunk.bounds, turn, world))
                continue;
            QPolygonF line;
            line.reserve(qsizetype(chunk.end - chunk.begin));
            for (std::size_t i = chunk.begin; i < chunk.end; ++i) {
                const MercatorPoint& p = projected.points[simplified.indices[i]];
                line << onScreen(p, turn, view, k);
            }
            lines << line;
        }
    }
    return lines;
}

QColor FlightLayer::valueColour(const Projected& projected, std::size_t fix, const FlightTrack& track) const
{
    if (m_colouring == TrackColouring::Climb)
        return climbColour(projected.climb[fix]);
    const double span = projected.maxAltitude - projected.minAltitude;
    return altitudeColour(span > 0 ? (track.fixes[fix].altitudeM - projected.minAltitude) / span : 0.5);
}

void FlightLayer::drawTrack(QPainter& painter, const MapViewport& view, std::size_t index) const
{
    const FlightTrack& track = m_tracks[index];
    const Projected& projected = m_projected[index];
    if (projected.points.empty())
        return;
    const Level& simplified = level(projected, int(std::round(view.zoom)));
    const QRectF world = view.worldRect();
    const double k = view.pixelsPerUnit();
    // Segments are cut to the view: a wide pen stroked over thousands of pixels
    // off screen, or one long self-overlapping polyline, costs far more than the
    // few pixels that show.
    const QRectF area = QRectF(QPointF(0, 0), view.size).adjusted(-8, -8, 8, 8);
    const bool coloured = isColoured();
    std::vector<QLineF> lines;
    std::vector<int> steps;
    const auto step = [&](std::size_t fix) {
        if (m_colouring == TrackColouring::Climb)
            return int(
                std::round((std::clamp(double(projected.climb[fix]), -3.0, 3.0) + 3) / 6 * kColourSteps));
        const double span = projected.maxAltitude - projected.minAltitude;
        const double f = span > 0 ? (track.fixes[fix].altitudeM - projected.minAltitude) / span : 0.5;
        return int(std::round(f * kColourSteps));
    };
    for (const double turn : turnsInView(projected.bounds, view)) {
        for (const Chunk& chunk : simplified.chunks) {
            if (!meetsWorld(chunk.bounds, turn, world))
                continue;
            QPointF previous;
            for (std::size_t i = chunk.begin; i < chunk.end; ++i) {
                const MercatorPoint& p = projected.points[simplified.indices[i]];
                const QPointF at = onScreen(p, turn, view, k);
                if (i > chunk.begin) {
                    QLineF line(previous, at);
                    if (clipToRect(line, area)) {
                        lines.push_back(line);
                        if (coloured)
                            steps.push_back(step(simplified.indices[i - 1]));
                    }
                }
                previous = at;
            }
        }
    }
    if (lines.empty())
        return;
    const QColor halo = coloured ? QColor(20, 20, 20, 150) : haloFor(track.color);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(halo, 5.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLines(lines.data(), int(lines.size()));
    if (!coloured) {
        painter.setPen(QPen(track.color, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLines(lines.data(), int(lines.size()));
        return;
    }
    // One pen per colour step.
    std::vector<std::vector<QLineF>> buckets(kColourSteps + 1);
    for (std::size_t i = 0; i < lines.size(); ++i)
        buckets[std::size_t(std::clamp(steps[i], 0, kColourSteps))].push_back(lines[i]);
    for (int s = 0; s <= kColourSteps; ++s) {
        if (buckets[size_t(s)].empty())
            continue;
        const double f = double(s) / kColourSteps;
        const QColor colour =
            m_colouring == TrackColouring::Climb ? climbColour(f * 6 - 3) : altitudeColour(f);
        painter.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLines(buckets[size_t(s)].data(), int(buckets[size_t(s)].size()));
    }
}

void FlightLayer::drawTracks(QPainter& painter, const MapViewport& view) const
{
    // Panning at one zoom blits the tracks drawn once for a larger area; only
    // leaving that area, a new zoom or new tracks draw them again.
    constexpr double margin = 384;
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const double k = view.pixelsPerUnit();
    TrackCache& cache = m_cache;
    QPointF offset; // the view's centre from the cache's centre [px]
    bool usable = !cache.image.isNull() && cache.zoom == view.zoom && cache.version == m_version &&
                  cache.ratio == ratio;
    if (usable) {
        offset = QPointF((view.center.x - cache.center.x) * k, (view.center.y - cache.center.y) * k);
        usable = std::abs(offset.x()) + view.size.width() / 2 <= cache.size.width() / 2 &&
                 std::abs(offset.y()) + view.size.height() / 2 <= cache.size.height() / 2;
    }
    if (!usable) {
        MapViewport area = view;
        area.size = view.size + QSizeF(2 * margin, 2 * margin);
        cache.image = QImage((area.size * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        cache.image.setDevicePixelRatio(ratio);
        cache.image.fill(Qt::transparent);
        {
            QPainter layer(&cache.image);
            layer.setRenderHint(QPainter::Antialiasing, true);
            // Later tracks under earlier ones: slot 0 stays on top.
            for (std::size_t i = m_tracks.size(); i-- > 0;)
                drawTrack(layer, area, i);
        }
        cache.zoom = view.zoom;
        cache.center = view.center;
        cache.size = area.size;
        cache.version = m_version;
        cache.ratio = ratio;
        offset = QPointF();
    }
    const QPointF topLeft(view.size.width() / 2 - offset.x() - cache.size.width() / 2,
                          view.size.height() / 2 - offset.y() - cache.size.height() / 2);
    painter.drawImage(topLeft, cache.image);
}

void FlightLayer::drawFigure(QPainter& painter, const MapViewport& view, const FlightTrack& track,
                             double turn) const
{
    if (!track.figure || track.figure->points.size() != 5)
        return;
    const XCFigure& figure = *track.figure;
    QList<QPointF> at;
    for (const GeoPoint& p : figure.points) {
        MercatorPoint m = toMercator(p);
        m.x += turn;
        at << view.toScreen(m);
    }
    const QColor ink(255, 120, 0);
    painter.setBrush(Qt::NoBrush);
    if (figure.type == ScoreType::FreeDistance) {
        const QPolygonF legs(at);
        painter.setPen(QPen(QColor(255, 255, 255, 220), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(legs);
        painter.setPen(QPen(ink, 2.5, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(legs);
        drawBadge(painter, at[0], QStringLiteral("S"), ink, Qt::white);
        for (int i = 1; i <= 3; ++i)
            drawBadge(painter, at[i], QString::number(i), ink, Qt::white);
        drawBadge(painter, at[4], QStringLiteral("F"), ink, Qt::white);
        // The label sits on the longest leg.
        int longest = 0;
        double length = -1;
        for (int i = 0; i < 4; ++i) {
            const double d = QLineF(at[i], at[i + 1]).length();
            if (d > length) {
                length = d;
                longest = i;
            }
        }
        drawLabel(painter, (at[longest] + at[longest + 1]) / 2, figureLabel(figure));
        return;
    }
    const QPolygonF triangle({at[1], at[2], at[3]});
    const QColor fill =
        figure.type == ScoreType::FAITriangle ? QColor(255, 120, 0, 40) : QColor(0, 150, 255, 40);
    const QColor line = figure.type == ScoreType::FAITriangle ? ink : QColor(0, 120, 230);
    painter.setPen(QPen(QColor(255, 255, 255, 220), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(fill);
    painter.drawPolygon(triangle);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(line, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolygon(triangle);
    // The closing gap between the scored start and finish.
    painter.setPen(QPen(line, 1.5, Qt::DotLine));
    painter.drawLine(at[0], at[4]);
    for (int i = 1; i <= 3; ++i)
        drawBadge(painter, at[i], QString::number(i), line, Qt::white);
    drawLabel(painter, (at[1] + at[2] + at[3]) / 3, figureLabel(figure));
}

void FlightLayer::drawMarks(QPainter& painter, const MapViewport& view, std::size_t index, double turn) const
{
    const FlightTrack& track = m_tracks[index];
    const Projected& projected = m_projected[index];
    const auto screen = [&](std::size_t fix) {
        MercatorPoint m = projected.points[fix];
        m.x += turn;
        return view.toScreen(m);
    };
    if (track.takeoff && *track.takeoff < projected.points.size()) {
        const QPointF at = screen(*track.takeoff);
        // An upward triangle: the launch.
        painter.setPen(QPen(Qt::white, 2));
        painter.setBrush(QColor(20, 150, 60));
        painter.drawPolygon(QPolygonF({at + QPointF(0, -10), at + QPointF(9, 6), at + QPointF(-9, 6)}));
    }
    if (track.landing && *track.landing < projected.points.size()) {
        const QPointF at = screen(*track.landing);
        painter.setPen(QPen(Qt::white, 2));
        painter.setBrush(QColor(200, 30, 40));
        painter.drawRect(QRectF(at.x() - 7, at.y() - 7, 14, 14));
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(at.x() - 6, at.y() - 6, 6, 6));
        painter.drawRect(QRectF(at.x(), at.y(), 6, 6));
    }
}

void FlightLayer::drawLegend(QPainter& painter) const
{
    if (!isColoured() || m_projected.empty())
        return;
    const Projected& projected = m_projected.front();
    const DisplayUnits units = currentDisplayUnits();
    const QString low = m_colouring == TrackColouring::Climb
                            ? climbText(-3, units).replace(QLatin1Char('-'), QChar(0x2212))
                            : altitudeText(projected.minAltitude, units);
    const QString high = m_colouring == TrackColouring::Climb ? climbText(3, units)
                                                              : altitudeText(projected.maxAltitude, units);
    QFont font = painter.font();
    font.setPointSizeF(8);
    font.setBold(false);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double barWidth = 110;
    const double width = metrics.horizontalAdvance(low) + metrics.horizontalAdvance(high) + barWidth + 24;
    const QRectF box(8, 8, width, 22);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(QColor(40, 40, 40));
    painter.drawText(QRectF(box.left() + 4, box.top(), metrics.horizontalAdvance(low) + 4, box.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, low);
    const QRectF bar(box.left() + metrics.horizontalAdvance(low) + 12, box.top() + 7, barWidth, 8);
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    for (int i = 0; i <= 8; ++i) {
        const double f = i / 8.0;
        gradient.setColorAt(f, m_colouring == TrackColouring::Climb ? climbColour(f * 6 - 3)
                                                                    : altitudeColour(f));
    }
    painter.fillRect(bar, gradient);
    painter.drawText(QRectF(bar.right() + 4, box.top(), metrics.horizontalAdvance(high) + 4, box.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, high);
}

void FlightLayer::draw(QPainter& painter, const MapViewport& view) const
{
    painter.save();
    drawTracks(painter, view);
    // The figure is drawn when one flight is shown: with several, ten triangles hide the tracks.
    if (m_tracks.size() == 1 && !m_projected.front().points.empty()) {
        for (const double turn : turnsInView(m_projected.front().bounds, view))
            drawFigure(painter, view, m_tracks.front(), turn);
    }
    for (std::size_t i = m_tracks.size(); i-- > 0;) {
        if (m_projected[i].points.empty())
            continue;
        for (const double turn : turnsInView(m_projected[i].bounds, view))
            drawMarks(painter, view, i, turn);
    }
    if (m_cursor && !m_projected.empty()) {
        const std::vector<double> turns = turnsInView(m_projected.front().bounds, view);
        for (const double turn : turns) {
            MercatorPoint m = m_projected.front().points[*m_cursor];
            m.x += turn;
            const QPointF at = view.toScreen(m);
            painter.setPen(QPen(Qt::white, 3));
            painter.setBrush(QColor(230, 0, 140));
            painter.drawEllipse(at, 7, 7);
            painter.setPen(QPen(QColor(230, 0, 140), 1.5));
            painter.drawLine(at - QPointF(14, 0), at - QPointF(8, 0));
            painter.drawLine(at + QPointF(8, 0), at + QPointF(14, 0));
            painter.drawLine(at - QPointF(0, 14), at - QPointF(0, 8));
            painter.drawLine(at + QPointF(0, 8), at + QPointF(0, 14));
        }
    }
    drawLegend(painter);
    painter.restore();
}

std::optional<std::size_t> FlightLayer::nearestFix(QPointF screen, const MapViewport& view,
                                                   double maxPx) const
{
    if (m_projected.empty() || m_projected.front().points.empty())
        return std::nullopt;
    const MercatorPoint target = view.toMercator(screen);
    const double k = view.pixelsPerUnit();
    std::optional<std::size_t> best;
    double bestDistance = maxPx * maxPx;
    const std::vector<MercatorPoint>& points = m_projected.front().points;
    for (const double turn : {0.0, -1.0, 1.0}) {
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double dx = (points[i].x + turn - target.x) * k;
            const double dy = (points[i].y - target.y) * k;
            const double distance = dx * dx + dy * dy;
            if (distance <= bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
    }
    return best;
}

QPointF FlightLayer::fixOnScreen(std::size_t track, std::size_t fix, const MapViewport& view) const
{
    if (track >= m_projected.size() || fix >= m_projected[track].points.size())
        return {};
    MercatorPoint m = m_projected[track].points[fix];
    // The copy of the track nearest the view's centre.
    m.x += std::round(view.center.x - m.x);
    return view.toScreen(m);
}

} // namespace kalvora::map
