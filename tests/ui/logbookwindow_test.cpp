#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTableView>
#include <QTest>

#include "logbookfixture.h"
#include "ui/columnfit.h"
#include "store/notificationcenter.h"
#include "ui/flightlistmodel.h"
#include "ui/logbookwindowcontroller.h"

namespace kalvora::test {
namespace {

class LogBookWindowTest : public LogbookTest
{
protected:
    QAction* action(LogBookWindowController& window, const char* name)
    {
        for (QAction* a : window.toolbarActions())
            if (a->objectName() == QLatin1String(name))
                return a;
        return nullptr;
    }

    static int controllerNotices(const QSignalSpy& spy, bool add)
    {
        int count = 0;
        for (const QList<QVariant>& args : spy) {
            if (args.at(0).toString() == QLatin1String(notifications::FlightControllersDidChange)
                && args.at(2).toMap().value(QStringLiteral("Add")).toBool() == add)
                ++count;
        }
        return count;
    }
};

TEST_F(LogBookWindowTest, LoadShowsOffsetsAndAnnouncesTheController)
{
    QSignalSpy spy(&NotificationCenter::instance(), &NotificationCenter::notified);
    {
        LogBookWindowController window(ctx());
        EXPECT_EQ(window.objectName(), QStringLiteral("LogBook"));
        window.windowDidLoad({});
        EXPECT_EQ(window.utcOffsetList()->count(), 40);
        EXPECT_EQ(window.utcOffsetList()->currentIndex(), 15);
        EXPECT_EQ(window.utcOffsetList()->currentText(), QStringLiteral("0"));
        EXPECT_EQ(controllerNotices(spy, true), 1);
        EXPECT_EQ(controllerNotices(spy, false), 0);
    }
    EXPECT_EQ(controllerNotices(spy, false), 1);
}

TEST_F(LogBookWindowTest, RequeuesUnfinishedComputationsAndAsksForPilot)
{
    addFlight(utc(2024, 5, 1, 10, 0), 60, -2);
    addFlight(utc(2024, 5, 2, 10, 0), 60, -1);
    addFlight(utc(2024, 5, 3, 10, 0), 60, 12);
    ASSERT_TRUE(ctx()->save().ok());

    LogBookWindowController window(ctx());
    QSignalSpy queued(&window, &LogBookWindowController::xcComputationRequested);
    QSignalSpy pilot(&window, &LogBookWindowController::pilotWindowRequested);
    window.windowDidLoad({.openPilotWindow = true});
    ASSERT_EQ(queued.size(), 1);
    EXPECT_EQ(queued.first().first().value<QList<Flight*>>().size(), 2);
    EXPECT_EQ(pilot.size(), 1);
    EXPECT_EQ(window.flightList().size(), 3);
}

TEST_F(LogBookWindowTest, ToolbarFollowsSelectionAndIGCRecords)
{
    LogBookWindowController window(ctx());
    window.windowDidLoad({});
    window.setKmlApplication(std::nullopt);
    QAction* recalc = action(window, "recalcFlight");
    QAction* earth = action(window, "googleEarth");
    ASSERT_TRUE(recalc && earth);
    EXPECT_FALSE(recalc->isEnabled());

    Flight* withIGC = addFlight(utc(2024, 5, 1, 10, 0), 60);
    withIGC->setIgcData(QStringLiteral("AXXX\r\n"));
    withIGC->setValidIGC(false); // a value, even false, counts
    Flight* byHand = addFlight(utc(2024, 5, 2, 10, 0), 60);
    window.flightModel()->refresh();

    window.selectFlights({withIGC});
    EXPECT_TRUE(recalc->isEnabled());
    EXPECT_FALSE(earth->isEnabled()) << "tag 5 while no application shows KML";

    window.setKmlApplication(QStringLiteral("Marble"));
    EXPECT_TRUE(earth->isEnabled());
    EXPECT_EQ(earth->text(), QStringLiteral("Marble"));

    window.selectFlights({withIGC, byHand});
    EXPECT_FALSE(recalc->isEnabled()) << "a flight entered by hand has no IGC record";
    EXPECT_FALSE(earth->isEnabled()) << "tag 4 needs exactly one flight";
}

TEST_F(LogBookWindowTest, SelectingFlightsSelectsExactlyThoseAndTheViewCanExtendIt)
{
    LogBookWindowController window(ctx());
    window.windowDidLoad({});
    window.show();
    QList<Flight*> flights;
    for (int day = 1; day <= 8; ++day)
        flights << addFlight(utc(2024, 5, day, 10, 0), 60);
    window.flightModel()->refresh();
    window.sortFlights(0);
    auto* table = window.findChild<QTableView*>();
    ASSERT_TRUE(table);
    const auto rowOf = [&](Flight* flight) {
        for (int row = 0; row < table->model()->rowCount(); ++row)
            if (table->model()->index(row, 0).data(FlightListModel::FlightRole).value<QObject*>() == flight)
                return row;
        return -1;
    };

    // Asked for in no particular order; two runs of neighbours and one alone in the list.
    const QList<Flight*> wanted{flights[1], flights[7], flights[2], flights[6], flights[4]};
    window.selectFlights(wanted);
    QList<Flight*> inListOrder = wanted;
    std::sort(inListOrder.begin(), inListOrder.end(), [&](Flight* a, Flight* b) { return rowOf(a) < rowOf(b); });
    EXPECT_EQ(window.selectedFlights(), inListOrder);
    EXPECT_EQ(table->selectionModel()->selection().size(), 3) << "neighbouring rows form one range";
    for (int row = 0; row < table->model()->rowCount(); ++row) {
        const auto* flight = table->model()->index(row, 0).data(FlightListModel::FlightRole).value<QObject*>();
        EXPECT_EQ(table->selectionModel()->isRowSelected(row), wanted.contains(flight)) << "row " << row;
    }
    EXPECT_EQ(table->selectionModel()->currentIndex().row(), rowOf(flights[1])) << "the first flight asked for";

    // A Ctrl-click on a row outside adds it; one inside takes it away again.
    const auto click = [&](Flight* flight) {
        const QRect cell = table->visualRect(table->model()->index(rowOf(flight), 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
    };
    click(flights[0]);
    EXPECT_EQ(window.selectedFlights().size(), 6);
    EXPECT_TRUE(window.selectedFlights().contains(flights[0]));
    click(flights[6]);
    EXPECT_EQ(window.selectedFlights().size(), 5);
    EXPECT_FALSE(window.selectedFlights().contains(flights[6]));
}

TEST_F(LogBookWindowTest, LastSelectedFlightIsRememberedAcrossWindows)
{
    addFlight(utc(2024, 5, 1, 10, 0), 60);
    Flight* second = addFlight(utc(2024, 5, 2, 10, 0), 60);
    ASSERT_TRUE(ctx()->save().ok());
    {
        LogBookWindowController window(ctx());
        window.windowDidLoad({});
        window.selectFlights({second});
        window.close();
    }
    EXPECT_EQ(QSettings().value(QStringLiteral("LastSelectedFlightURI")).toString(), second->objectId().uriString());

    LogBookWindowController again(ctx());
    again.windowDidLoad({});
    ASSERT_EQ(again.selectedFlights().size(), 1);
    EXPECT_EQ(again.selectedFlights().first(), second);
    EXPECT_FALSE(again.selectFlight(QStringLiteral("x-kalvora://nowhere/Flight/p99")));
}

TEST_F(LogBookWindowTest, SizeAndColumnWidthsAreKept)
{
    addFlight(utc(2024, 5, 1, 10, 0), 60);
    {
        LogBookWindowController window(ctx());
        window.windowDidLoad({});
        window.show();
        window.resize(760, 480);
        window.flightTable()->setColumnWidth(FlightListModel::TakeOffPlaceColumn, 211);
        window.close();
    }
    LogBookWindowController again(ctx());
    again.windowDidLoad({});
    EXPECT_EQ(again.size(), QSize(760, 480));
    EXPECT_EQ(again.flightTable()->columnWidth(FlightListModel::TakeOffPlaceColumn), 211);
}

TEST(ColumnFit, NarrowRoomIsTakenFromTheSlackAndNeverBelowAMinimum)
{
    // Room enough: unchanged.
    EXPECT_EQ(fitColumnWidths({100, 50}, {20, 50}, 200), (std::vector<int>{100, 50}));
    // 60 px too wide: taken from the slack in proportion (80 and 40 above the minimums).
    EXPECT_EQ(fitColumnWidths({100, 60, 50}, {20, 20, 50}, 150), (std::vector<int>{60, 40, 50}));
    // Rounding leaves no pixel over.
    const std::vector<int> odd = fitColumnWidths({101, 103, 107}, {10, 10, 10}, 200);
    EXPECT_EQ(odd[0] + odd[1] + odd[2], 200);
    // Not enough slack: every column at its minimum, none below.
    EXPECT_EQ(fitColumnWidths({100, 60}, {90, 50}, 100), (std::vector<int>{90, 50}));
    EXPECT_EQ(fitColumnWidths({100}, {}, 10), (std::vector<int>{100}));
}

TEST(ColumnFit, ReturningRoomGrowsTheColumnsBelowTheirTargetsAndNoneBeyond)
{
    // 30 px for 20 + 40 missing: shared in proportion; the column at its target stays.
    EXPECT_EQ(growColumnWidths({80, 60, 100}, {100, 100, 90}, 30), (std::vector<int>{90, 80, 100}));
    // More room than missing: every column at its target, the rest left over.
    EXPECT_EQ(growColumnWidths({80, 60}, {100, 100}, 500), (std::vector<int>{100, 100}));
    // Rounding hands out every pixel of the room.
    const std::vector<int> odd = growColumnWidths({10, 10, 10}, {17, 19, 23}, 10);
    EXPECT_EQ(odd[0] + odd[1] + odd[2], 40);
    EXPECT_EQ(growColumnWidths({80}, {100}, -5), (std::vector<int>{80}));
    EXPECT_EQ(growColumnWidths({80}, {}, 50), (std::vector<int>{80}));
}

TEST_F(LogBookWindowTest, ANarrowWindowCutsNoValueOffAtTheEdge)
{
    const QString longPlace = QStringLiteral("Takeoff of the very long name above the village, Somewhere in the Alps, Switzerland");
    for (int day = 1; day <= 3; ++day)
        addFlight(utc(2024, 5, day, 10, 0), 75, 123.45, longPlace);
    LogBookWindowController window(ctx());
    window.windowDidLoad({});
    QTableView* table = window.flightTable();
    const auto settle = [] {
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
    };
    const auto expectFits = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0);
        for (int column = 0; column < FlightListModel::ColumnCount; ++column) {
            if (column == FlightListModel::TakeOffPlaceColumn || column == FlightListModel::LandingPlaceColumn
                || column == FlightListModel::GliderColumn)
                continue;
            EXPECT_GE(table->columnWidth(column), static_cast<QAbstractItemView*>(table)->sizeHintForColumn(column)) << "column " << column;
        }
    };
    window.resize(1100, 700);
    window.show();
    settle();
    expectFits("first start at 1100 px");
    window.resize(900, 700);
    settle();
    expectFits("made narrower");
}

TEST_F(LogBookWindowTest, EveryTitleFitsWithTheScrollBarAndComesBackWhenTheWindowWidens)
{
    const QString longPlace = QStringLiteral("Takeoff of the very long name above the village, Somewhere in the Alps");
    for (int day = 1; day <= 60; ++day)
        addFlight(utc(2024, 5, 1, 10, 0).addDays(day), 75, 123.45, longPlace);
    ASSERT_TRUE(ctx()->save().ok());
    LogBookWindowController window(ctx());
    window.windowDidLoad({});
    QTableView* table = window.flightTable();
    QHeaderView* header = table->horizontalHeader();
    const auto settle = [] {
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
    };
    const QFontMetrics titleMetrics(header->font());
    const int headerMargin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    // Room for every title and every value: the values of the text columns elide, so they ask for little.
    const auto roomForAllTitles = [&] {
        int needed = 0;
        for (int column = 0; column < header->count(); ++column) {
            if (header->isSectionHidden(column))
                continue;
            const bool text = column == FlightListModel::TakeOffPlaceColumn
                              || column == FlightListModel::LandingPlaceColumn || column == FlightListModel::GliderColumn;
            needed += std::max(header->sectionSizeHint(column),
                               text ? 80 : static_cast<QAbstractItemView*>(table)->sizeHintForColumn(column) + 40);
        }
        return table->viewport()->width() >= needed;
    };
    const auto expectTitlesWhole = [&](int width) {
        SCOPED_TRACE(testing::Message() << "window " << width << " px wide");
        for (int column = 0; column < header->count(); ++column) {
            if (header->isSectionHidden(column))
                continue;
            const QString title = table->model()->headerData(column, Qt::Horizontal).toString();
            EXPECT_LE(titleMetrics.horizontalAdvance(title) + 2 * headerMargin, header->sectionSize(column))
                << title.toStdString();
            EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column)) << title.toStdString();
        }
    };

    window.resize(1500, 500);
    window.show();
    settle();
    ASSERT_TRUE(table->verticalScrollBar()->isVisible()) << "enough flights for the scroll bar";
    int checked = 0;
    // Narrowest: every value still whole, most titles cut.
    for (const int width : {1500, 900, 1500, 1300, 900, 1100, 1250, 1400, 1500}) {
        window.resize(width, 500);
        settle();
        EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0) << width;
        if (roomForAllTitles()) {
            expectTitlesWhole(width);
            ++checked;
        }
    }
    EXPECT_GE(checked, 4) << "the widths above must leave room for the titles";
}

TEST_F(LogBookWindowTest, AnEmptyListFitsItsFirstWindowWithThePilotWindowOpen)
{
    LogBookWindowController window(ctx());
    // The pilot window of a new logbook shows the logbook window while it is still loading.
    QObject::connect(&window, &LogBookWindowController::pilotWindowRequested, &window, [&window] {
        window.resize(1100, 700);
        window.show();
    });
    window.windowDidLoad({.openPilotWindow = true});
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    window.resize(900, 700); // narrower than the columns' room with whole titles
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    ASSERT_TRUE(window.isVisible());
    QTableView* table = window.flightTable();
    EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0);
    // Room kept for the dates and durations still to come.
    const QFontMetrics metrics = table->fontMetrics();
    EXPECT_GT(table->columnWidth(FlightListModel::FlightTimeColumn), metrics.horizontalAdvance(QStringLiteral("00:00:00")));
    EXPECT_GT(table->columnWidth(FlightListModel::DateColumn), metrics.horizontalAdvance(QStringLiteral("28/12/2028")));
}

TEST_F(LogBookWindowTest, AFirstWindowIsWideEnoughForEveryTitleWhereTheScreenAllows)
{
    LogBookWindowController window(ctx());
    window.windowDidLoad({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    const int room = window.screen()->availableGeometry().width();
    QHeaderView* header = window.flightTable()->horizontalHeader();
    if (window.width() < room) {
        for (int column = 0; column < header->count(); ++column)
            EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column))
                << header->model()->headerData(column, Qt::Horizontal).toString().toStdString();
    } else {
        EXPECT_EQ(window.width(), room) << "never wider than the screen";
    }
    EXPECT_GE(window.width(), std::min(room, 1100));
}

TEST_F(LogBookWindowTest, SortTypeIsStoredAndRestored)
{
    addFlight(utc(2024, 5, 1, 10, 0), 200, 5, QStringLiteral("Long"));
    addFlight(utc(2024, 5, 3, 10, 0), 20, 2, QStringLiteral("Newest"));
    {
        LogBookWindowController window(ctx());
        window.windowDidLoad({});
        EXPECT_EQ(window.flightList().first()->startLocation(), QStringLiteral("Newest"));
        window.sortFlights(1);
        EXPECT_EQ(window.flightList().first()->startLocation(), QStringLiteral("Long"));
        window.sortFlights(9); // not a sort type: kept
        EXPECT_EQ(window.sortType(), 1);
    }
    EXPECT_EQ(QSettings().value(QStringLiteral("flightSortType")).toInt(), 1);
    LogBookWindowController again(ctx());
    again.windowDidLoad({});
    EXPECT_EQ(again.sortType(), 1);
    EXPECT_EQ(again.flightList().first()->startLocation(), QStringLiteral("Long"));
}

TEST_F(LogBookWindowTest, UnitChangeRedrawsAndKeepsSelection)
{
    Flight* flight = addFlight(utc(2024, 5, 1, 10, 0), 60);
    LogBookWindowController window(ctx());
    window.windowDidLoad({});
    window.selectFlights({flight});

    Settings::setCurrentUnits(UnitSettings{1, 0, 0, 0, 0});
    NotificationCenter::instance().post(QString::fromLatin1(notifications::SettingsUnitTypeChanged));
    const QAbstractItemModel* shown = window.flightTable()->model();
    EXPECT_EQ(shown->headerData(FlightListModel::MaxAltitudeColumn, Qt::Horizontal).toString(),
              QStringLiteral("Max. alt. (ft)"));
    EXPECT_EQ(window.selectedFlights(), QList<Flight*>{flight});

    // XC points type: the selected flight's distances are announced again, values unchanged.
    QSignalSpy changed(flight, &StoredObject::valueChanged);
    NotificationCenter::instance().post(QString::fromLatin1(notifications::SettingsXCPointsTypeChanged));
    EXPECT_GE(changed.size(), 2);
    EXPECT_EQ(flight->freeDistance(), 10);
}

TEST_F(LogBookWindowTest, OffsetChoiceSetsAndClearsTheFlightsOffset)
{
    Flight* flight = addFlight(utc(2024, 5, 1, 10, 0), 60);
    LogBookWindowController window(ctx());
    window.windowDidLoad({});
    window.selectFlights({flight});
    QComboBox* offsets = window.utcOffsetList();
    offsets->setCurrentIndex(24);
    emit offsets->activated(24);
    EXPECT_DOUBLE_EQ(flight->utcOffset(), 5.75);
    offsets->setCurrentIndex(15);
    emit offsets->activated(15);
    EXPECT_FALSE(flight->hasValue(QStringLiteral("utcOffset"))) << "entry 0 clears the offset";
}

} // namespace
} // namespace kalvora::test
