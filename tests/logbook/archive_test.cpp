// A whole archive brought in: folders, identical recordings, resuming, and the
// place answers kept between runs.
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "logbook/flightimporter.h"
#include "logbook/igcfolder.h"
#include "logbook/logbookbackups.h"
#include "logbook/placecache.h"
#include "logbook/remainingtime.h"
#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "services/httpclient.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "support/httpserver.h"
#include "support/igcarchive.h"
#include "track/placefinder.h"
#include "waypoints/placeanswercache.h"
#include "waypoints/placefinderlookup.h"

using namespace kalvora;

namespace {

TEST(IGCFolder, FindsRecordingsInEveryFolderWhateverTheCaseOfTheExtension)
{
    QTemporaryDir dir;
    const test::Archive archive = test::makeArchive(dir.path(), 12, 3, 4);
    // Hidden files (resource forks left by other systems) and other files are no recordings.
    QFile hidden(dir.filePath("2010/._flight-0000.igc"));
    ASSERT_TRUE(hidden.open(QIODevice::WriteOnly));
    hidden.write("\0\0", 2);
    hidden.close();
    QDir(dir.path()).mkpath("empty/deeper");

    const QStringList found = igcFilesInFolder(dir.path());
    QStringList expected = archive.recordings + archive.copies;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
    EXPECT_TRUE(igcFilesInFolder(dir.filePath("empty")).isEmpty());
    EXPECT_TRUE(igcFilesInFolder(dir.filePath("missing")).isEmpty());

    // A file named beside its own folder counts once; files keep their place in front.
    const QStringList mixed = expandIGCFolders({archive.recordings[5], dir.path()});
    EXPECT_EQ(mixed.size(), expected.size());
    EXPECT_EQ(mixed.first(), archive.recordings[5]);

    std::atomic<bool> cancel{true};
    EXPECT_TRUE(igcFilesInFolder(dir.path(), &cancel).isEmpty());
}

TEST(RemainingTime, FollowsThePaceSoFar)
{
    EXPECT_EQ(remainingTimeMs(5000, 0, 10), -1);
    EXPECT_EQ(remainingTimeMs(5000, 5, 10), 5000);
    EXPECT_EQ(remainingTimeMs(1000, 1, 2000), 1999000);
    EXPECT_EQ(remainingTimeMs(9000, 10, 10), 0);
    EXPECT_EQ(remainingTimeText(1000, 0, 10), QStringLiteral("estimating the time left"));
    EXPECT_EQ(remainingTimeText(1000, 5, 10), QStringLiteral("less than a minute left"));
    EXPECT_EQ(remainingTimeText(61000, 1, 2), QStringLiteral("about 2 minutes left"));
    EXPECT_EQ(remainingTimeText(60000, 1, 2), QStringLiteral("about 1 minute left"));
    EXPECT_EQ(remainingTimeText(60000, 1, 81), QStringLiteral("about 1 h 20 min left"));
}

TEST(BackupRetention, KeepsSevenDaysAndFourWeeks)
{
    // A copy every day for two months, Monday 2026-10-05 the first.
    QList<QDate> days;
    const QDate first(2026, 10, 5);
    for (int i = 0; i < 61; ++i)
        days.append(first.addDays(i));
    const QList<QDate> expired = expiredBackupDays(days);
    QList<QDate> kept;
    for (const QDate& day : days)
        if (!expired.contains(day))
            kept.append(day);
    std::sort(kept.begin(), kept.end(), std::greater<>());
    ASSERT_EQ(kept.size(), 11);
    const QDate newest = first.addDays(60); // Friday 2026-12-04
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(kept[i], newest.addDays(-i));
    // Then the newest copy of each of four weeks: the Friday left over from
    // the week the daily copies begin in, and the three Sundays before it.
    EXPECT_EQ(kept[7], QDate(2026, 11, 27));
    EXPECT_EQ(kept[8], QDate(2026, 11, 22));
    EXPECT_EQ(kept[9], QDate(2026, 11, 15));
    EXPECT_EQ(kept[10], QDate(2026, 11, 8));

    // Few copies: nothing goes; gaps of weeks keep one per week, four at most.
    EXPECT_TRUE(expiredBackupDays({QDate(2026, 1, 1), QDate(2026, 1, 2)}).isEmpty());
    QList<QDate> sparse;
    for (int i = 0; i < 20; ++i)
        sparse.append(QDate(2026, 1, 5).addDays(i * 14));
    EXPECT_EQ(expiredBackupDays(sparse).size(), 20 - 7 - 4);
}

TEST(PlaceAnswerCache, ReusesAnAnswerWithin250Metres)
{
    PlaceAnswer innsbruck;
    innsbruck.latitudeE6 = 47000000;
    innsbruck.longitudeE6 = 11000000;
    innsbruck.city = QStringLiteral("Innsbruck");
    PlaceAnswer other = innsbruck;
    other.latitudeE6 = 47004000; // 444 m north
    other.city = QStringLiteral("North");
    PlaceAnswerCache cache({innsbruck});
    cache.remember(other);

    // 0.00224° north is 249 m: still the same site; 0.00226° is 251 m.
    ASSERT_LE(PlaceFinder::gpsDistance(47000000, 11000000, 47002240, 11000000), 250);
    ASSERT_GT(PlaceFinder::gpsDistance(47000000, 11000000, 47002260, 11000000), 250);
    EXPECT_EQ(cache.find(47000000, 11000000)->city, QStringLiteral("Innsbruck"));
    EXPECT_EQ(cache.find(47002200, 11000000)->city, QStringLiteral("North")) << "the nearer of two answers";
    EXPECT_EQ(cache.find(46998000, 11000000)->city, QStringLiteral("Innsbruck"));
    EXPECT_FALSE(cache.find(46997740, 11000000).has_value());
    EXPECT_FALSE(cache.find(47000000, 11010000).has_value()) << "758 m east";

    // Only what was learnt is handed out for writing, once.
    EXPECT_EQ(cache.takeUnsaved(), QList<PlaceAnswer>{other});
    EXPECT_TRUE(cache.takeUnsaved().isEmpty());
}

/** A reverse geocoder on loopback that names the archive's sites and counts what it is asked. */
class Geocoder
{
public:
    explicit Geocoder(int delayMs = 0)
        : m_server([this, delayMs](const test::HttpServerRequest& request) {
              test::HttpServerResponse response;
              if (request.path == "/reverse") {
                  ++m_reverse;
                  response.body = test::archiveReverseAnswer(request.query.queryItemValue("lat").toDouble());
                  response.delayMs = delayMs;
              } else {
                  response.status = 404;
              }
              return response;
          })
    {
    }
    QUrl url() const { return m_server.baseUrl(); }
    int reverseRequests() const { return m_reverse; }

private:
    std::atomic<int> m_reverse{0};
    test::LocalHttpServer m_server;
};

/** Fails the test when asked: identical recordings must never reach the overlap question. */
class NoQuestion final : public OverlapQuestion
{
public:
    int asked = 0;
    void ask(const OverlapConflict& conflict, std::function<void(OverlapAnswer)> reply) override
    {
        ++asked;
        ADD_FAILURE() << "asked about " << conflict.path.toStdString();
        reply({OverlapChoice::Skip, false});
    }
};

class ArchiveImport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        auto global = PersistentStore::open(m_dir.filePath("Kalvora.storedata"), ObjectModel::global());
        ASSERT_TRUE(global.ok()) << global.error();
        m_global = std::move(*global);
        auto store = PersistentStore::open(m_dir.filePath("archive.kalvora"), ObjectModel::logBook());
        ASSERT_TRUE(store.ok()) << store.error();
        m_logbook = std::move(*store);
        m_queue = std::make_unique<XCQueue>(*m_logbook);
    }

    void TearDown() override
    {
        m_importer.reset();
        m_queue.reset();
        m_logbook.reset();
        m_global.reset();
    }

    /** A new importer whose place finder starts from the answers the global store holds. */
    void makeImporter(const QUrl& geocoder)
    {
        m_importer.reset();
        m_answers = std::make_unique<PlaceAnswerCache>(readPlaceAnswers(*m_global->mainContext()));
        m_places = std::make_unique<PlaceFinderLookup>(defaultHttpClient(), geocoder, QUrl());
        m_places->setAnswerCache(m_answers.get());
        m_importer = std::make_unique<FlightImporter>(*m_logbook, *m_queue, m_question,
                                                      ImportServices{m_places.get(), m_global.get()});
    }

    ImportSummary import(const QStringList& paths, int cancelAfter = -1)
    {
        ImportSummary summary;
        QEventLoop loop;
        bool done = false;
        int inserted = 0;
        const QMetaObject::Connection onInsert =
            QObject::connect(m_importer.get(), &FlightImporter::flightInserted, &loop, [&] {
                if (++inserted == cancelAfter)
                    m_importer->cancel();
            });
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
        QTimer::singleShot(120000, &loop, [&] {
            ADD_FAILURE() << "the import did not end";
            loop.quit();
        });
        EXPECT_TRUE(m_importer->start(expandIGCFolders(paths)));
        loop.exec();
        QObject::disconnect(onInsert);
        return summary;
    }

    qint64 flightCount()
    {
        return m_logbook->mainContext()->fetch<Flight>().size();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<PersistentStore> m_global;
    std::unique_ptr<PersistentStore> m_logbook;
    std::unique_ptr<XCQueue> m_queue;
    std::unique_ptr<PlaceAnswerCache> m_answers;
    std::unique_ptr<PlaceFinderLookup> m_places;
    std::unique_ptr<FlightImporter> m_importer;
    NoQuestion m_question;
};

TEST_F(ArchiveImport, SkipsIdenticalRecordingsAsksEachSiteOnceAndGoesOnAfterACancel)
{
    const QString root = m_dir.filePath("archive");
    const test::Archive archive = test::makeArchive(root, 120, 4, 10);
    ASSERT_EQ(archive.copies.size(), 12);
    Geocoder geocoder;
    makeImporter(geocoder.url());

    // Cancelled after 30 flights: those stay (with the few the worker wrote
    // before it saw the cancel), scored; the rest is not imported.
    const ImportSummary first = import({root}, 30);
    EXPECT_TRUE(first.stopped);
    const auto done = first.imported.size();
    EXPECT_GE(done, 30);
    EXPECT_LT(done, 100);
    EXPECT_EQ(flightCount(), done);

    // The same folder again goes on where it stopped, without a question.
    const ImportSummary second = import({root});
    EXPECT_FALSE(second.stopped);
    EXPECT_EQ(second.imported.size(), 120 - done);
    EXPECT_EQ(second.duplicates.size(), done + 12) << "the first run's flights and every copy";
    EXPECT_TRUE(second.failed.isEmpty());
    EXPECT_TRUE(second.placesMissing.isEmpty());
    EXPECT_EQ(flightCount(), 120);
    EXPECT_EQ(m_question.asked, 0);
    for (const QString& copy : archive.copies)
        EXPECT_TRUE(second.duplicates.contains(copy)) << copy.toStdString();

    // Take-off and landing of every flight lie at one of four sites: four requests in all.
    EXPECT_EQ(geocoder.reverseRequests(), 4);
    for (Flight* flight : m_logbook->mainContext()->fetch<Flight>()) {
        EXPECT_TRUE(flight->startLocation().startsWith(QStringLiteral("Site "))) << flight->startLocation().toStdString();
        EXPECT_EQ(flight->startLocation(), flight->landingLocation());
        EXPECT_EQ(flight->contentHash().size(), 64);
        EXPECT_GE(flight->freeDistance(), 0) << "scored";
    }

    // The answers are in the global store: a later run, in a new process as
    // far as the cache knows, asks nothing for these sites.
    EXPECT_EQ(readPlaceAnswers(*m_global->mainContext()).size(), 4);
    const QString later = m_dir.filePath("later");
    QDir().mkpath(later);
    for (int i = 0; i < 4; ++i) {
        QFile file(QStringLiteral("%1/new-%2.igc").arg(later).arg(i));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(test::archiveIGC(i, 200 + i));
    }
    makeImporter(geocoder.url());
    const ImportSummary third = import({later, root});
    EXPECT_EQ(third.imported.size(), 4);
    EXPECT_EQ(third.duplicates.size(), 120 + 12);
    EXPECT_EQ(geocoder.reverseRequests(), 4);
}

TEST_F(ArchiveImport, KnowsAFlightStoredWithoutFingerprintByItsBytes)
{
    const QString root = m_dir.filePath("one");
    const test::Archive archive = test::makeArchive(root, 2, 1, 0);
    m_importer = std::make_unique<FlightImporter>(*m_logbook, *m_queue, m_question, ImportServices{});
    ASSERT_EQ(import({archive.recordings[0]}).imported.size(), 1);
    // As a flight imported before fingerprints were kept.
    Flight* old = m_logbook->mainContext()->fetch<Flight>().first();
    old->setValue(QStringLiteral("contentHash"), QVariant());
    ASSERT_TRUE(m_logbook->mainContext()->save().ok());
    ASSERT_TRUE(old->contentHash().isEmpty());

    // A renamed copy overlaps it exactly; its bytes tell it is the same recording.
    const QString renamed = m_dir.filePath("renamed.IGC");
    ASSERT_TRUE(QFile::copy(archive.recordings[0], renamed));
    const ImportSummary summary = import({renamed, archive.recordings[1]});
    EXPECT_EQ(summary.duplicates, QStringList{renamed});
    EXPECT_EQ(summary.imported, QStringList{archive.recordings[1]});
    EXPECT_TRUE(summary.skipped.isEmpty());
    EXPECT_EQ(m_question.asked, 0);
    EXPECT_EQ(old->contentHash().size(), 64) << "the fingerprint is kept for the next run";
}

TEST_F(ArchiveImport, AFileChangedBetweenReadingAndImportingIsNotImported)
{
    const QString root = m_dir.filePath("changing");
    const test::Archive archive = test::makeArchive(root, 3, 1, 0);
    m_importer = std::make_unique<FlightImporter>(*m_logbook, *m_queue, m_question, ImportServices{});
    // Rewritten once every file was read, before the flights are made.
    QObject::connect(m_importer.get(), &FlightImporter::readingFinished, m_importer.get(), [&] {
        QFile file(archive.recordings[1]);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(test::archiveIGC(0, 50));
    });
    const ImportSummary summary = import({root});
    EXPECT_EQ(summary.imported.size(), 2);
    ASSERT_EQ(summary.failed.size(), 1);
    EXPECT_EQ(summary.failed.first().path, archive.recordings[1]);
}

TEST_F(ArchiveImport, BacksUpWhenChangedAndRestoresAsANewLogbook)
{
    const QString root = m_dir.filePath("few");
    const test::Archive archive = test::makeArchive(root, 4, 1, 0);
    m_importer = std::make_unique<FlightImporter>(*m_logbook, *m_queue, m_question, ImportServices{});
    ASSERT_EQ(import(archive.recordings.mid(0, 3)).imported.size(), 3);
    m_logbook->waitUntilDurable();

    LogBookBackups backups(m_dir.filePath("Backups"));
    const QString logbook = m_logbook->path();
    EXPECT_TRUE(backups.hasChangedSinceLastBackup(logbook)) << "no copy yet";
    const Result<QString> copy = backups.backUpNow(logbook);
    ASSERT_TRUE(copy.ok()) << copy.error();
    EXPECT_FALSE(backups.hasChangedSinceLastBackup(logbook));
    EXPECT_FALSE(backups.backUpIfChanged(logbook));
    QList<BackupCopy> copies = backups.copies(logbook);
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(copies[0].date, QDate::currentDate());
    EXPECT_EQ(copies[0].flights, 3);

    // A new flight: the next opening takes a copy in the background, today's replacing today's.
    ASSERT_EQ(import({archive.recordings[3]}).imported.size(), 1);
    m_logbook->waitUntilDurable();
    EXPECT_TRUE(backups.hasChangedSinceLastBackup(logbook));
    QEventLoop loop;
    QString finishedCopy, error;
    QObject::connect(&backups, &LogBookBackups::backupFinished, &loop,
                     [&](const QString&, const QString& path, const QString& why) {
                         finishedCopy = path;
                         error = why;
                         loop.quit();
                     });
    ASSERT_TRUE(backups.backUpIfChanged(logbook));
    EXPECT_FALSE(backups.backUpIfChanged(logbook)) << "one copy of a logbook at a time";
    loop.exec();
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(finishedCopy, *copy);
    copies = backups.copies(logbook);
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(copies[0].flights, 4);

    // Restored as a new file beside the original, twice without replacing anything.
    const QByteArray original = [&] {
        QFile file(logbook);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    const Result<QString> restored = LogBookBackups::restore(copies[0], QStringLiteral("archive"), m_dir.path());
    ASSERT_TRUE(restored.ok()) << restored.error();
    EXPECT_EQ(QFileInfo(*restored).fileName(),
              QStringLiteral("archive (backup %1).kalvora").arg(QDate::currentDate().toString(Qt::ISODate)));
    const Result<QString> again = LogBookBackups::restore(copies[0], QStringLiteral("archive"), m_dir.path());
    ASSERT_TRUE(again.ok()) << again.error();
    EXPECT_NE(*again, *restored);
    {
        QFile file(logbook);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), original) << "the logbook itself is never written";
    }
    auto opened = PersistentStore::open(*restored, ObjectModel::logBook(), PersistentStore::OpenMode::MustExist);
    ASSERT_TRUE(opened.ok()) << opened.error();
    EXPECT_EQ((*opened)->mainContext()->fetch<Flight>().size(), 4);
    EXPECT_NE((*opened)->storeId(), m_logbook->storeId()) << "a copy is a logbook of its own";
}

} // namespace
