// The device window driven through its controls against simulated instruments.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimeZone>

#include <sys/stat.h>

#include "braeunigersim.h"
#include "devicewindowfixture.h"
#include "instruments/serialport.h"
#include "model/flight.h"
#include "model/route.h"
#include "model/waypoint.h"
#include "store/notificationcenter.h"
#include "ui/device/selectlogbooksheet.h"
#include "ui/flightlistmodel.h"
#include "ui/flightintersectsheet.h"
#include "ui/longtimesheet.h"
#include "ui/waypoints/waypointduplicatesheet.h"
#include "ui/waypoints/waypointfileimport.h"

namespace kalvora::test {
namespace {

using BraeunigerSim = sim::BraeunigerSim;

std::shared_ptr<BraeunigerSim> braeuniger(std::vector<sim::IgcFile> tracks)
{
    auto sim = std::make_shared<BraeunigerSim>("COMPEO+", std::move(tracks));
    // Long names as the instrument keeps them: 17 characters, space padded.
    sim->setWaypoints({{46.5, 7.25, "GRAT01", "Grat             ", 2100},
                       {46.6, 7.3, "LAND01", "Landeplatz       ", 600},
                       {46.7, 7.4, "TURN01", "Turn             ", 1500}});
    sim->setRoutes({{1, "Task", {"Grat             ", "Turn             ", "Landeplatz       "}}});
    return sim;
}

QDateTime instant(std::chrono::sys_seconds t)
{
    return QDateTime::fromSecsSinceEpoch(t.time_since_epoch().count(), QTimeZone::utc());
}

/** Saves an entry a minute into the flight that took off at START: the one an import of its track is to replace. */
bool saveOldEntry(OpenLogBook& logbook, const QDateTime& start)
{
    auto* old = logbook.store->mainContext()->insert<Flight>();
    old->setStartUTC(start.addSecs(60));
    old->setLandingUTC(start.addSecs(120));
    old->setStartLocation(QStringLiteral("Old entry"));
    return logbook.store->mainContext()->save().ok();
}

void clickRow(QTableView* view, int row)
{
    const QRect cell = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

class DeviceWindow : public DeviceWindowTest
{};

TEST_F(DeviceWindow, ScanFindsTheInstrumentAndTheChainReadsEveryList)
{
    KALVORA_REQUIRE_TESTDATA();
    openLogBook(QStringLiteral("Main"));
    plugIn(braeuniger(recordings({"marcourt.igc", "d3p.igc"})));
    ASSERT_TRUE(loadAndScan());

    auto* devices = control<QTableWidget>("deviceTable");
    ASSERT_EQ(devices->rowCount(), 1);
    EXPECT_EQ(devices->item(0, 0)->text(), QString::fromUtf8("Bräuniger Compeo+"));
    ASSERT_TRUE(waitForTracks());
    EXPECT_EQ(table("trackTable")->model()->rowCount(), 2);
    // Routes are read in the chain, so their tab leaves "Reading routes..." for the table.
    ASSERT_TRUE(QTest::qWaitFor([this] { return stack("routeTableStack")->currentIndex() == 2; }, kWaitMs));
    ASSERT_EQ(table("routeTable")->model()->rowCount(), 1);
    EXPECT_EQ(table("routeTable")->model()->index(0, 0).data().toString(), QStringLiteral("Task"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return stack("waypointTableStack")->currentIndex() == 2; }, kWaitMs));
    EXPECT_EQ(table("waypointTable")->model()->rowCount(), 3);

    // The buttons follow the driver: no track delete on this family, single waypoints can go.
    EXPECT_TRUE(button("importAllTracks")->isEnabled());
    EXPECT_FALSE(button("importSelectedTrack")->isEnabled());
    EXPECT_TRUE(button("deleteAllTracks")->isHidden());
    EXPECT_TRUE(button("deleteSelectedTracks")->isHidden());
    EXPECT_FALSE(button("deleteSelectedWaypoints")->isHidden());
    EXPECT_TRUE(button("deleteAllWaypoints")->isHidden());
    clickRow(table("trackTable"), 1);
    EXPECT_TRUE(button("importSelectedTrack")->isEnabled());
    EXPECT_EQ(control<QLabel>("airspaceNotAvailable")->text(), QStringLiteral("Airspace not available"));

    // Choosing no device row leaves every tab at its not-available text.
    control<QTableWidget>("deviceTable")->clearSelection();
    EXPECT_EQ(stack("trackTableStack")->currentIndex(), 0);
    EXPECT_EQ(stack("waypointTableStack")->currentIndex(), 0);
    EXPECT_FALSE(button("importAllTracks")->isEnabled());
    EXPECT_EQ(m_window->device(), nullptr);
}

TEST_F(DeviceWindow, TwoTracksImportWithTheReplaceAnswerAndAreMarkedAsInTheLogbook)
{
    KALVORA_REQUIRE_TESTDATA();
    const auto files = recordings({"marcourt.igc", "d3p.igc"});
    ASSERT_EQ(files.size(), 2u);
    OpenLogBook& logbook = openLogBook(QStringLiteral("Main"));
    ASSERT_TRUE(saveOldEntry(logbook, instant(files[0].startUTC)));
    logbook.window->flightModel()->refresh();

    plugIn(braeuniger(files));
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(waitForTracks());
    // The old entry already marks the first track.
    EXPECT_EQ(table("trackTable")->model()->index(0, 3).data().toString(), QStringLiteral("Main"));
    EXPECT_TRUE(table("trackTable")->model()->index(1, 3).data().toString().isEmpty());

    QSignalSpy finished(m_window.get(), &GPSWindowController::importFinished);
    QTest::mouseClick(button("importAllTracks"), Qt::LeftButton);
    FlightIntersectSheet* sheet = m_window->intersectSheet();
    ASSERT_TRUE(QTest::qWaitFor([sheet] { return sheet->isVisible(); }, kWaitMs));
    sheet->choose(OverlapChoice::Replace);
    ASSERT_TRUE(finished.wait(kWaitMs));

    const auto summary = finished.first().first().value<ImportSummary>();
    EXPECT_EQ(summary.imported.size(), 2);
    EXPECT_EQ(summary.replaced, 1);
    const QList<Flight*> flights = logbook.window->flightList();
    ASSERT_EQ(flights.size(), 2);
    for (Flight* flight : flights) {
        EXPECT_NE(flight->startLocation(), QStringLiteral("Old entry"));
        EXPECT_TRUE(flight->validIGC());
        EXPECT_FALSE(flight->igcData().isEmpty());
    }
    EXPECT_EQ(table("trackTable")->model()->index(1, 3).data().toString(), QStringLiteral("Main"));
    EXPECT_TRUE(m_interaction->alerts.isEmpty()) << m_interaction->alerts.join(QLatin1Char('\n')).toStdString();
    // Then scored by the logbook's XC queue.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QList<Flight*> now = logbook.window->flightList();
            return std::all_of(now.begin(), now.end(), [](Flight* f) { return f->freeDistance() >= 0; });
        },
        60000));
}

TEST_F(DeviceWindow, SeveralLogbooksAskWhichOneWithTheFirstPreselected)
{
    KALVORA_REQUIRE_TESTDATA();
    OpenLogBook& first = openLogBook(QStringLiteral("First"));
    OpenLogBook& second = openLogBook(QStringLiteral("Second"));
    plugIn(braeuniger(recordings({"marcourt.igc"})));
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(waitForTracks());

    QSignalSpy finished(m_window.get(), &GPSWindowController::importFinished);
    QTest::mouseClick(button("importAllTracks"), Qt::LeftButton);
    SelectLogBookSheet* choose = m_window->selectLogBookSheet();
    ASSERT_TRUE(choose->isVisible());
    ASSERT_EQ(choose->table()->rowCount(), 2);
    EXPECT_EQ(choose->table()->currentRow(), 0);
    EXPECT_TRUE(choose->okButton()->isEnabled());
    choose->table()->clearSelection();
    EXPECT_FALSE(choose->okButton()->isEnabled());
    choose->table()->selectRow(1);
    QTest::mouseClick(choose->okButton(), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(kWaitMs));
    EXPECT_TRUE(first.window->flightList().isEmpty());
    EXPECT_EQ(second.window->flightList().size(), 1);
}

TEST_F(DeviceWindow, ImportButtonsFollowTheOpenLogbooks)
{
    KALVORA_REQUIRE_TESTDATA();
    plugIn(braeuniger(recordings({"marcourt.igc"})));
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(waitForTracks());
    EXPECT_FALSE(button("importAllTracks")->isEnabled());
    QTest::mouseClick(button("importAllTracks"), Qt::LeftButton); // nothing to import into: nothing happens
    EXPECT_FALSE(m_window->selectLogBookSheet()->isVisible());

    openLogBook(QStringLiteral("Later"));
    NotificationCenter::instance().post(QString::fromLatin1(notifications::DocCountChanged));
    ASSERT_TRUE(QTest::qWaitFor([this] { return button("importAllTracks")->isEnabled(); }, kWaitMs));
}

TEST_F(DeviceWindow, ACutOffDownloadLeavesNoFlightAndKeepsTheFlightItWasToReplace)
{
    KALVORA_REQUIRE_TESTDATA();
    const auto files = recordings({"d3p.igc"});
    OpenLogBook& logbook = openLogBook(QStringLiteral("Main"));
    ASSERT_TRUE(saveOldEntry(logbook, instant(files[0].startUTC)));

    sim::SimulatorRunner& line = plugIn(braeuniger(files));
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(waitForTracks());
    ASSERT_TRUE(QTest::qWaitFor([this] { return stack("waypointTableStack")->currentIndex() == 2; }, kWaitMs));
    sim::LineOptions cut;
    cut.fault = sim::Fault::CutOff;
    line.setOptions(cut);

    QSignalSpy finished(m_window.get(), &GPSWindowController::importFinished);
    QTest::mouseClick(button("importAllTracks"), Qt::LeftButton);
    FlightIntersectSheet* sheet = m_window->intersectSheet();
    ASSERT_TRUE(QTest::qWaitFor([sheet] { return sheet->isVisible(); }, kWaitMs));
    sheet->choose(OverlapChoice::Replace);
    ASSERT_TRUE(finished.wait(kWaitMs));

    const QList<Flight*> flights = logbook.window->flightList();
    ASSERT_EQ(flights.size(), 1);
    EXPECT_EQ(flights.first()->startLocation(), QStringLiteral("Old entry"));
    ASSERT_EQ(m_interaction->alerts.size(), 1);
    EXPECT_TRUE(m_interaction->alerts.first().startsWith(QStringLiteral("The flight ")));
    EXPECT_TRUE(m_interaction->alerts.first().contains(QStringLiteral("is not a valid flight")));
}

TEST_F(DeviceWindow, ClosingTheLogbookDuringAnImportStopsIt)
{
    KALVORA_REQUIRE_TESTDATA();
    OpenLogBook& logbook = openLogBook(QStringLiteral("Main"));
    sim::SimulatorRunner& line = plugIn(braeuniger(recordings({"d3p.igc", "marcourt.igc"})));
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(waitForTracks());
    ASSERT_TRUE(QTest::qWaitFor([this] { return stack("waypointTableStack")->currentIndex() == 2; }, kWaitMs));
    sim::LineOptions slow;
    slow.baud = 19200; // the first download takes seconds
    line.setOptions(slow);

    QTest::mouseClick(button("importAllTracks"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_window->longTimeSheet()->isVisible(); }, kWaitMs));
    m_window->logBookClosing(logbook.window.get());
    EXPECT_FALSE(m_window->isBusy());
    EXPECT_FALSE(m_window->longTimeSheet()->isVisible());
    // The logbook may now go: nothing of the import touches it any more.
    logbook.window.reset();
    logbook.store.reset();
    m_logbooks.clear();
    QTest::qWait(200);
    EXPECT_TRUE(button("scanDevices")->isEnabled());
}

TEST_F(DeviceWindow, CancelDuringADownloadStopsTheImportAndKeepsWhatWasInserted)
{
    KALVORA_REQUIRE_TESTDATA();
    OpenLogBook& logbook = openLogBook(QStringLiteral("Main"));
    sim::SimulatorRunner& line = plugIn(braeuniger(recordings({"marcourt.igc", "d3p.igc"})));
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(waitForTracks());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_window->isBusy(); }, kWaitMs));
    QTest::qWait(500);
    sim::LineOptions slow;
    slow.baud = 38400; // the second track (108 KB) would take half a minute
    line.setOptions(slow);

    QSignalSpy finished(m_window.get(), &GPSWindowController::importFinished);
    QTest::mouseClick(button("importAllTracks"), Qt::LeftButton);
    LongTimeSheet* progress = m_window->longTimeSheet();
    ASSERT_TRUE(QTest::qWaitFor([&] { return logbook.window->flightList().size() == 1; }, kWaitMs));
    ASSERT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->title(), QStringLiteral("Importing track(s)..."));
    QTest::keyClick(progress, Qt::Key_Escape); // Escape cancels
    ASSERT_TRUE(finished.wait(10000));
    const auto summary = finished.first().first().value<ImportSummary>();
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.imported.size(), 1);
    EXPECT_EQ(logbook.window->flightList().size(), 1);
    EXPECT_TRUE(m_interaction->alerts.isEmpty()) << "a cancelled download is no invalid flight";
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(DeviceWindow, WaypointsImportWithTheDuplicateQuestionAndDeleteOnTheInstrument)
{
    auto sim = braeuniger({});
    plugIn(sim);
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(QTest::qWaitFor([this] { return stack("waypointTableStack")->currentIndex() == 2; }, kWaitMs));

    WaypointFileImport* import = m_window->waypointImport();
    QSignalSpy imported(import, &WaypointFileImport::finished);
    QTest::mouseClick(button("importAllWaypoints"), Qt::LeftButton);
    ASSERT_TRUE(imported.wait(kWaitMs));
    EXPECT_EQ(m_global->mainContext()->fetch<Waypoint>({}, {}).size(), 3);

    // Again: the same places are duplicates, and the question comes up.
    clickRow(table("waypointTable"), 0);
    QTest::mouseClick(button("importSelectedWaypoints"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([import] { return import->duplicateSheet()->isVisible(); }, kWaitMs));
    QTest::keyClick(import->duplicateSheet(), Qt::Key_Escape); // Escape cancels
    ASSERT_TRUE(imported.wait(kWaitMs));
    EXPECT_EQ(m_global->mainContext()->fetch<Waypoint>({}, {}).size(), 3);

    // Declined: nothing is deleted.
    QSignalSpy deleted(m_window.get(), &GPSWindowController::deleteFinished);
    m_interaction->agree = false;
    clickRow(table("waypointTable"), 1);
    QTest::mouseClick(button("deleteSelectedWaypoints"), Qt::LeftButton);
    EXPECT_EQ(m_interaction->warnings.size(), 1);
    EXPECT_EQ(sim->waypoints().size(), 3u);
    // Agreed: the chosen one goes, and the list is read again.
    m_interaction->agree = true;
    QTest::mouseClick(button("deleteSelectedWaypoints"), Qt::LeftButton);
    ASSERT_TRUE(deleted.wait(kWaitMs));
    EXPECT_TRUE(deleted.first().first().toString().isEmpty());
    EXPECT_EQ(m_interaction->warnings.last(),
              QStringLiteral("Delete waypoint(s) from device?\n\nThis can not be undone!"));
    EXPECT_EQ(sim->waypoints().size(), 2u);
    ASSERT_TRUE(QTest::qWaitFor([this] { return table("waypointTable")->model()->rowCount() == 2; }, kWaitMs));
}

TEST_F(DeviceWindow, RoutesImportIntoTheGlobalStoreAndDeleteWithAnErrorShown)
{
    auto sim = braeuniger({});
    sim::SimulatorRunner& line = plugIn(sim);
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(QTest::qWaitFor([this] { return stack("waypointTableStack")->currentIndex() == 2; }, kWaitMs));
    ASSERT_EQ(table("routeTable")->model()->rowCount(), 1);

    QSignalSpy imported(m_window.get(), &GPSWindowController::routesImported);
    QTest::mouseClick(button("importAllRoutes"), Qt::LeftButton);
    ASSERT_TRUE(imported.wait(kWaitMs));
    EXPECT_EQ(imported.first().first().toInt(), 1);
    const QList<Route*> routes = m_global->mainContext()->fetch<Route>({}, {});
    ASSERT_EQ(routes.size(), 1);
    EXPECT_EQ(routes.first()->name(), QStringLiteral("Task"));
    EXPECT_EQ(routes.first()->sortedWaypoints().size(), 3);

    // A silent instrument: the delete fails and says so.
    sim::LineOptions silent;
    silent.fault = sim::Fault::Silence;
    line.setOptions(silent);
    QSignalSpy deleted(m_window.get(), &GPSWindowController::deleteFinished);
    clickRow(table("routeTable"), 0);
    QTest::mouseClick(button("deleteSelectedRoutes"), Qt::LeftButton);
    ASSERT_TRUE(deleted.wait(kWaitMs));
    ASSERT_FALSE(deleted.first().first().toString().isEmpty());
    ASSERT_FALSE(m_interaction->alerts.isEmpty());
    EXPECT_TRUE(m_interaction->alerts.last().startsWith(QStringLiteral("Error deleting route(s)|")));
}

TEST_F(DeviceWindow, AScanThatMayNotOpenAPortSaysWhatToDo)
{
    const std::string port = "/dev/ttyUSB7";
    makeWindow();
    m_window->setScan([port](Devices&) {
        ScanResult result;
        result.problems.push_back(serialPermissionMessage(port));
        return result;
    });
    m_window->show();
    m_window->windowDidLoad();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_window->isScanning(); }, kWaitMs));
    auto* problems = control<QLabel>("accessProblems");
    EXPECT_TRUE(problems->isVisible());
    EXPECT_TRUE(problems->text().contains(QStringLiteral("You may not open the serial device /dev/ttyUSB7")));
    EXPECT_TRUE(problems->text().contains(QStringLiteral("udev rule")));
    EXPECT_EQ(control<QTableWidget>("deviceTable")->rowCount(), 0);
}

TEST_F(DeviceWindow, AnAdapterPluggedInWhileTheWindowIsOpenIsOffered)
{
    const QString adapter = m_dir.filePath(QStringLiteral("ttyUSB0"));
    qputenv("KALVORA_SERIAL_PORTS", QFile::encodeName(adapter)); // not there yet
    ASSERT_TRUE(loadAndScan());
    EXPECT_EQ(control<QTableWidget>("deviceTable")->rowCount(), 0);

    m_runners.push_back(std::make_unique<sim::SimulatorRunner>(braeuniger({})));
    ASSERT_TRUE(m_runners.back()->start());
    ASSERT_TRUE(m_runners.back()->linkTo(adapter.toStdString()));
    ASSERT_TRUE(QTest::qWaitFor([this] { return control<QTableWidget>("deviceTable")->rowCount() == 1; }, kWaitMs));
    EXPECT_EQ(m_window->device()->driverId(), "braeuniger");
}

TEST_F(DeviceWindow, ASkytraxxVolumeMountedWhileTheWindowIsOpenIsOffered)
{
    KALVORA_REQUIRE_TESTDATA();
    ASSERT_TRUE(loadAndScan());
    EXPECT_EQ(control<QTableWidget>("deviceTable")->rowCount(), 0);
    EXPECT_EQ(stack("trackTableStack")->currentIndex(), 0);

    const QString flights = m_dir.filePath(QStringLiteral("media/SKYTRAXX/FLIGHTS"));
    ASSERT_TRUE(QDir().mkpath(flights));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(testdataDir() + "/igc/marcourt.igc"),
                            flights + QStringLiteral("/marcourt.igc")));
    ASSERT_TRUE(QTest::qWaitFor([this] { return control<QTableWidget>("deviceTable")->rowCount() == 1; }, kWaitMs));
    ASSERT_TRUE(waitForTracks());
    EXPECT_EQ(table("trackTable")->model()->rowCount(), 1);
    EXPECT_EQ(m_window->device()->driverId(), "skytraxx");
    // The user was asked to confirm the volume's folder.
    ASSERT_EQ(m_interaction->volumes.size(), 1);
    EXPECT_TRUE(m_interaction->volumes.first().endsWith(QStringLiteral("media/SKYTRAXX")));

    // Declined, a scan finds no instrument.
    m_interaction->takeVolume = false;
    QTest::mouseClick(button("scanDevices"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_window->isScanning(); }, kWaitMs));
    EXPECT_EQ(m_interaction->volumes.size(), 2);
    EXPECT_EQ(control<QTableWidget>("deviceTable")->rowCount(), 0);
    // A volume offers no waypoints, routes or settings.
    EXPECT_EQ(stack("waypointTableStack")->currentIndex(), 0);
    EXPECT_EQ(stack("routeTableStack")->currentIndex(), 0);
}

} // namespace
} // namespace kalvora::test
