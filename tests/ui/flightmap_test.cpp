#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QWheelEvent>

#include <cmath>
#include <numbers>

#include "logbookfixture.h"
#include "map/tilesource.h"
#include "model/igcscorepoint.h"
#include "support/httpserver.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/map/altitudeprofile.h"
#include "ui/map/flightmapwindowcontroller.h"
#include "ui/map/mapwidget.h"
#include "ui/stats/flightstatswindowcontroller.h"

namespace kalvora::test {
namespace {

/**
 * A flight's IGC record: FIXES fixes 4 s apart on a circle of RADIUSKM around
 * 46.5 N, LONGITUDE E, climbing to 2000 m and gliding back down.
 */
QString circleRecord(int fixes, double longitude, double radiusKm = 5)
{
    QString text = QStringLiteral("HFDTE150619\r\n");
    for (int i = 0; i < fixes; ++i) {
        const double angle = 2 * std::numbers::pi * i / fixes;
        const double lat = 46.5 + radiusKm / 111.2 * std::sin(angle);
        const double lon =
            longitude + radiusKm / (111.2 * std::cos(46.5 * std::numbers::pi / 180)) * std::cos(angle);
        const int t = 36000 + 4 * i;
        const int alt = 1000 + int(1000 * std::sin(std::numbers::pi * i / fixes));
        const double latMin = (lat - std::floor(lat)) * 60;
        const double lonMin = (lon - std::floor(lon)) * 60;
        text += QString::asprintf("B%02d%02d%02d%02d%05dN%03d%05dEA%05d%05d\r\n", t / 3600, t / 60 % 60,
                                  t % 60, int(lat), int(std::lround(latMin * 1000)), int(lon),
                                  int(std::lround(lonMin * 1000)), alt, alt);
    }
    return text;
}

class FlightMapTest : public LogbookTest
{
protected:
    void SetUp() override
    {
        LogbookTest::SetUp();
        // Nothing may leave the machine: the tiles come from a port where nothing listens.
        qputenv(map::tileUrlEnvironmentVariable,
                (LocalHttpServer::closedPortUrl().toString() + QStringLiteral("/{z}/{x}/{y}.png")).toUtf8());
        m_tiles.cacheFolder = m_dir.filePath(QStringLiteral("tiles"));
    }
    void TearDown() override
    {
        m_logbook.reset();
        m_map.reset();
        qunsetenv(map::tileUrlEnvironmentVariable);
        LogbookTest::TearDown();
    }

    /** COUNT flights with circle tracks (one day apart, each a little further east), the first one scored. */
    void addFlights(int count)
    {
        for (int i = 0; i < count; ++i) {
            Flight* flight = addFlight(utc(2019, 6, 1 + i, 10, 0), 40);
            flight->setIgcData(circleRecord(600, 7.0 + 0.02 * i));
            flight->setValidIGC(true);
            flight->setStartLatitude(46.5);
            flight->setStartLongitude(7.0 + 0.02 * i + 5 / (111.2 * std::cos(46.5 * std::numbers::pi / 180)));
        }
        ASSERT_TRUE(ctx()->save().ok());
    }

    void openWindows()
    {
        m_map = std::make_unique<FlightMapWindowController>(m_tiles);
        m_map->show();
        m_logbook = std::make_unique<LogBookWindowController>(ctx());
        m_logbook->windowDidLoad({});
        m_logbook->show();
        m_logbook->deselectFlights();
        QCoreApplication::processEvents();
    }

    void clickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTableView* table = m_logbook->flightTable();
        const QRect cell = table->visualRect(table->model()->index(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, cell.center());
    }

    map::TileLoader::Options m_tiles;
    std::unique_ptr<FlightMapWindowController> m_map;
    std::unique_ptr<LogBookWindowController> m_logbook;
};

TEST_F(FlightMapTest, FollowsTheLogbookSelectionInTheStatisticsColours)
{
    addFlights(3);
    openWindows();
    EXPECT_EQ(m_map->objectName(), QStringLiteral("FlightMap"));
    EXPECT_EQ(m_map->followedLogbook(), m_logbook.get());
    EXPECT_TRUE(m_map->shownFlights().isEmpty());

    clickRow(0);
    ASSERT_EQ(m_map->shownFlights().size(), 1);
    EXPECT_EQ(m_map->shownFlights().first(), m_logbook->selectedFlights().first());
    const map::FlightLayer& layer = m_map->flightLayer();
    ASSERT_EQ(layer.tracks().size(), 1u);
    EXPECT_EQ(layer.tracks().front().fixes.size(), 600u);
    EXPECT_EQ(m_map->profile()->fixCount(), 600u);
    // The take-off mark sits on the fix nearest the stored take-off place.
    EXPECT_EQ(layer.tracks().front().takeoff, std::size_t(0));

    // The view was fitted: the whole track is drawn inside the map.
    const QRectF shown = QRectF(m_map->mapView()->rect());
    const QList<QPolygonF> lines = layer.drawnPolylines(0, m_map->mapView()->viewport());
    ASSERT_FALSE(lines.isEmpty());
    for (const QPolygonF& line : lines)
        EXPECT_TRUE(shown.contains(line.boundingRect())) << line.boundingRect().x();

    clickRow(1, Qt::ControlModifier);
    clickRow(2, Qt::ControlModifier);
    ASSERT_EQ(m_map->shownFlights().size(), 3);
    ASSERT_EQ(layer.tracks().size(), 3u);
    for (std::size_t slot = 0; slot < 3; ++slot)
        EXPECT_EQ(layer.tracks()[slot].color, FlightStatsWindowController::slotColors()[slot]);
    EXPECT_FALSE(layer.isColoured());
    EXPECT_EQ(m_map->summary()->text(), QStringLiteral("3 flights"));
}

TEST_F(FlightMapTest, ShowsAtMostTenTracksAndSaysSo)
{
    addFlights(12);
    openWindows();
    m_logbook->selectFlights(m_logbook->flightList());
    EXPECT_EQ(m_map->flightLayer().tracks().size(), 10u);
    EXPECT_TRUE(m_map->summary()->text().contains(QStringLiteral("10 of 12")))
        << m_map->summary()->text().toStdString();
}

TEST_F(FlightMapTest, ProfileAndMapCursorsFollowEachOther)
{
    addFlights(1);
    openWindows();
    clickRow(0);
    AltitudeProfile* profile = m_map->profile();
    const map::FlightLayer& layer = m_map->flightLayer();

    // Pointing at the profile puts the cursor on the map at the same fix.
    const QPointF onProfile = profile->pointOf(150);
    QTest::mouseMove(profile, onProfile.toPoint());
    ASSERT_TRUE(profile->cursor());
    EXPECT_NEAR(double(*profile->cursor()), 150, 2);
    EXPECT_EQ(layer.cursor(), profile->cursor());

    // And the reverse: pointing at the track on the map moves the profile's cursor.
    const QPointF onMap = layer.fixOnScreen(0, 420, m_map->mapView()->viewport());
    QTest::mouseMove(m_map->mapView(), onMap.toPoint());
    ASSERT_TRUE(layer.cursor());
    EXPECT_NEAR(double(*layer.cursor()), 420, 3);
    EXPECT_EQ(profile->cursor(), layer.cursor());
    // Far from the track nothing moves.
    QTest::mouseMove(m_map->mapView(), QPoint(3, 3));
    EXPECT_NEAR(double(*layer.cursor()), 420, 3);

    // The keyboard steps along the profile.
    profile->setFocus();
    const std::size_t before = *profile->cursor();
    QTest::keyClick(profile, Qt::Key_Right);
    EXPECT_GT(*profile->cursor(), before);
    EXPECT_EQ(layer.cursor(), profile->cursor());
}

TEST_F(FlightMapTest, ColouringFigureAndFittingComeFromTheControls)
{
    addFlights(1);
    Flight* flight = ctx()->fetch<Flight>().first();
    XCData xc;
    xc.freeDistance = 12;
    xc.flatDistance = 20;
    xc.faiDistance = 15; // 1.75 x 20 beats 2 x 15 and 1.5 x 12: a flat triangle
    for (const double angle : {0.0, 1.0, 3.0, 5.0, 6.2})
        xc.scorePoints << XCData::Point{46.5 + 5 / 111.2 * std::sin(angle), 7.0 + 0.069 * std::cos(angle)};
    flight->setXCData(&xc);
    ASSERT_TRUE(ctx()->save().ok());
    openWindows();
    clickRow(0);
    const map::FlightLayer& layer = m_map->flightLayer();
    ASSERT_TRUE(layer.tracks().front().figure);
    EXPECT_EQ(layer.tracks().front().figure->type, ScoreType::FlatTriangle);
    EXPECT_TRUE(m_map->summary()->text().contains(QStringLiteral("Flight time ")))
        << "a bare 04:56:20 reads as a time of day" << m_map->summary()->text().toStdString();
    EXPECT_TRUE(m_map->summary()->text().contains(QStringLiteral("Flat triangle 20.0 km")))
        << m_map->summary()->text().toStdString();
    EXPECT_TRUE(layer.isColoured());
    EXPECT_EQ(layer.colouring(), map::TrackColouring::Altitude);

    QComboBox* colouring = m_map->colouringList();
    colouring->setFocus();
    QTest::keyClick(colouring, Qt::Key_Down);
    EXPECT_EQ(layer.colouring(), map::TrackColouring::Climb);

    // Zoomed in with the keyboard, the button brings the whole flight back.
    MapWidget* view = m_map->mapView();
    const double fitted = view->viewport().zoom;
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Plus);
    QTest::keyClick(view, Qt::Key_Plus);
    EXPECT_EQ(view->viewport().zoom, fitted + 2);
    QTest::keyClick(view, Qt::Key_Left);
    QTest::mouseClick(m_map->fitButton(), Qt::LeftButton);
    EXPECT_EQ(view->viewport().zoom, fitted);

    // A closed logbook leaves an empty map that says why.
    m_logbook.reset();
    EXPECT_TRUE(m_map->flightLayer().tracks().empty());
    EXPECT_EQ(m_map->followedLogbook(), nullptr);
    EXPECT_FALSE(m_map->summary()->text().isEmpty());
}

TEST_F(FlightMapTest, WheelZoomsAroundThePointerAndDragPans)
{
    addFlights(1);
    openWindows();
    clickRow(0);
    MapWidget* view = m_map->mapView();
    const QPointF pointer(100, 80);
    const map::GeoPoint under = view->viewport().toGeo(pointer);
    const double zoom = view->viewport().zoom;
    QWheelEvent wheel(pointer, view->mapToGlobal(pointer), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &wheel);
    EXPECT_EQ(view->viewport().zoom, std::round(zoom) + 1);
    const QPointF still = view->viewport().toScreen(under);
    EXPECT_NEAR(still.x(), pointer.x(), 1e-6);
    EXPECT_NEAR(still.y(), pointer.y(), 1e-6);

    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(200, 200));
    QTest::mouseMove(view, QPoint(230, 190));
    QTest::mouseMove(view, QPoint(260, 180));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(260, 180));
    const QPointF moved = view->viewport().toScreen(under);
    EXPECT_NEAR(moved.x(), pointer.x() + 60, 1e-6);
    EXPECT_NEAR(moved.y(), pointer.y() - 20, 1e-6);
}

TEST_F(FlightMapTest, PinchZoomsAndALaterScoreDrawsTheFigure)
{
    addFlights(1);
    openWindows();
    clickRow(0);
    EXPECT_FALSE(m_map->flightLayer().tracks().front().figure);

    MapWidget* view = m_map->mapView();
    const double zoom = view->viewport().zoom;
    const QPointF at(150, 120);
    const map::GeoPoint under = view->viewport().toGeo(at);
    // Fingers spread to twice the distance: one level in, around the fingers.
    QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, at, at,
                              view->mapToGlobal(at), 1.0, QPointF());
    QCoreApplication::sendEvent(view, &pinch);
    EXPECT_NEAR(view->viewport().zoom, zoom + 1, 1e-9);
    EXPECT_NEAR(view->viewport().toScreen(under).x(), at.x(), 1e-6);

    // The XC computation finishes while the flight is shown.
    Flight* flight = m_map->shownFlights().first();
    XCData xc;
    xc.freeDistance = 9.5;
    for (const double angle : {0.0, 1.5, 3.0, 4.5, 6.0})
        xc.scorePoints << XCData::Point{46.5 + 5 / 111.2 * std::sin(angle), 7.0 + 0.069 * std::cos(angle)};
    flight->setXCData(&xc);
    QCoreApplication::processEvents();
    ASSERT_TRUE(m_map->flightLayer().tracks().front().figure);
    EXPECT_EQ(m_map->flightLayer().tracks().front().figure->points.size(), 5);
    EXPECT_TRUE(m_map->summary()->text().contains(QStringLiteral("Free distance 9.5 km")))
        << m_map->summary()->text().toStdString();
}

} // namespace
} // namespace kalvora::test
