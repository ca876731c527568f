#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

#include <functional>

#include "map/tileloader.h"
#include "map/waypointlayer.h"

class QLabel;
class QMenu;
class QPushButton;
class QComboBox;

namespace kalvora {

class MapWidget;
class ObjectContext;

/**
 * The map window "Map": the waypoints and routes of the global store. A
 * waypoint clicked on the map is selected in the waypoint window, and the
 * waypoint window's selection shows on the map; the context menu creates a
 * waypoint at the place clicked, through the waypoint window's logic.
 * GUI thread.
 */
class MapWindowController final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MapWindowController)

public:
    /** What the window asks of the waypoint window; empty members do nothing. */
    struct Services
    {
        /** Selects the waypoint with this identifier in the waypoint window. */
        std::function<void(const QString& uri)> selectWaypoint;
        /** Adds a waypoint at this place [deg] as the waypoint window adds one by hand. */
        std::function<void(map::GeoPoint position)> createWaypointAt;
    };

    /** CONTEXT is the global store's main context; null TILES take the loader's defaults. */
    MapWindowController(ObjectContext* context, Services services, const map::TileLoader::Options& tiles = {},
                        QWidget* parent = nullptr);
    ~MapWindowController() override;

    /** Reads the waypoints and routes from the store again. */
    void reloadFromStore();
    /** Shows and raises the window; the first time fitted to every waypoint and route. */
    void showWindow();

    /** Selects the waypoints with these identifiers on the map (not in the waypoint window). */
    void setSelectedWaypoints(const QStringList& ids);
    [[nodiscard]] QStringList selectedWaypoints() const;

    [[nodiscard]] MapWidget* mapView() const { return m_map; }
    [[nodiscard]] const map::WaypointLayer& waypointLayer() const { return m_layer; }
    [[nodiscard]] QPushButton* showAllButton() const { return m_showAll; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void notified(const QString& name, QObject* object, const QVariantMap& userInfo);
    void takeWaypoints(const QObjectList& waypoints);
    void clicked(QPointF position, Qt::KeyboardModifiers modifiers);
    void showContextMenu(QPointF position, QPoint global);
    void showAll();
    void updateSummary();

    QPointer<ObjectContext> m_context;
    Services m_services;
    map::WaypointLayer m_layer;
    QObjectList m_listed; ///< the waypoint records shown, to notice when the list changed
    MapWidget* m_map = nullptr;
    QPushButton* m_showAll = nullptr;
    QComboBox* m_sources = nullptr;
    QLabel* m_summary = nullptr;
    bool m_fitted = false;
    bool m_reloadQueued = false;
};

} // namespace kalvora
