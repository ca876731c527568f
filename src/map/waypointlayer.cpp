#include "map/waypointlayer.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

#include "map/flighttrack.h"

namespace kalvora::map {
namespace {

/** Above this many waypoints in view only the selected ones are named. */
constexpr int kMaxNamed = 150;

const QColor kRouteColour(140, 40, 200);
const QColor kWaypointColour(20, 90, 200);
const QColor kSelectedColour(220, 30, 60);

} // namespace

void WaypointLayer::setWaypoints(std::vector<MapWaypoint> waypoints)
{
    m_waypoints = std::move(waypoints);
    m_projected.clear();
    m_projected.reserve(m_waypoints.size());
    for (const MapWaypoint& w : m_waypoints)
        m_projected.push_back(toMercator(w.position));
}

void WaypointLayer::setRoutes(QList<MapRoute> routes)
{
    m_routes = std::move(routes);
}

QRectF WaypointLayer::bounds() const
{
    std::vector<MercatorPoint> all = m_projected;
    for (const MapRoute& route : m_routes)
        for (const GeoPoint& p : route.points)
            all.push_back(toMercator(p));
    return boundsOf(all);
}

QRectF WaypointLayer::selectedBounds() const
{
    std::vector<MercatorPoint> chosen;
    for (std::size_t i = 0; i < m_waypoints.size(); ++i) {
        if (m_selected.contains(m_waypoints[i].id))
            chosen.push_back(m_projected[i]);
    }
    return boundsOf(chosen);
}

std::optional<std::size_t> WaypointLayer::waypointAt(QPointF screen, const MapViewport& view,
                                                     double maxPx) const
{
    const MercatorPoint target = view.toMercator(screen);
    const double k = view.pixelsPerUnit();
    std::optional<std::size_t> best;
    double bestDistance = maxPx * maxPx;
    for (std::size_t i = 0; i < m_projected.size(); ++i) {
        double dx = m_projected[i].x - target.x;
        dx -= std::round(dx); // the copy of the world nearest the pointer
        dx *= k;
        const double dy = (m_projected[i].y - target.y) * k;
        const double distance = dx * dx + dy * dy;
        // A selected waypoint wins a tie: it is drawn on top.
        if (distance < bestDistance ||
            (best && distance == bestDistance && m_selected.contains(m_waypoints[i].id))) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

void WaypointLayer::draw(QPainter& painter, const MapViewport& view) const
{
    painter.save();
    for (const MapRoute& route : m_routes) {
        QPolygonF line;
        for (const GeoPoint& p : route.points) {
            MercatorPoint m = toMercator(p);
            m.x += std::round(view.center.x - m.x);
            line << view.toScreen(m);
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(255, 255, 255, 220), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(line);
        painter.setPen(QPen(kRouteColour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(line);
        for (int i = 0; i < line.size(); ++i) {
            painter.setPen(QPen(Qt::white, 1.5));
            painter.setBrush(kRouteColour);
            painter.drawEllipse(line[i], 4.5, 4.5);
        }
    }

    const QRectF area(QPointF(-20, -20), view.size + QSizeF(40, 40));
    std::vector<std::pair<std::size_t, QPointF>> inView;
    for (std::size_t i = 0; i < m_projected.size(); ++i) {
        MercatorPoint m = m_projected[i];
        m.x += std::round(view.center.x - m.x);
        const QPointF at = view.toScreen(m);
        if (area.contains(at))
            inView.emplace_back(i, at);
    }
    const bool named = inView.size() <= kMaxNamed;
    QFont font = painter.font();
    font.setPointSizeF(8);
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF metrics(font);
    // Selected ones last, so they lie on top.
    for (const bool selectedPass : {false, true}) {
        for (const auto& [i, at] : inView) {
            const MapWaypoint& w = m_waypoints[i];
            const bool selected = m_selected.contains(w.id);
            if (selected != selectedPass)
                continue;
            const double radius = selected ? 7 : 5;
            painter.setPen(QPen(Qt::white, 2));
            painter.setBrush(selected ? kSelectedColour : kWaypointColour);
            painter.drawEllipse(at, radius, radius);
            if (!named && !selected)
                continue;
            painter.setFont(selected ? bold : font);
            const QString text = w.name;
            const QRectF box(at.x() + radius + 3, at.y() - metrics.height() / 2 - 1,
                             QFontMetricsF(painter.font()).horizontalAdvance(text) + 8, metrics.height() + 2);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(255, 255, 255, selected ? 235 : 190));
            painter.drawRoundedRect(box, 3, 3);
            painter.setPen(selected ? kSelectedColour.darker(130) : QColor(30, 30, 30));
            painter.drawText(box, Qt::AlignCenter, text);
        }
    }
    painter.restore();
}

} // namespace kalvora::map
