#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::test {
namespace {

/** Runs SQL on a file outside the store, as another program (or an older build) would. */
void rawSql(const QString& path, const QStringList& statements, QVariantList* results = nullptr)
{
    const QString name = QStringLiteral("raw-") + path;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const QString& s : statements) {
            ASSERT_TRUE(q.exec(s)) << qPrintable(s);
            if (results && q.next())
                results->append(q.value(0));
        }
    }
    QSqlDatabase::removeDatabase(name);
}

TEST(PersistentStore, NewFileUsesWriteAheadLogAndRecordsItsVersion)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.kalvora"));
    QString storeId;
    {
        auto store = PersistentStore::open(path, ObjectModel::logBook());
        ASSERT_TRUE(store.ok()) << store.error();
        storeId = (*store)->storeId();
    }
    QVariantList results;
    rawSql(path, {QStringLiteral("PRAGMA journal_mode"), QStringLiteral("SELECT version FROM schema_version")}, &results);
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[0].toString(), QStringLiteral("wal"));
    EXPECT_EQ(results[1].toInt(), ObjectModel::logBook().version);
    // The identity is kept in the file, so identifiers survive a reopening.
    auto again = PersistentStore::open(path, ObjectModel::logBook());
    ASSERT_TRUE(again.ok());
    EXPECT_EQ((*again)->storeId(), storeId);
}

TEST(PersistentStore, TwoStoresOverOneFileKeepTheirOwnConnections)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("twice.kalvora"));
    auto first = PersistentStore::open(path, ObjectModel::logBook());
    ASSERT_TRUE(first.ok()) << first.error();
    {
        // Both share the file's store id; closing one must not take the other's connection along.
        auto second = PersistentStore::open(path, ObjectModel::logBook());
        ASSERT_TRUE(second.ok()) << second.error();
        (*second)->mainContext()->insert<Flight>()->setStartLocation(QStringLiteral("Gurten"));
        ASSERT_TRUE((*second)->mainContext()->save().ok());
    }
    (*first)->mainContext()->insert<Flight>()->setStartLocation(QStringLiteral("Niesen"));
    ASSERT_TRUE((*first)->mainContext()->save().ok());
    EXPECT_EQ((*first)->mainContext()->fetch<Flight>().size(), 2);
}

TEST(PersistentStore, ASaveWaitsWhileAnotherWriterHoldsTheFileAndThenLands)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("contended.kalvora"));
    auto store = PersistentStore::open(path, ObjectModel::logBook());
    ASSERT_TRUE(store.ok()) << store.error();

    // Another program takes the write lock, keeps it well past a busy handler's
    // first short steps, then lets go.
    std::promise<bool> locked;
    std::thread writer([&path, &locked] {
        const QString name = QStringLiteral("other-writer");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            QSqlQuery q(db);
            const bool ok = db.open() && q.exec(QStringLiteral("BEGIN IMMEDIATE"));
            locked.set_value(ok);
            if (ok) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                (void)q.exec(QStringLiteral("COMMIT"));
            }
        }
        QSqlDatabase::removeDatabase(name);
    });
    ASSERT_TRUE(locked.get_future().get());
    (*store)->mainContext()->insert<Flight>()->setStartLocation(QStringLiteral("Niesen"));
    const Result<Done> saved = (*store)->mainContext()->save();
    writer.join();
    ASSERT_TRUE(saved.ok()) << saved.error();
    EXPECT_EQ((*store)->mainContext()->fetch<Flight>().size(), 1);
    auto again = PersistentStore::open(path, ObjectModel::logBook());
    ASSERT_TRUE(again.ok());
    EXPECT_EQ((*again)->mainContext()->fetch<Flight>().size(), 1);
}

TEST(PersistentStore, OlderFilesGainNewTablesAndColumnsAndKeepTheirRecords)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.kalvora"));
    // A file as an early build wrote it: no version table, fewer Flight columns, no score points.
    rawSql(path, {
                     QStringLiteral("CREATE TABLE kalvora_metadata (key TEXT PRIMARY KEY, value TEXT)"),
                     QStringLiteral("INSERT INTO kalvora_metadata VALUES ('storeId', 'OLD-STORE'), ('model', 'LogBookModel')"),
                     QStringLiteral("CREATE TABLE \"Flight\" (\"Z_PK\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                                    "\"startLocation\" TEXT, \"startUTC\" REAL)"),
                     QStringLiteral("INSERT INTO \"Flight\" (\"startLocation\", \"startUTC\") VALUES ('Hoher Kasten', 1700000000)"),
                 });
    auto store = PersistentStore::open(path, ObjectModel::logBook());
    ASSERT_TRUE(store.ok()) << store.error();
    EXPECT_EQ((*store)->storeId(), QStringLiteral("OLD-STORE"));
    ObjectContext* ctx = (*store)->mainContext();
    auto flights = ctx->fetch<Flight>();
    ASSERT_EQ(flights.size(), 1);
    EXPECT_EQ(flights[0]->startLocation(), QStringLiteral("Hoher Kasten"));
    EXPECT_EQ(flights[0]->startUTC().toSecsSinceEpoch(), 1700000000);
    flights[0]->setGlidertype(2);
    XCData xc{10, 0, 0, {{1, 2}}};
    flights[0]->setXCData(&xc);
    ASSERT_TRUE(ctx->save().ok());
    EXPECT_EQ(flights[0]->igcScorePoints().size(), 1);
}

TEST(PersistentStore, RefusesFilesItCannotReadSafely)
{
    QTemporaryDir dir;
    const QString newer = dir.filePath(QStringLiteral("newer.kalvora"));
    {
        auto s = PersistentStore::open(newer, ObjectModel::logBook());
        ASSERT_TRUE(s.ok());
    }
    rawSql(newer, {QStringLiteral("UPDATE schema_version SET version = 99")});

    const QString global = dir.filePath(QStringLiteral("Kalvora.storedata"));
    {
        auto s = PersistentStore::open(global, ObjectModel::global());
        ASSERT_TRUE(s.ok());
    }
    const QString garbage = dir.filePath(QStringLiteral("garbage.kalvora"));
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    const QString foreign = dir.filePath(QStringLiteral("foreign.sqlite"));
    rawSql(foreign, {QStringLiteral("CREATE TABLE t (a)")});

    struct Case
    {
        QString path;
        const ObjectModel* model;
        PersistentStore::OpenMode mode;
        const char* expected;
    };
    const Case cases[] = {
        {newer, &ObjectModel::logBook(), PersistentStore::OpenMode::CreateIfMissing, "newer version"},
        {global, &ObjectModel::logBook(), PersistentStore::OpenMode::CreateIfMissing, "\"Kalvora\" store"},
        {garbage, &ObjectModel::logBook(), PersistentStore::OpenMode::CreateIfMissing, "not a Kalvora data file"},
        {foreign, &ObjectModel::logBook(), PersistentStore::OpenMode::CreateIfMissing, "not a Kalvora data file"},
        {dir.filePath(QStringLiteral("missing.kalvora")), &ObjectModel::logBook(), PersistentStore::OpenMode::MustExist,
         "does not exist"},
        {dir.filePath(QStringLiteral("no/such/folder.kalvora")), &ObjectModel::logBook(),
         PersistentStore::OpenMode::CreateIfMissing, "folder"},
        {dir.path(), &ObjectModel::logBook(), PersistentStore::OpenMode::CreateIfMissing, "not a file"},
    };
    for (const Case& c : cases) {
        auto s = PersistentStore::open(c.path, *c.model, c.mode);
        ASSERT_FALSE(s.ok()) << qPrintable(c.path);
        EXPECT_NE(s.error().find(c.expected), std::string::npos) << s.error();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing.kalvora"))));
}

TEST(PersistentStore, GlobalStoreHasEveryEntityOfItsModel)
{
    QTemporaryDir dir;
    auto store = PersistentStore::open(dir.filePath(QStringLiteral("Kalvora.storedata")), ObjectModel::global());
    ASSERT_TRUE(store.ok());
    ObjectContext* ctx = (*store)->mainContext();
    auto* route = ctx->insertObject(QStringLiteral("Route"));
    auto* entry = ctx->insertObject(QStringLiteral("RouteWaypoint"));
    auto* waypoint = ctx->insertObject(QStringLiteral("Waypoint"));
    ASSERT_TRUE(route && entry && waypoint);
    ctx->insertObject(QStringLiteral("Equipment"));
    ctx->insertObject(QStringLiteral("Settings"));
    entry->setRelatedObject(QStringLiteral("route"), route);
    entry->setRelatedObject(QStringLiteral("waypoint"), waypoint);
    waypoint->setValue(QStringLiteral("group"), QStringLiteral("keyword column"));
    route->setValue(QStringLiteral("scorePoint5Longitude"), 11.5);
    ASSERT_TRUE(ctx->save().ok());
    const QString routeUri = route->objectId().uriString();
    const QString waypointUri = waypoint->objectId().uriString();
    store->reset();

    auto again = PersistentStore::open(dir.filePath(QStringLiteral("Kalvora.storedata")), ObjectModel::global());
    ASSERT_TRUE(again.ok());
    ctx = (*again)->mainContext();
    StoredObject* r = ctx->existingObject(routeUri);
    StoredObject* w = ctx->existingObject(waypointUri);
    ASSERT_TRUE(r && w);
    EXPECT_DOUBLE_EQ(r->doubleValue(QStringLiteral("scorePoint5Longitude")), 11.5);
    const auto entries = r->relatedObjects(QStringLiteral("waypoints"));
    ASSERT_EQ(entries.size(), 1);
    // The one-to-one pair is seen from both ends.
    EXPECT_EQ(w->relatedObject(QStringLiteral("routeWaypoint")), entries[0]);
    EXPECT_EQ(entries[0]->relatedObject(QStringLiteral("waypoint")), w);
    auto byRoute = Predicate::parse(QStringLiteral("(route == %@)"), {objectValue(r)});
    ASSERT_TRUE(byRoute);
    EXPECT_EQ(*ctx->count(FetchRequest{QStringLiteral("RouteWaypoint"), *byRoute, {}, 0}), 1);
    // Deleting the waypoint leaves the route entry without it; deleting the route takes its entries.
    ctx->deleteObject(w);
    EXPECT_EQ(entries[0]->relatedObject(QStringLiteral("waypoint")), nullptr);
    ctx->deleteObject(r);
    ASSERT_TRUE(ctx->save().ok());
    EXPECT_EQ(*ctx->count(FetchRequest{QStringLiteral("RouteWaypoint"), {}, {}, 0}), 0);
    for (const char* e : {"Equipment", "Settings"})
        EXPECT_EQ(*ctx->count(FetchRequest{QString::fromLatin1(e), {}, {}, 0}), 1);
}

TEST(PersistentStore, EveryCommittedSaveSurvivesAKill)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("crash.kalvora"));
    QProcess writer;
    // More saves than the pipe can hold lines of: the writer is always still saving when it is killed.
    writer.start(QStringLiteral(KALVORA_CRASH_WRITER), {path, QStringLiteral("100000")});
    ASSERT_TRUE(writer.waitForStarted());
    QStringList saved;
    QByteArray pending;
    while (saved.size() < 250) {
        if (!writer.waitForReadyRead(30000))
            break;
        pending += writer.readAllStandardOutput();
        qsizetype nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            saved.append(QString::fromUtf8(pending.left(nl)));
            pending.remove(0, nl + 1);
        }
    }
    writer.kill(); // SIGKILL, in the middle of the next save
    writer.waitForFinished();
    pending += writer.readAllStandardOutput();
    for (const QByteArray& line : pending.split('\n'))
        if (!line.isEmpty())
            saved.append(QString::fromUtf8(line));
    ASSERT_GE(saved.size(), 250) << writer.readAllStandardError().constData();
    ASSERT_LT(saved.size(), 100000) << "the writer finished before it could be killed";

    auto store = PersistentStore::open(path, ObjectModel::logBook());
    ASSERT_TRUE(store.ok()) << store.error();
    ObjectContext* ctx = (*store)->mainContext();
    for (const QString& line : saved) {
        const QStringList parts = line.split(QLatin1Char(' '));
        ASSERT_EQ(parts.size(), 3) << qPrintable(line);
        auto* f = qobject_cast<Flight*>(ctx->existingObject(parts[2]));
        ASSERT_NE(f, nullptr) << qPrintable(line);
        EXPECT_EQ(f->startLocation(), QStringLiteral("Flight ") + parts[1]);
    }
    // At most the save that was under way when the kill came may have made it as well.
    const qint64 count = *ctx->count(FetchRequest{QStringLiteral("Flight"), {}, {}, 0});
    EXPECT_GE(count, saved.size());
    EXPECT_LE(count, saved.size() + 1);
}

TEST(PersistentStore, TheGuiConnectionsLogIsFoldedIntoTheFileAndGoesWithTheStore)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.kalvora"));
    const QString wal = path + QStringLiteral("-wal");
    constexpr int flights = 20;
    const QString track(1024 * 1024, QLatin1Char('B'));
    {
        auto store = PersistentStore::open(path, ObjectModel::logBook());
        ASSERT_TRUE(store.ok()) << store.error();
        ObjectContext* ctx = (*store)->mainContext();
        qint64 largestLog = 0;
        for (int i = 0; i < flights; ++i) {
            auto* f = ctx->insert<Flight>();
            f->setStartLocation(QStringLiteral("Flight %1").arg(i));
            f->setIgcData(track);
            ASSERT_TRUE(ctx->save().ok());
            (*store)->waitUntilDurable();
            largestLog = std::max(largestLog, QFileInfo(wal).size());
        }
        // The GUI connection never checkpoints by itself; without the store's
        // own checkpoints the log would hold all 20 MB.
        EXPECT_LT(largestLog, 8 * 1024 * 1024);
    }
    EXPECT_FALSE(QFileInfo::exists(wal)) << "a connection was left open";
    auto store = PersistentStore::open(path, ObjectModel::logBook());
    ASSERT_TRUE(store.ok()) << store.error();
    const QList<Flight*> stored = (*store)->mainContext()->fetch<Flight>();
    ASSERT_EQ(stored.size(), flights);
    EXPECT_EQ(stored.front()->igcData(), track);
}

} // namespace
} // namespace kalvora::test
