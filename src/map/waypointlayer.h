#pragma once

#include <QList>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

#include "map/tilemap.h"

namespace kalvora::map {

/** A stored waypoint as the map shows it. */
struct MapWaypoint
{
    QString id; ///< the record's identifier, to select it elsewhere
    QString name;
    GeoPoint position;
    double altitudeM = 0;
    bool operator==(const MapWaypoint&) const = default;
};

/** A route as the map shows it: its entries in order. */
struct MapRoute
{
    QString name;
    QList<GeoPoint> points;
    bool operator==(const MapRoute&) const = default;
};

/**
 * Waypoints and routes over the map. Selected waypoints are drawn larger
 * and always named; the others are named while few are in view. Only the
 * waypoints in view are drawn, so a store of 100,000 places pans smoothly.
 */
class WaypointLayer final : public MapLayer
{
public:
    void setWaypoints(std::vector<MapWaypoint> waypoints);
    [[nodiscard]] const std::vector<MapWaypoint>& waypoints() const { return m_waypoints; }
    void setRoutes(QList<MapRoute> routes);
    [[nodiscard]] const QList<MapRoute>& routes() const { return m_routes; }
    void setSelected(QSet<QString> ids) { m_selected = std::move(ids); }
    [[nodiscard]] const QSet<QString>& selected() const { return m_selected; }

    /** The waypoint drawn nearest to SCREEN within MAXPX [px]; nullopt when none is that near. */
    [[nodiscard]] std::optional<std::size_t> waypointAt(QPointF screen, const MapViewport& view,
                                                        double maxPx) const;
    /** World-unit bounds of the waypoints and routes; null without any. */
    [[nodiscard]] QRectF bounds() const;
    /** World-unit bounds of the selected waypoints; null without a selection. */
    [[nodiscard]] QRectF selectedBounds() const;

    void draw(QPainter& painter, const MapViewport& view) const override;

private:
    std::vector<MapWaypoint> m_waypoints;
    std::vector<MercatorPoint> m_projected;
    QList<MapRoute> m_routes;
    QSet<QString> m_selected;
};

} // namespace kalvora::map
