#include "logbook/flightimporter.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "logbook/flightdata.h"
#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "model/igcscorepoint.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "services/httpclient.h"
#include "support/httpserver.h"
#include "support/testdata.h"
#include "waypoints/placefinderlookup.h"
#include "track/igcflight.h"

using namespace kalvora;

namespace {

/**
 * A synthetic track on 1 June 2024: one fix a minute, flying north at 36 km/h
 * from START (seconds of the day) for DURATION seconds. Few fixes keep the
 * scoring quick.
 */
QByteArray syntheticIGC(int startS, int durationS)
{
    QByteArray text = "AXXX001\r\nHFDTE010624\r\nHFGTYGLIDERTYPE:Test\r\n";
    const int fixes = durationS / 60 + 1;
    for (int i = 0; i < fixes; ++i) {
        const int t = startS + i * 60;
        const int lat = 4707000 + i * 324; // thousandths of minutes; 324 a minute is 600 m
        text += QString::asprintf("B%02d%02d%02d%07dN01122000EA%05d%05d\r\n", t / 3600, t % 3600 / 60, t % 60, lat,
                                  1500 + i % 200, 1500 + i % 200)
                    .toLatin1();
    }
    return text;
}

int hm(int hours, int minutes = 0)
{
    return hours * 3600 + minutes * 60;
}

/** Answers from a script, at once or later from the event loop, and records what it was asked. */
class ScriptedQuestion final : public OverlapQuestion
{
public:
    QList<OverlapAnswer> answers;
    bool later = false;
    QList<OverlapConflict> asked;

    void ask(const OverlapConflict& conflict, std::function<void(OverlapAnswer)> reply) override
    {
        asked.append(conflict);
        const OverlapAnswer answer = answers.value(asked.size() - 1, {OverlapChoice::Cancel, false});
        if (later)
            QTimer::singleShot(0, [reply, answer] { reply(answer); });
        else
            reply(answer);
    }
};

class Importing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        openLogbook();
    }

    void openLogbook()
    {
        auto store = PersistentStore::open(m_dir.filePath("test.kalvora"), ObjectModel::logBook());
        ASSERT_TRUE(store.ok()) << store.error();
        m_logbook = std::move(*store);
        m_queue = std::make_unique<XCQueue>(*m_logbook);
        m_importer = std::make_unique<FlightImporter>(*m_logbook, *m_queue, m_question, ImportServices{});
    }

    void closeLogbook()
    {
        m_importer.reset();
        m_queue.reset();
        m_logbook.reset();
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    /** Runs one import to its end, scoring included. */
    ImportSummary import(const QStringList& paths, const std::function<void()>& onFirstInsert = {})
    {
        ImportSummary summary;
        QEventLoop loop;
        bool done = false;
        QObject::connect(m_importer.get(), &FlightImporter::finished, &loop, [&](const ImportSummary& s) {
            summary = s;
            done = true;
            if (m_queue->isIdle())
                loop.quit();
        });
        QObject::connect(m_queue.get(), &XCQueue::idle, &loop, [&] {
            if (done)
                loop.quit();
        });
        bool first = true;
        QObject::connect(m_importer.get(), &FlightImporter::flightInserted, &loop, [&] {
            if (first && onFirstInsert)
                onFirstInsert();
            first = false;
        });
        QTimer::singleShot(240000, &loop, [&] {
            ADD_FAILURE() << "import did not finish";
            loop.quit();
        });
        EXPECT_TRUE(m_importer->start(paths));
        loop.exec();
        return summary;
    }

    void waitUntilIdle()
    {
        if (m_queue->isIdle())
            return;
        QEventLoop loop;
        QObject::connect(m_queue.get(), &XCQueue::idle, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
    }

    QList<Flight*> flights()
    {
        return m_logbook->mainContext()->fetch<Flight>({}, {SortDescriptor{QStringLiteral("startUTC")}});
    }

    QTemporaryDir m_dir;
    ScriptedQuestion m_question;
    std::unique_ptr<PersistentStore> m_logbook;
    std::unique_ptr<XCQueue> m_queue;
    std::unique_ptr<FlightImporter> m_importer;
};

TEST_F(Importing, RecordingsBecomeScoredFlightsWithTheAnalysisValues)
{
    KALVORA_REQUIRE_TESTDATA();
    // The small recordings; the command-line tests import all sixteen.
    QStringList paths;
    for (const char* name : {"marcourt.igc", "d3p.igc", "flat-xcontest-8.01.igc", "tri.igc"})
        paths.append(QString::fromStdString(test::igcPath(name)));

    const ImportSummary summary = import(paths);
    EXPECT_EQ(summary.imported, paths);
    EXPECT_TRUE(summary.failed.isEmpty());
    EXPECT_TRUE(m_question.asked.isEmpty());
    ASSERT_EQ(summary.newFlights.size(), paths.size());

    for (qsizetype i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i].toStdString());
        auto* flight = qobject_cast<Flight*>(m_logbook->mainContext()->existingObject(summary.newFlights[i]));
        ASSERT_NE(flight, nullptr);
        const QByteArray bytes = QByteArray::fromStdString(test::readFile(paths[i].toStdString()));
        const auto analysed = IGCFlight::flightFromIGC(std::string_view(bytes.constData(), bytes.size()), 0, true);
        ASSERT_TRUE(analysed.has_value());
        EXPECT_EQ(flight->igcData().toLatin1(), bytes);
        EXPECT_EQ(flight->startUTC().toSecsSinceEpoch(), analysed->startUTC()->time_since_epoch().count());
        EXPECT_EQ(flight->landingUTC().toSecsSinceEpoch(), analysed->landingUTC()->time_since_epoch().count());
        EXPECT_EQ(flight->maxAltitude(), analysed->MAX_ALT);
        EXPECT_EQ(flight->cummoAltitude(), analysed->CUMMO_ALT);
        EXPECT_EQ(flight->minSpeed(), analysed->MEAN_SPEED);
        EXPECT_EQ(flight->validIGC(), analysed->validFlight);

        const auto scored = scoreIGC(flight->igcData(), 0);
        ASSERT_NE(scored, nullptr);
        EXPECT_EQ(flight->freeDistance(), scored->freeDistance);
        EXPECT_EQ(flight->flatDistance(), scored->flatDistance);
        EXPECT_EQ(flight->faiDistance(), scored->faiDistance);
        EXPECT_GE(flight->freeDistance(), 0);
        EXPECT_EQ(flight->igcScorePoints().size(), static_cast<qsizetype>(scored->scorePoints.size()));
    }
}

TEST_F(Importing, OverlapAnswersDecideWhatIsImportedAndDeleted)
{
    // The logbook holds 10:00-11:00 and 14:00-15:00.
    const QString morning = writeFile("morning.igc", syntheticIGC(hm(10), 3600));
    const QString afternoon = writeFile("afternoon.igc", syntheticIGC(hm(14), 3600));
    ASSERT_EQ(import({morning, afternoon}).imported.size(), 2);
    const ObjectId oldMorning = flights()[0]->objectId();

    const QString touching = writeFile("touching.igc", syntheticIGC(hm(9), 3600)); // ends at 10:00 exactly
    const QString overMorning = writeFile("over-morning.igc", syntheticIGC(hm(10, 30), 1800));
    const QString free = writeFile("free.igc", syntheticIGC(hm(12), 1800));
    const QString overAfternoon = writeFile("over-afternoon.igc", syntheticIGC(hm(14, 30), 1800));

    struct Case
    {
        const char* name;
        QList<OverlapAnswer> answers;
        bool later;
        int questions;
        QStringList imported;
        int replaced;
        bool cancelled;
    };
    const Case cases[] = {
        {"Skip", {{OverlapChoice::Skip, false}, {OverlapChoice::Skip, false}}, false, 2, {touching, free}, 0, false},
        {"SkipForAll", {{OverlapChoice::Skip, true}}, true, 1, {touching, free}, 0, false},
        {"CancelOnSecondConflict", {{OverlapChoice::ImportAsWell, false}, {OverlapChoice::Cancel, false}}, true, 2, {}, 0,
         true},
        {"ImportAsWellForAll", {{OverlapChoice::ImportAsWell, true}}, false, 1,
         {touching, overMorning, free, overAfternoon}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qsizetype before = flights().size();
        m_question.asked.clear();
        m_question.answers = c.answers;
        m_question.later = c.later;
        const ImportSummary summary = import({touching, overMorning, free, overAfternoon});
        EXPECT_EQ(m_question.asked.size(), c.questions);
        EXPECT_EQ(summary.imported, c.imported);
        EXPECT_EQ(summary.replaced, c.replaced);
        EXPECT_EQ(summary.cancelled, c.cancelled);
        EXPECT_EQ(flights().size(), before + c.imported.size());
        // Undo this case's flights so that each case meets the same logbook.
        QList<Flight*> added;
        for (const ObjectId& id : summary.newFlights)
            added.append(qobject_cast<Flight*>(m_logbook->mainContext()->existingObject(id)));
        m_importer->removeIntersectFlights(added);
    }
    ASSERT_FALSE(m_question.asked.isEmpty());
    EXPECT_EQ(m_question.asked.front().path, overMorning);
    EXPECT_EQ(m_question.asked.front().flight, oldMorning);
    EXPECT_EQ(m_question.asked.front().fileFlightTimeS, 1800);
}

TEST_F(Importing, ReplacedFlightIsDeletedOnlyAfterItsReplacementWasInserted)
{
    const QString old = writeFile("old.igc", syntheticIGC(hm(10), 3600));
    ASSERT_EQ(import({old}).imported.size(), 1);
    const ObjectId oldId = flights()[0]->objectId();

    m_question.answers = {{OverlapChoice::Replace, false}};
    bool oldPresentAtInsert = false;
    const QString replacement = writeFile("new.igc", syntheticIGC(hm(10, 15), 3600));
    const ImportSummary summary = import({replacement}, [&] {
        oldPresentAtInsert = m_logbook->mainContext()->existingObject(oldId) != nullptr;
        EXPECT_EQ(flights().size(), 2);
    });
    EXPECT_TRUE(oldPresentAtInsert);
    EXPECT_EQ(summary.replaced, 1);
    ASSERT_EQ(flights().size(), 1);
    EXPECT_EQ(flights()[0]->objectId(), summary.newFlights.value(0));
    EXPECT_EQ(m_logbook->mainContext()->existingObject(oldId), nullptr);
}

TEST_F(Importing, AReplacementThatYieldsNoFlightKeepsTheOldFlight)
{
    const QString old = writeFile("old.igc", syntheticIGC(hm(10), 3600));
    ASSERT_EQ(import({old}).imported.size(), 1);

    // A date, a first and a last fix make a track summary, but too few lines for a flight.
    const QString broken = writeFile("broken.igc", "HFDTE010624\r\nB1015004707000N01122000EA0150001500\r\n"
                                                   "B1045004707540N01122000EA0150001500\r\n");
    m_question.answers = {{OverlapChoice::Replace, false}};
    QStringList alerts;
    QObject::connect(m_importer.get(), &FlightImporter::fileFailed, [&](const QString& path) { alerts.append(path); });
    const ImportSummary summary = import({broken});
    EXPECT_EQ(alerts, QStringList{broken});
    ASSERT_EQ(summary.failed.size(), 1);
    EXPECT_EQ(summary.replaced, 0);
    EXPECT_EQ(flights().size(), 1);
}

TEST_F(Importing, UnreadableFilesAreReportedAndTheRestImported)
{
    const QString good = writeFile("good.igc", syntheticIGC(hm(10), 1800));
    const QString text = writeFile("notes.igc", "just some notes\n");
    const QString empty = writeFile("empty.igc", "");
    const QString binary = writeFile("binary.igc", QByteArray("\x00\xff\xfe\x01HFDTE\x80", 11));
    const ImportSummary summary = import({good, text, m_dir.filePath("missing.igc"), empty, binary, m_dir.path()});
    EXPECT_EQ(summary.imported, QStringList{good});
    EXPECT_EQ(summary.failed.size(), 5);
    for (const ImportFileFailure& failure : summary.failed)
        EXPECT_FALSE(failure.reason.isEmpty());
}

TEST_F(Importing, SpecialFilesAreRefusedWithoutWaitingOrReadingWithoutEnd)
{
    // The window's import takes this path too: a FIFO named like a recording
    // waited for a writer for ever, /dev/zero read until memory ran out.
    const QString good = writeFile("good.igc", syntheticIGC(hm(10), 1800));
    const QString pipe = m_dir.filePath("pipe.igc");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString zero = m_dir.filePath("zero.igc");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    const ImportSummary summary = import({pipe, zero, good});
    EXPECT_EQ(summary.imported, QStringList{good});
    ASSERT_EQ(summary.failed.size(), 2);
    for (const ImportFileFailure& failure : summary.failed)
        EXPECT_TRUE(failure.reason.contains(QStringLiteral("not a regular file"))) << failure.reason.toStdString();
}

TEST_F(Importing, CancellingTheProgressKeepsWhatWasWrittenAndStopsBeforeTheNextFile)
{
    // Place look-ups are spaced a second apart, so each file takes the worker
    // at least that long: the cancel pressed at the first new flight is seen
    // before the second file is written.
    const QUrl closed = test::LocalHttpServer::closedPortUrl();
    PlaceFinderLookup places(defaultHttpClient(), closed, closed);
    m_importer = std::make_unique<FlightImporter>(*m_logbook, *m_queue, m_question, ImportServices{&places, nullptr});
    QStringList paths;
    for (int i = 0; i < 6; ++i)
        paths.append(writeFile(QStringLiteral("f%1.igc").arg(i), syntheticIGC(hm(8 + i), 1800)));
    const ImportSummary summary = import(paths, [&] { m_importer->cancel(); });
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.imported, QStringList{paths.first()});
    EXPECT_EQ(summary.skipped, paths.mid(1));
    ASSERT_EQ(flights().size(), 1);
    EXPECT_EQ(summary.newFlights, QList<ObjectId>{flights().first()->objectId()});
    // The flight written before the cancel is scored like any other.
    EXPECT_GE(flights().first()->freeDistance(), 0);
}

TEST_F(Importing, AnInterruptedScoringIsQueuedAgainWhenTheLogbookOpens)
{
    const QString path = writeFile("a.igc", syntheticIGC(hm(10), 3600));
    ASSERT_EQ(import({path}).imported.size(), 1);
    // As if the program had stopped while the flight was being scored.
    flights()[0]->setFreeDistance(-2);
    flights()[0]->setFlatDistance(-1);
    ASSERT_TRUE(m_logbook->mainContext()->save().ok());
    closeLogbook();

    openLogbook();
    ASSERT_EQ(flights().size(), 1);
    EXPECT_EQ(flights()[0]->freeDistance(), -2);
    EXPECT_EQ(m_queue->requeueUnscored(), 1);
    waitUntilIdle();
    EXPECT_GE(flights()[0]->freeDistance(), 0);
    closeLogbook();

    openLogbook();
    EXPECT_GE(flights()[0]->freeDistance(), 0); // the result was saved
    EXPECT_EQ(m_queue->requeueUnscored(), 0);
}

TEST_F(Importing, AResultForADeletedFlightIsDropped)
{
    const QString path = writeFile("a.igc", syntheticIGC(hm(10), 3600));
    ASSERT_EQ(import({path}).imported.size(), 1);
    Flight* flight = flights()[0];
    bool dropped = false;
    QObject::connect(m_queue.get(), &XCQueue::flightNotScored, [&] { dropped = true; });
    m_queue->startCalcXCOperation(flight);
    m_importer->removeIntersectFlights({flight});
    waitUntilIdle();
    EXPECT_TRUE(dropped);
    EXPECT_TRUE(flights().isEmpty());
    EXPECT_TRUE(m_logbook->mainContext()->fetch<IGCScorePoint>().isEmpty());
}

TEST_F(Importing, RecalcOverwritesFromTheRecordAndScoresAgain)
{
    const QString path = writeFile("a.igc", syntheticIGC(hm(10), 3600));
    ASSERT_EQ(import({path}).imported.size(), 1);
    Flight* flight = flights()[0];
    const double maxAltitude = flight->maxAltitude();
    flight->setMaxAltitude(1);
    flight->setStartLocation(QStringLiteral("typed by hand"));
    ASSERT_TRUE(m_logbook->mainContext()->save().ok());

    QEventLoop loop;
    int updated = -1;
    QObject::connect(m_importer.get(), &FlightImporter::recalcFinished, &loop, [&](int n) {
        updated = n;
        loop.quit();
    });
    ASSERT_TRUE(m_importer->recalcFlights({flight}));
    loop.exec();
    waitUntilIdle();
    EXPECT_EQ(updated, 1);
    EXPECT_EQ(flight->maxAltitude(), maxAltitude);
    EXPECT_TRUE(flight->startLocation().isEmpty());
    EXPECT_GE(flight->freeDistance(), 0);
}

TEST(DurationString, WritesHoursMinutesSeconds)
{
    EXPECT_EQ(durationString(0), "00:00:00");
    EXPECT_EQ(durationString(3723), "01:02:03");
    EXPECT_EQ(durationString(90000), "25:00:00");
    EXPECT_EQ(durationString(-61), "-00:01:01");
}

} // namespace
