#include "ui/map/mapwindowcontroller.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

#include "map/tilesource.h"
#include "model/route.h"
#include "model/routewaypoint.h"
#include "model/waypoint.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "ui/map/mapwidget.h"
#include "ui/waypoints/waypointwindowcontroller.h"

namespace kalvora {
namespace {

constexpr double kPickRadiusPx = 10;

map::MapWaypoint mapWaypoint(const Waypoint& waypoint)
{
    return {waypoint.objectId().uriString(), waypoint.name(),
            map::GeoPoint{double(waypoint.latitude()) / 1e6, double(waypoint.longitude()) / 1e6},
            double(waypoint.altitude())};
}

} // namespace

MapWindowController::MapWindowController(ObjectContext* context, Services services,
                                         const map::TileLoader::Options& tiles, QWidget* parent)
    : QWidget(parent, Qt::Window), m_context(context), m_services(std::move(services))
{
    setObjectName(QStringLiteral("Map"));
    setWindowTitle(tr("Map"));

    const map::TileSource source = map::currentTileSource();
    m_map = new MapWidget(source, tiles, this);
    m_map->setObjectName(QStringLiteral("waypointMapView"));
    m_map->setAccessibleName(tr("Waypoint map"));
    m_map->setToolTip(tr("Click a waypoint to select it; right-click to create one"));
    m_map->tileMap()->addLayer(&m_layer);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("waypointSummary"));
    m_sources = createTileSourceChooser(this);
    m_showAll = new QPushButton(tr("Show &All"), this);
    m_showAll->setObjectName(QStringLiteral("showAll"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_summary, 1);
    bar->addWidget(m_sources);
    bar->addWidget(m_showAll);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addWidget(m_map, 1);

    connect(m_showAll, &QPushButton::clicked, this, &MapWindowController::showAll);
    connect(m_sources, &QComboBox::currentIndexChanged, this, [this] { showChosenTileSource(m_sources, m_map); });
    connect(m_map, &MapWidget::clicked, this, &MapWindowController::clicked);
    connect(m_map, &MapWidget::contextMenuRequested, this, &MapWindowController::showContextMenu);
    connect(&NotificationCenter::instance(), &NotificationCenter::notified, this,
            &MapWindowController::notified);

    QSettings settings;
    if (!restoreGeometry(settings.value(objectName() + QStringLiteral("/geometry")).toByteArray()))
        resize(900, 650);
    reloadFromStore();
}

MapWindowController::~MapWindowController()
{
    m_map->tileMap()->removeLayer(&m_layer);
}

void MapWindowController::closeEvent(QCloseEvent* event)
{
    QSettings().setValue(objectName() + QStringLiteral("/geometry"), saveGeometry());
    QWidget::closeEvent(event);
}

void MapWindowController::reloadFromStore()
{
    m_reloadQueued = false;
    if (!m_context)
        return;
    QObjectList waypoints;
    for (Waypoint* waypoint : m_context->fetch<Waypoint>()) {
        if (!waypoint->isDeleted())
            waypoints << waypoint;
    }
    m_listed.clear(); // read the places again even when the same records are listed
    takeWaypoints(waypoints);

    QList<map::MapRoute> routes;
    for (Route* route : m_context->fetch<Route>()) {
        if (route->isDeleted())
            continue;
        map::MapRoute shown{route->name(), {}};
        for (const RouteWaypoint* entry : route->sortedWaypoints())
            shown.points << map::GeoPoint{entry->latitude(), entry->longitude()};
        if (!shown.points.isEmpty())
            routes << shown;
    }
    m_layer.setRoutes(routes);
    updateSummary();
    m_map->update();
}

void MapWindowController::takeWaypoints(const QObjectList& waypoints)
{
    if (waypoints == m_listed)
        return;
    m_listed = waypoints;
    std::vector<map::MapWaypoint> shown;
    shown.reserve(size_t(waypoints.size()));
    for (QObject* object : waypoints) {
        if (const auto* waypoint = qobject_cast<const Waypoint*>(object))
            shown.push_back(mapWaypoint(*waypoint));
    }
    m_layer.setWaypoints(std::move(shown));
    updateSummary();
    m_map->update();
}

void MapWindowController::updateSummary()
{
    const std::size_t waypoints = m_layer.waypoints().size();
    const qsizetype routes = m_layer.routes().size();
    m_summary->setText((waypoints == 1 ? tr("1 waypoint") : tr("%1 waypoints").arg(waypoints)) +
                       QStringLiteral("  ·  ") + (routes == 1 ? tr("1 route") : tr("%1 routes").arg(routes)));
}

void MapWindowController::showWindow()
{
    show();
    raise();
    activateWindow();
    if (!m_fitted) {
        m_fitted = true;
        showAll();
    }
}

void MapWindowController::showAll()
{
    const QRectF bounds = m_layer.bounds();
    if (!m_layer.waypoints().empty() || !m_layer.routes().isEmpty())
        m_map->fitTo(bounds);
}

void MapWindowController::setSelectedWaypoints(const QStringList& ids)
{
    m_layer.setSelected(QSet<QString>(ids.begin(), ids.end()));
    // A selection made elsewhere is brought into view.
    const QRectF chosen = m_layer.selectedBounds();
    if (!ids.isEmpty() && !chosen.isNull() && !m_map->viewport().worldRect().contains(chosen.center()))
        m_map->centerOn(map::toGeo({chosen.center().x(), chosen.center().y()}));
    m_map->update();
}

QStringList MapWindowController::selectedWaypoints() const
{
    return QStringList(m_layer.selected().begin(), m_layer.selected().end());
}

void MapWindowController::clicked(QPointF position, Qt::KeyboardModifiers modifiers)
{
    const std::optional<std::size_t> hit = m_layer.waypointAt(position, m_map->viewport(), kPickRadiusPx);
    if (!hit) {
        if (!(modifiers & Qt::ControlModifier))
            setSelectedWaypoints({});
        return;
    }
    const QString id = m_layer.waypoints()[*hit].id;
    m_layer.setSelected({id});
    m_map->update();
    if (m_services.selectWaypoint)
        m_services.selectWaypoint(id);
}

void MapWindowController::showContextMenu(QPointF position, QPoint global)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("mapContextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const map::GeoPoint place = m_map->viewport().toGeo(position);
    if (m_services.createWaypointAt) {
        QAction* create = menu->addAction(tr("&Create Waypoint Here"));
        create->setObjectName(QStringLiteral("createWaypointHere"));
        connect(create, &QAction::triggered, this, [this, place] {
            // The map may show a world east or west of the first one.
            map::GeoPoint wrapped = place;
            wrapped.longitude = std::remainder(wrapped.longitude, 360.0);
            m_services.createWaypointAt(wrapped);
        });
    }
    QAction* all = menu->addAction(tr("Show &All Waypoints"));
    all->setObjectName(QStringLiteral("showAllWaypoints"));
    connect(all, &QAction::triggered, this, &MapWindowController::showAll);
    menu->popup(global);
}

void MapWindowController::notified(const QString& name, QObject* object, const QVariantMap& userInfo)
{
    if (name == QLatin1String(notifications::WaypointControllerDidChange)) {
        takeWaypoints(userInfo.value(QStringLiteral("WaypointController")).value<QObjectList>());
        if (auto* window = qobject_cast<WaypointWindowController*>(object)) {
            QStringList ids;
            for (const Waypoint* waypoint : window->selectedWaypoints())
                ids << waypoint->objectId().uriString();
            setSelectedWaypoints(ids);
        }
        return;
    }
    // Moved waypoints and changed routes: read the store again once things settle.
    if ((name == QLatin1String(notifications::WaypointChanged) ||
         name == QLatin1String(notifications::RouteWaypointChange)) &&
        !m_reloadQueued) {
        m_reloadQueued = true;
        QTimer::singleShot(0, this, &MapWindowController::reloadFromStore);
    }
}

} // namespace kalvora
