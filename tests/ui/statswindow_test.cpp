#include <QAction>
#include <QCategoryAxis>
#include <QLabel>
#include <QLineSeries>
#include <QPointer>
#include <QTableView>
#include <QTest>

#include "logbookfixture.h"
#include "model/igcscorepoint.h"
#include "store/notificationcenter.h"
#include "ui/export/logbookoutput.h"
#include "ui/flightlistmodel.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/stats/flightstatswindowcontroller.h"
#include "ui/stats/trackpointmodel.h"
#include "ui/unitdisplay.h"

namespace kalvora::test {
namespace {

/** Fixes every 10 s from STARTS, climbing 5 m each, at 46°30.000' N plus i thousandths of a minute. */
QString trackRecord(int startS, int fixes)
{
    QString text = QStringLiteral("HFDTE010624\r\n");
    for (int i = 0; i < fixes; ++i) {
        const int t = (startS + i * 10) % 86400;
        text += QString::asprintf("B%02d%02d%02d46%05dN00715000EA01000%05d\r\n", t / 3600, t % 3600 / 60, t % 60,
                                  30000 + i, 1000 + 5 * i);
    }
    return text;
}

class StatsWindowTest : public LogbookTest
{
protected:
    /** Twelve flights of 1 h each on different days, with records; the window over them. */
    std::unique_ptr<LogBookWindowController> window()
    {
        for (int i = 0; i < 12; ++i) {
            Flight* flight = addFlight(utc(2024, 6, 1 + i, 9 + i % 3, 0), 60);
            flight->setIgcData(trackRecord((9 + i % 3) * 3600, 20));
            flight->setValidIGC(true);
        }
        EXPECT_TRUE(ctx()->save().ok());
        auto window = std::make_unique<LogBookWindowController>(ctx());
        window->windowDidLoad({});
        window->deselectFlights();
        return window;
    }

    static FlightStatsWindowController* open(LogBookWindowController& window)
    {
        window.output()->statisticsAction()->trigger();
        return window.output()->statisticsWindow();
    }

    static QString label(FlightStatsWindowController& stats, const char* name)
    {
        return stats.findChild<QLabel*>(QLatin1String(name))->text();
    }
};

TEST_F(StatsWindowTest, FiguresFollowTheListContents)
{
    auto logbook = window();
    FlightStatsWindowController* stats = open(*logbook);
    ASSERT_NE(stats, nullptr);
    EXPECT_TRUE(stats->isVisible());
    EXPECT_EQ(stats->objectName(), QStringLiteral("FlightStats"));
    EXPECT_EQ(label(*stats, "flightCount"), QStringLiteral("12"));
    EXPECT_EQ(label(*stats, "totalFlightTime"), QStringLiteral("0:12:00:00"));
    EXPECT_EQ(label(*stats, "avgFlightTime"), QStringLiteral("01:00:00"));
    // Asking again brings the same window forward.
    EXPECT_EQ(open(*logbook), stats);

    logbook->removeFlights(logbook->flightList());
    QTest::qWait(20);
    EXPECT_EQ(label(*stats, "flightCount"), QStringLiteral("0"));
    EXPECT_EQ(label(*stats, "avgFlightTime"), QStringLiteral("–"));

    // The window goes with its logbook window.
    const QPointer<FlightStatsWindowController> guard(stats);
    logbook->close();
    QTest::qWait(20);
    EXPECT_TRUE(guard.isNull());
}

TEST_F(StatsWindowTest, ChartsTenSelectedFlightsInTheirSlotColours)
{
    auto logbook = window();
    FlightStatsWindowController* stats = open(*logbook);
    const QList<Flight*> flights = logbook->flightList();
    logbook->selectFlights(flights);
    QList<Flight*> charted = stats->chartedFlights();
    EXPECT_EQ(charted, flights.mid(0, 10));
    for (int slot = 0; slot < 10; ++slot) {
        EXPECT_EQ(stats->series(slot)->pen().color(), FlightStatsWindowController::slotColors()[size_t(slot)]);
        EXPECT_TRUE(stats->series(slot)->isVisible());
    }
    EXPECT_EQ(FlightStatsWindowController::slotColors()[3], QColor(255, 0, 0));
    // Several flights: no point table.
    EXPECT_EQ(stats->pointModel()->rowCount(), 0);

    // Deselecting the fourth frees slot 3, which the first waiting flight takes in the same change.
    QList<Flight*> fewer = flights;
    fewer.removeAt(3);
    logbook->selectFlights(fewer);
    charted = stats->chartedFlights();
    EXPECT_EQ(charted[3], flights[10]);
    EXPECT_FALSE(charted.contains(flights[3]));
    EXPECT_FALSE(charted.contains(flights[11]));
    EXPECT_EQ(charted[0], flights[0]);

    // Each curve is its track: time of day against GPS altitude, whatever the day.
    const QList<QPointF> points = stats->series(0)->points();
    ASSERT_EQ(points.size(), 20);
    const double start = flights[0]->startUTC().time().msecsSinceStartOfDay() / 1000.0;
    EXPECT_EQ(points.first(), QPointF(start, 1000));
    EXPECT_EQ(points.last(), QPointF(start + 190, 1095));
    const ChartSpace space = stats->space();
    EXPECT_EQ(space.startS, 9 * 3600);
    EXPECT_EQ(space.endS, 11 * 3600 + 190);
    EXPECT_DOUBLE_EQ(stats->timeAxis()->min(), 9 * 3600);
    EXPECT_TRUE(stats->timeAxis()->categoriesLabels().contains(QStringLiteral("10:00")));
}

TEST_F(StatsWindowTest, OneChartedFlightShowsItsPointsWithFlightAndTurnpointsMarked)
{
    auto logbook = window();
    Flight* flight = logbook->flightList().first();
    const auto position = [](int i) { return 46.5 + i * 0.001 / 60; };
    flight->setStartLatitude(position(2));
    flight->setStartLongitude(7.25);
    flight->setLandingLatitude(position(17));
    flight->setLandingLongitude(7.25);
    for (int i = 0; i < 3; ++i) {
        auto* point = ctx()->insert<IGCScorePoint>();
        point->setIndex(i);
        point->setLatitude(position(5 + 4 * i));
        point->setLongitude(7.25);
        point->setFlight(flight);
    }
    FlightStatsWindowController* stats = open(*logbook);
    logbook->selectFlights({flight});
    TrackPointModel* table = stats->pointModel();
    ASSERT_EQ(stats->pointTable()->model()->rowCount(), 20);
    const auto cell = [table](int row, int column) { return table->index(row, column).data().toString(); };
    EXPECT_EQ(cell(1, TrackPointModel::InFlightColumn), QString());
    EXPECT_EQ(cell(2, TrackPointModel::InFlightColumn), QStringLiteral("✓"));
    EXPECT_EQ(cell(17, TrackPointModel::InFlightColumn), QStringLiteral("✓"));
    EXPECT_EQ(cell(18, TrackPointModel::InFlightColumn), QString());
    EXPECT_EQ(cell(5, TrackPointModel::TurnpointColumn), QStringLiteral("1"));
    EXPECT_EQ(cell(9, TrackPointModel::TurnpointColumn), QStringLiteral("2"));
    EXPECT_EQ(cell(13, TrackPointModel::TurnpointColumn), QStringLiteral("3"));
    EXPECT_EQ(cell(0, TrackPointModel::GpsAltitudeColumn), QStringLiteral("1000"));

    // The unit setting re-labels the table and the chart.
    UnitSettings feet;
    feet.altitudeUnitIndex = 1;
    Settings::setCurrentUnits(feet);
    NotificationCenter::instance().post(QString::fromLatin1(notifications::SettingsUnitTypeChanged));
    EXPECT_EQ(cell(0, TrackPointModel::GpsAltitudeColumn), UnitDisplay::current().altitude(1000));
    EXPECT_NEAR(stats->series(0)->points().first().y(), 3280.84, 0.01);

    // A second charted flight empties the table.
    logbook->addFlightToSelection(logbook->flightList().last());
    EXPECT_EQ(table->rowCount(), 0);
    logbook->deselectFlights();
    EXPECT_EQ(stats->chartedFlights(), QList<Flight*>(10, nullptr));
}

} // namespace
} // namespace kalvora::test
