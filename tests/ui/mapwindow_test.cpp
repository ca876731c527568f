#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <QMenuBar>

#include "app/kalvoraappdelegate.h"
#include "app/logbook.h"
#include "map/tilesource.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/map/flightmapwindowcontroller.h"
#include "model/route.h"
#include "ui/map/mapwidget.h"
#include "ui/map/mapwindowcontroller.h"
#include "ui/waypoints/waypointwindowcontroller.h"
#include "waypointfixture.h"

namespace kalvora::test {
namespace {

class MapWindowTest : public GlobalStoreWindowTest
{
protected:
    void SetUp() override
    {
        GlobalStoreWindowTest::SetUp();
        qputenv(map::tileUrlEnvironmentVariable,
                (LocalHttpServer::closedPortUrl().toString() + QStringLiteral("/{z}/{x}/{y}.png")).toUtf8());
        m_tiles.cacheFolder = m_dir.filePath(QStringLiteral("tiles"));
        m_annecy = addWaypoint(QStringLiteral("Annecy Forclaz"), 45813000, 6247000, 1250);
        m_planfait = addWaypoint(QStringLiteral("Planfait"), 45857000, 6193000, 1200);
        m_doussard = addWaypoint(QStringLiteral("Doussard LZ"), 45776000, 6219000, 450);
        auto* route = ctx()->insert<Route>();
        route->setName(QStringLiteral("Tour du lac"));
        route->appendWaypoint(45.813, 6.247, 1250, 400, QStringLiteral("Forclaz"));
        route->appendWaypoint(45.900, 6.130, 600, 400, QStringLiteral("Annecy"));
        route->appendWaypoint(45.776, 6.219, 450, 400, QStringLiteral("Doussard"));
        ASSERT_TRUE(ctx()->save().ok());
    }
    void TearDown() override
    {
        m_map.reset();
        m_waypoints.reset();
        qunsetenv(map::tileUrlEnvironmentVariable);
        GlobalStoreWindowTest::TearDown();
    }

    void openMap()
    {
        MapWindowController::Services services;
        services.selectWaypoint = [this](const QString& uri) {
            m_selectedElsewhere << uri;
            if (m_waypoints)
                m_waypoints->selectWaypoint(uri);
        };
        services.createWaypointAt = [this](map::GeoPoint position) {
            m_created << position;
            if (m_waypoints)
                m_waypoints->addWaypointAt(MicroPoint{position.latitude * 1e6, position.longitude * 1e6});
        };
        m_map = std::make_unique<MapWindowController>(ctx(), services, m_tiles);
        m_map->showWindow();
        QCoreApplication::processEvents();
    }

    void openWaypointWindow()
    {
        m_waypoints = std::make_unique<WaypointWindowController>(ctx(), WaypointServices{});
        m_waypoints->windowDidLoad();
        m_waypoints->show();
        QCoreApplication::processEvents();
    }

    QPoint onMap(const Waypoint* waypoint) const
    {
        return m_map->mapView()
            ->viewport()
            .toScreen(map::GeoPoint{waypoint->latitude() / 1e6, waypoint->longitude() / 1e6})
            .toPoint();
    }

    map::TileLoader::Options m_tiles;
    Waypoint* m_annecy = nullptr;
    Waypoint* m_planfait = nullptr;
    Waypoint* m_doussard = nullptr;
    std::unique_ptr<MapWindowController> m_map;
    std::unique_ptr<WaypointWindowController> m_waypoints;
    QStringList m_selectedElsewhere;
    QList<map::GeoPoint> m_created;
};

TEST_F(MapWindowTest, ShowsEveryWaypointAndRouteFitted)
{
    openMap();
    EXPECT_EQ(m_map->objectName(), QStringLiteral("Map"));
    EXPECT_EQ(m_map->waypointLayer().waypoints().size(), 3u);
    ASSERT_EQ(m_map->waypointLayer().routes().size(), 1);
    EXPECT_EQ(m_map->waypointLayer().routes().first().points.size(), 3);
    const QRectF area(m_map->mapView()->rect());
    for (const Waypoint* waypoint : {m_annecy, m_planfait, m_doussard})
        EXPECT_TRUE(area.contains(onMap(waypoint))) << waypoint->name().toStdString();
    EXPECT_TRUE(
        m_map->findChild<QLabel*>(QStringLiteral("waypointSummary"))->text().contains(QStringLiteral("3")));
}

TEST_F(MapWindowTest, SelectionIsSharedWithTheWaypointWindowBothWays)
{
    openWaypointWindow();
    openMap();
    QTest::mouseClick(m_map->mapView(), Qt::LeftButton, {}, onMap(m_planfait));
    const QString planfait = m_planfait->objectId().uriString();
    EXPECT_EQ(m_selectedElsewhere, QStringList{planfait});
    ASSERT_EQ(m_waypoints->selectedWaypoints().size(), 1);
    EXPECT_EQ(m_waypoints->selectedWaypoints().first(), m_planfait);
    EXPECT_EQ(m_map->selectedWaypoints(), QStringList{planfait});

    // Chosen in the waypoint window, shown on the map.
    m_waypoints->selectWaypoint(m_doussard->objectId().uriString());
    EXPECT_EQ(m_map->selectedWaypoints(), QStringList{m_doussard->objectId().uriString()});

    // A click on empty map clears the map's selection only.
    QTest::mouseClick(m_map->mapView(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(m_map->selectedWaypoints().isEmpty());
}

TEST_F(MapWindowTest, CreateWaypointHereGoesThroughTheWaypointWindow)
{
    openWaypointWindow();
    openMap();
    const QPoint place = onMap(m_annecy) + QPoint(40, 30);
    const map::GeoPoint expected = m_map->mapView()->viewport().toGeo(place);
    QContextMenuEvent request(QContextMenuEvent::Mouse, place, m_map->mapView()->mapToGlobal(place));
    QCoreApplication::sendEvent(m_map->mapView(), &request);
    auto* menu = m_map->findChild<QMenu*>(QStringLiteral("mapContextMenu"));
    ASSERT_NE(menu, nullptr);
    auto* create = menu->findChild<QAction*>(QStringLiteral("createWaypointHere"));
    ASSERT_NE(create, nullptr);
    create->trigger();
    menu->close();

    ASSERT_EQ(m_created.size(), 1);
    EXPECT_NEAR(m_created.first().latitude, expected.latitude, 1e-9);
    const QList<Waypoint*> stored = ctx()->fetch<Waypoint>();
    ASSERT_EQ(stored.size(), 4);
    const QList<Waypoint*> selected = m_waypoints->selectedWaypoints();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_NEAR(selected.first()->latitude() / 1e6, expected.latitude, 2e-6);
    EXPECT_NEAR(selected.first()->longitude() / 1e6, expected.longitude, 2e-6);
    // The new waypoint is on the map, selected.
    EXPECT_EQ(m_map->waypointLayer().waypoints().size(), 4u);
    EXPECT_EQ(m_map->selectedWaypoints(), QStringList{selected.first()->objectId().uriString()});
}

TEST_F(MapWindowTest, MovedWaypointsAreRedrawnWhereTheyNowAre)
{
    openMap();
    m_doussard->setLatitude(45700000);
    ASSERT_TRUE(ctx()->save().ok());
    QTest::qWait(20);
    bool found = false;
    for (const map::MapWaypoint& shown : m_map->waypointLayer().waypoints()) {
        if (shown.id == m_doussard->objectId().uriString()) {
            found = true;
            EXPECT_DOUBLE_EQ(shown.position.latitude, 45.7);
        }
    }
    EXPECT_TRUE(found);
}

class QuietInteraction final : public AppInteraction
{
public:
    bool presentError(const PresentableError&) override { return false; }
    bool askQuitAnyway() override { return true; }
};

TEST_F(MapWindowTest, TheWindowMenuOpensBothMaps)
{
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit());
    {
        KalvoraAppDelegate delegate(std::make_unique<QuietInteraction>());
        LogBook* document = delegate.newDocumentAt(m_dir.filePath(QStringLiteral("menu.kalvora")));
        ASSERT_NE(document, nullptr);
        QMenuBar* bar = document->controller()->menuBar();
        QAction* flightMap = bar->findChild<QAction*>(QStringLiteral("flightMapWindow"));
        QAction* map = bar->findChild<QAction*>(QStringLiteral("mapWindow"));
        ASSERT_NE(flightMap, nullptr);
        ASSERT_NE(map, nullptr);

        flightMap->trigger();
        FlightMapWindowController* flights = delegate.flightMapWindowController();
        EXPECT_TRUE(flights->isVisible());
        EXPECT_EQ(flights->objectName(), QStringLiteral("FlightMap"));
        EXPECT_EQ(flights->followedLogbook(), document->controller());

        // The flight list's context menu shows the chosen flight on the flight map.
        flights->close();
        LogBookWindowController* logbook = document->controller();
        ASSERT_NE(logbook->addFlightManually(), nullptr);
        QTableView* table = logbook->flightTable();
        const QPoint row = table->visualRect(table->model()->index(0, 0)).center();
        QContextMenuEvent request(QContextMenuEvent::Mouse, row, table->viewport()->mapToGlobal(row));
        QCoreApplication::sendEvent(table->viewport(), &request);
        auto* menu = logbook->findChild<QMenu*>(QStringLiteral("flightContextMenu"));
        ASSERT_NE(menu, nullptr);
        auto* showOnMap = menu->findChild<QAction*>(QStringLiteral("showOnMap"));
        ASSERT_NE(showOnMap, nullptr);
        showOnMap->trigger();
        menu->close();
        EXPECT_TRUE(flights->isVisible());
        EXPECT_EQ(flights->shownFlights(), logbook->selectedFlights());

        map->trigger();
        MapWindowController* places = delegate.mapWindowController();
        ASSERT_NE(places, nullptr);
        EXPECT_TRUE(places->isVisible());
        map->trigger();
        EXPECT_EQ(delegate.mapWindowController(), places) << "created once, shown again";
    }
    if (oldData.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldData);
}

} // namespace
} // namespace kalvora::test
