// The logbook window's import driven as a user would: drops, sheet answers, cancel.
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <sys/stat.h>

#include "logbook/xcqueue.h"
#include "services/httpclient.h"
#include "waypoints/placefinderlookup.h"
#include "logbookfixture.h"
#include "scriptedinteraction.h"
#include "ui/flightintersectsheet.h"
#include "ui/igcdrop.h"
#include "ui/logbookimport.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/longtimesheet.h"

namespace kalvora::test {
namespace {

constexpr int kWaitMs = 30000;

/**
 * A short synthetic flight on 1 June 2024: one fix a minute, flying north from
 * @p startS (seconds of the day) for @p durationS, climbing to leave the ground.
 */
QByteArray syntheticIGC(int startS, int durationS)
{
    QByteArray text = "AXXX001\r\nHFDTE010624\r\nHFGTYGLIDERTYPE:Test\r\n";
    const int fixes = durationS / 60 + 1;
    for (int i = 0; i < fixes; ++i) {
        const int t = startS + i * 60;
        const int lat = 4707000 + i * 324;
        const int alt = 1500 + (i % 20) * 10;
        text += QString::asprintf("B%02d%02d%02d%07dN01122000EA%05d%05d\r\n", t / 3600, t % 3600 / 60, t % 60, lat,
                                  alt, alt)
                    .toLatin1();
    }
    return text;
}

class ImportWindowTest : public LogbookTest
{
protected:
    void SetUp() override
    {
        LogbookTest::SetUp();
        m_window = std::make_unique<LogBookWindowController>(ctx());
        m_window->windowDidLoad({});
        m_window->show();
    }

    void TearDown() override
    {
        m_window.reset();
        LogbookTest::TearDown();
    }

    QString writeIGC(const QString& name, int startS, int durationS)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(syntheticIGC(startS, durationS));
        return path;
    }

    /** Sends a drop of @p paths to the window; true when the window took it. */
    bool drop(const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const QPoint inside(20, 20);
        QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropEvent(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &dropEvent);
        return dropEvent.isAccepted();
    }

    /** Runs an import of @p paths to its end, answering each overlap sheet with @p answer. */
    ImportSummary importAnswering(const QStringList& paths, std::optional<OverlapChoice> answer, bool applyToAll = false,
                                  int* asked = nullptr)
    {
        LogBookImport* import = m_window->logBookImport();
        QSignalSpy finished(import, &LogBookImport::importFinished);
        FlightIntersectSheet* sheet = import->intersectSheet();
        int questions = 0;
        EXPECT_TRUE(drop(paths));
        const bool ended = QTest::qWaitFor(
            [&] {
                if (sheet->isVisible() && answer) {
                    ++questions;
                    sheet->setApplyToAll(applyToAll);
                    sheet->choose(*answer);
                }
                return !finished.isEmpty();
            },
            kWaitMs);
        EXPECT_TRUE(ended) << "import did not finish";
        if (asked)
            *asked = questions;
        return finished.isEmpty() ? ImportSummary{} : finished.first().first().value<ImportSummary>();
    }

    std::unique_ptr<LogBookWindowController> m_window;
};

TEST(IGCDrop, OnlyFilesEndingInIGCAreTaken)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("folder.igc"));
    const auto local = [&dir](const char* name) { return QUrl::fromLocalFile(dir.filePath(QLatin1String(name))); };
    const struct
    {
        QList<QUrl> urls;
        bool taken;
    } cases[] = {
        {{local("a.igc")}, true},
        {{local("FLIGHT.IGC"), local("b.Igc")}, true},
        {{local("a.igc"), local("notes.txt")}, false},
        {{local("folder.igc")}, false},
        {{local("igc")}, false},
        {{QUrl(QStringLiteral("https://example.org/a.igc"))}, false},
        {{}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(igcFilesFromUrls(c.urls).has_value(), c.taken) << c.urls.value(0).toString().toStdString();
}

TEST_F(ImportWindowTest, DroppedFilesBecomeSelectedFlightsShowingCalcUntilScored)
{
    const QStringList files = {writeIGC(QStringLiteral("one.igc"), 10 * 3600, 1800),
                               writeIGC(QStringLiteral("TWO.IGC"), 13 * 3600, 1800)};
    LogBookImport* import = m_window->logBookImport();
    const ImportSummary summary = importAnswering(files, std::nullopt);
    EXPECT_EQ(summary.imported.size(), 2);
    EXPECT_FALSE(import->longTimeSheet()->isVisible());
    EXPECT_EQ(import->longTimeSheet()->title(), QStringLiteral("Importing track(s)..."));
    ASSERT_EQ(m_window->flightList().size(), 2);
    EXPECT_EQ(m_window->selectedFlights().size(), 2) << "the new flights are selected";

    // Scores arrive from the queue; until then the list says "calc".
    XCQueue& queue = import->calcXCDataQueue();
    EXPECT_TRUE(QTest::qWaitFor([&queue] { return queue.isIdle(); }, kWaitMs));
    for (Flight* flight : m_window->flightList())
        EXPECT_GE(flight->freeDistance(), 0) << "scored";
}

TEST_F(ImportWindowTest, DropWithAForeignFileIsRefused)
{
    const QString text = m_dir.filePath(QStringLiteral("notes.txt"));
    QFile(text).open(QIODevice::WriteOnly);
    EXPECT_FALSE(drop({writeIGC(QStringLiteral("a.igc"), 10 * 3600, 1800), text}));
    QTest::qWait(50);
    EXPECT_FALSE(m_window->logBookImport()->importer().isRunning());
    EXPECT_TRUE(m_window->flightList().isEmpty());
}

TEST_F(ImportWindowTest, SkipForAllAsksOnceAndImportsTheRest)
{
    importAnswering({writeIGC(QStringLiteral("a.igc"), 10 * 3600, 1800),
                     writeIGC(QStringLiteral("b.igc"), 13 * 3600, 1800)},
                    std::nullopt);
    ASSERT_EQ(m_window->flightList().size(), 2);

    int asked = 0;
    const ImportSummary summary = importAnswering({writeIGC(QStringLiteral("a2.igc"), 10 * 3600 + 600, 1800),
                                                   writeIGC(QStringLiteral("b2.igc"), 13 * 3600 + 600, 1800),
                                                   writeIGC(QStringLiteral("c.igc"), 16 * 3600, 1800)},
                                                  OverlapChoice::Skip, true, &asked);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(summary.skipped.size(), 2);
    EXPECT_EQ(summary.imported.size(), 1);
    EXPECT_EQ(m_window->flightList().size(), 3);
    ASSERT_EQ(m_window->selectedFlights().size(), 1);
}

TEST_F(ImportWindowTest, ReplaceDeletesTheOldFlightAfterTheImport)
{
    importAnswering({writeIGC(QStringLiteral("a.igc"), 10 * 3600, 1800)}, std::nullopt);
    ASSERT_EQ(m_window->flightList().size(), 1);
    Flight* old = m_window->flightList().first();
    const ObjectId oldId = old->objectId();
    const QString oldFlightTime = old->flightTimeString();

    LogBookImport* import = m_window->logBookImport();
    FlightIntersectSheet* sheet = import->intersectSheet();
    int asked = 0;
    const ImportSummary summary =
        importAnswering({writeIGC(QStringLiteral("a2.igc"), 10 * 3600 + 300, 3600)}, OverlapChoice::Replace, false, &asked);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(summary.replaced, 1);
    ASSERT_EQ(m_window->flightList().size(), 1);
    EXPECT_NE(m_window->flightList().first()->objectId(), oldId);
    EXPECT_EQ(ctx()->existingObject(oldId), nullptr);
    EXPECT_EQ(m_window->selectedFlights(), m_window->flightList());
    // A start and a duration, not something that reads like a range.
    EXPECT_TRUE(sheet->oldFlightText().endsWith(QStringLiteral(" UTC, lasting ") + oldFlightTime))
        << sheet->oldFlightText().toStdString();
    EXPECT_TRUE(sheet->newFlightText().endsWith(QStringLiteral(" UTC, lasting 01:00:00")))
        << sheet->newFlightText().toStdString();
    EXPECT_TRUE(sheet->questionText().contains(QStringLiteral("\"a2.igc\""))) << "the file is named";
    auto* skip = sheet->findChild<QPushButton*>(QStringLiteral("skip"));
    auto* importAsWell = sheet->findChild<QPushButton*>(QStringLiteral("importAsWell"));
    ASSERT_TRUE(skip && importAsWell);
    EXPECT_TRUE(skip->isDefault()) << "Enter skips rather than making a duplicate";
    EXPECT_FALSE(importAsWell->isDefault());
    EXPECT_FALSE(importAsWell->autoDefault());
}

TEST_F(ImportWindowTest, CancelInTheOverlapSheetImportsNothing)
{
    importAnswering({writeIGC(QStringLiteral("a.igc"), 10 * 3600, 1800)}, std::nullopt);
    const ImportSummary summary = importAnswering({writeIGC(QStringLiteral("x.igc"), 8 * 3600, 1800),
                                                   writeIGC(QStringLiteral("a2.igc"), 10 * 3600 + 300, 1800),
                                                   writeIGC(QStringLiteral("y.igc"), 15 * 3600, 1800)},
                                                  OverlapChoice::Cancel);
    EXPECT_TRUE(summary.cancelled);
    EXPECT_TRUE(summary.imported.isEmpty());
    EXPECT_EQ(m_window->flightList().size(), 1);
}

TEST_F(ImportWindowTest, CancelOnTheProgressSheetStopsBeforeTheNextFile)
{
    LogBookImport* import = m_window->logBookImport();
    // Pressed as soon as the sheet is up, before the worker makes the first flight.
    QObject::connect(&import->importer(), &FlightImporter::progressStarted, import->longTimeSheet(),
                     &LongTimeSheet::cancel, Qt::DirectConnection);
    QStringList files;
    for (int i = 0; i < 4; ++i)
        files << writeIGC(QStringLiteral("f%1.igc").arg(i), (8 + 2 * i) * 3600, 1800);
    const ImportSummary summary = importAnswering(files, std::nullopt);
    EXPECT_TRUE(summary.stopped);
    EXPECT_TRUE(summary.imported.isEmpty());
    EXPECT_EQ(summary.skipped, files);
    EXPECT_TRUE(m_window->flightList().isEmpty());
    EXPECT_FALSE(import->longTimeSheet()->isVisible());
}

TEST_F(ImportWindowTest, FilesWithoutFlightsAreNamedInOneAlertAndTheOthersGoOn)
{
    // Fixes that never move: a track summary, but no take-off and so no flight.
    QByteArray still = "AXXX001\r\nHFDTE010624\r\n";
    for (int i = 0; i < 30; ++i)
        still += QString::asprintf("B10%02d00%07dN01122000EA%05d%05d\r\n", i, 4707000, 1500, 1500).toLatin1();
    const QString stillPath = m_dir.filePath(QStringLiteral("still.igc"));
    QFile file(stillPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(still);
    file.close();

    const QString notIGC = m_dir.filePath(QStringLiteral("notes.igc"));
    QFile text(notIGC);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("shopping list\n");
    text.close();

    auto interaction = std::make_shared<ScriptedInteraction>();
    m_window->setInteraction(interaction);
    const ImportSummary summary = importAnswering(
        {stillPath, notIGC, writeIGC(QStringLiteral("good.igc"), 12 * 3600, 1800)}, std::nullopt);
    EXPECT_EQ(summary.imported.size(), 1);
    ASSERT_EQ(summary.failed.size(), 2);
    ASSERT_EQ(interaction->alerts.size(), 1) << "one alert for the run, not one per file";
    const QString alert = interaction->alerts.first();
    EXPECT_TRUE(alert.startsWith(QStringLiteral("2 files could not be imported|"))) << alert.toStdString();
    for (const ImportFileFailure& failure : summary.failed)
        EXPECT_TRUE(alert.contains(QFileInfo(failure.path).fileName() + QStringLiteral(": ") + failure.reason))
            << alert.toStdString();
    EXPECT_EQ(m_window->flightList().size(), 1);
}

TEST_F(ImportWindowTest, FlightsThePlaceFinderCouldNotNameAreSaidToHaveNoPlaces)
{
    // Nothing listens on port 1: every look-up goes unanswered, and the offset comes from the zone database.
    const PlaceFinderLookup deadFinder(defaultHttpClient(), QUrl(QStringLiteral("http://127.0.0.1:1/")), QUrl());
    m_window->setImportServices({.placeFinder = &deadFinder});
    auto interaction = std::make_shared<ScriptedInteraction>();
    m_window->setInteraction(interaction);

    const ImportSummary summary =
        importAnswering({writeIGC(QStringLiteral("nameless.igc"), 12 * 3600, 1800)}, std::nullopt);
    ASSERT_EQ(summary.imported.size(), 1);
    ASSERT_EQ(summary.placesMissing.size(), 1);
    ASSERT_EQ(interaction->alerts.size(), 1);
    const QString alert = interaction->alerts.first();
    EXPECT_TRUE(alert.startsWith(QStringLiteral("1 flight(s) imported without places|"))) << alert.toStdString();
    EXPECT_TRUE(alert.contains(QStringLiteral("nameless.igc"))) << alert.toStdString();
    EXPECT_EQ(m_window->flightList().size(), 1);
}

TEST_F(ImportWindowTest, ScoresThatCannotBeSavedAreSaidInOneAlert)
{
    // The store refuses every score as a full disk would.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fulldisk"));
        db.setDatabaseName(m_dir.filePath(QStringLiteral("test.kalvora")));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER fullDisk BEFORE UPDATE OF \"freeDistance\" ON \"Flight\" "
                                          "WHEN NEW.\"freeDistance\" >= 0 BEGIN SELECT RAISE(ABORT, "
                                          "'database or disk is full'); END")))
            << q.lastError().text().toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fulldisk"));
    auto interaction = std::make_shared<ScriptedInteraction>();
    m_window->setInteraction(interaction);

    const ImportSummary summary = importAnswering({writeIGC(QStringLiteral("a.igc"), 10 * 3600, 1800),
                                                   writeIGC(QStringLiteral("b.igc"), 14 * 3600, 1800)},
                                                  std::nullopt);
    ASSERT_EQ(summary.imported.size(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !interaction->alerts.isEmpty(); }, kWaitMs));
    QTest::qWait(200);
    ASSERT_EQ(interaction->alerts.size(), 1) << interaction->alerts.join(QLatin1Char('\n')).toStdString();
    const QString alert = interaction->alerts.first();
    EXPECT_TRUE(alert.contains(QStringLiteral("could not be saved"))) << alert.toStdString();
    EXPECT_TRUE(alert.contains(QStringLiteral("disk is full"))) << alert.toStdString();
}

TEST_F(ImportWindowTest, ALogbookThatCannotBeWrittenIsSaidAndKeepsNoFlight)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("noinsert"));
        db.setDatabaseName(m_dir.filePath(QStringLiteral("test.kalvora")));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER fullDisk BEFORE INSERT ON \"Flight\" "
                                          "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END")))
            << q.lastError().text().toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("noinsert"));
    auto interaction = std::make_shared<ScriptedInteraction>();
    m_window->setInteraction(interaction);

    const ImportSummary summary =
        importAnswering({writeIGC(QStringLiteral("unwritten.igc"), 10 * 3600, 1800)}, std::nullopt);
    EXPECT_TRUE(summary.imported.isEmpty());
    ASSERT_EQ(summary.failed.size(), 1);
    ASSERT_EQ(interaction->alerts.size(), 1);
    const QString alert = interaction->alerts.first();
    EXPECT_TRUE(alert.contains(QStringLiteral("unwritten.igc: The store could not be saved (database or disk is full)"))) << alert.toStdString();
    EXPECT_TRUE(m_window->flightList().isEmpty());
}

TEST_F(ImportWindowTest, ADroppedPipeOrDeviceDoesNotHoldUpTheWindow)
{
    // Named like recordings, so the drop takes them; reading them waited for a
    // writer for ever (the pipe) or until memory ran out (the device).
    const QString pipe = m_dir.filePath(QStringLiteral("pipe.igc"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString zero = m_dir.filePath(QStringLiteral("zero.igc"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    const QString good = writeIGC(QStringLiteral("good.igc"), 12 * 3600, 1800);
    const ImportSummary summary = importAnswering({pipe, zero, good}, std::nullopt);
    EXPECT_EQ(summary.imported, QStringList{good});
    ASSERT_EQ(summary.failed.size(), 2);
    EXPECT_EQ(summary.failed[0].path, pipe);
    EXPECT_EQ(summary.failed[1].path, zero);
    EXPECT_EQ(m_window->flightList().size(), 1);
}

TEST_F(ImportWindowTest, RecalcRecomputesTheSelectedFlights)
{
    importAnswering({writeIGC(QStringLiteral("a.igc"), 10 * 3600, 1800)}, std::nullopt);
    XCQueue& queue = m_window->logBookImport()->calcXCDataQueue();
    ASSERT_TRUE(QTest::qWaitFor([&queue] { return queue.isIdle(); }, kWaitMs));
    Flight* flight = m_window->flightList().first();
    const double scored = flight->freeDistance();
    flight->setStartLocation(QStringLiteral("Edited"));
    m_window->selectFlights({flight});
    auto interaction = std::make_shared<ScriptedInteraction>();
    m_window->setInteraction(interaction);

    // Declined: what was set by hand stays.
    interaction->confirm = false;
    m_window->logBookImport()->recalcFlight();
    EXPECT_EQ(interaction->asked, QStringList{QStringLiteral("recalculate 1")});
    EXPECT_EQ(flight->startLocation(), QStringLiteral("Edited"));

    interaction->confirm = true;
    QSignalSpy recalculated(&m_window->logBookImport()->importer(), &FlightImporter::recalcFinished);
    m_window->logBookImport()->recalcFlight();
    ASSERT_TRUE(recalculated.wait(kWaitMs));
    EXPECT_EQ(recalculated.first().first().toInt(), 1);
    EXPECT_NE(flight->startLocation(), QStringLiteral("Edited")) << "overwritten from the IGC record";
    ASSERT_TRUE(QTest::qWaitFor([&queue] { return queue.isIdle(); }, kWaitMs));
    EXPECT_DOUBLE_EQ(flight->freeDistance(), scored);
}

} // namespace
} // namespace kalvora::test
