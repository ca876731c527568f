// Opening a file: what it may change, what it refuses, and how it reads what it may not write.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "model/flight.h"
#include "support/readonlypath.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::test {
namespace {

QByteArray fingerprint(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) +
           QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
}

QString journalMode(const QString& path)
{
    QString mode;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("journal-probe"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next())
                mode = q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("journal-probe"));
    return mode;
}

class StoreAccess : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString file(const QString& name) const { return m_dir.filePath(name); }

    /** A closed logbook of COUNT flights, each with an IGC text large enough to span many pages. */
    QString logbookWithFlights(const QString& name, int count)
    {
        const QString path = file(name);
        auto store = PersistentStore::open(path, ObjectModel::logBook());
        EXPECT_TRUE(store.ok());
        if (!store)
            return path;
        ObjectContext* ctx = (*store)->mainContext();
        for (int i = 0; i < count; ++i) {
            auto* f = ctx->insert<Flight>();
            f->setStartUTC(QDateTime(QDate(2024, 5, 1 + i), QTime(10, 0), Qt::UTC));
            f->setIgcData(QString(60000, QLatin1Char('A' + char(i % 26))));
        }
        EXPECT_TRUE(ctx->save().ok());
        return path;
    }

    QTemporaryDir m_dir;
};

TEST_F(StoreAccess, OpeningAnUpToDateStoreWritesNothing)
{
    const QString path = logbookWithFlights(QStringLiteral("a.kalvora"), 3);
    const QByteArray before = fingerprint(path);
    QThread::msleep(20); // a rewrite would show in the modification time
    for (auto access : {PersistentStore::Access::ReadWrite, PersistentStore::Access::ReadOnly}) {
        auto store = PersistentStore::open(path, ObjectModel::logBook(),
                                           {PersistentStore::OpenMode::MustExist, access, true});
        ASSERT_TRUE(store.ok()) << store.error();
        EXPECT_EQ((*store)->mainContext()->fetch<Flight>().size(), 3);
    }
    EXPECT_EQ(fingerprint(path), before);
}

TEST_F(StoreAccess, AnOlderStoreIsBroughtUpToDateOnceAndThenLeftAlone)
{
    // A global store of a version without the waypoint index.
    const QString path = file(QStringLiteral("global.storedata"));
    ASSERT_TRUE(PersistentStore::open(path, ObjectModel::global()).ok());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("downgrade"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("DROP INDEX \"Waypoint_latitude_longitude\"")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("downgrade"));
    const QByteArray old = fingerprint(path);

    // Read-only, it cannot be brought up to date, and says so.
    PersistentStore::OpenProblem problem = PersistentStore::OpenProblem::None;
    auto readOnly = PersistentStore::open(path, ObjectModel::global(),
                                          {PersistentStore::OpenMode::MustExist, PersistentStore::Access::ReadOnly, true},
                                          &problem);
    ASSERT_FALSE(readOnly.ok());
    EXPECT_EQ(problem, PersistentStore::OpenProblem::ReadOnly);
    EXPECT_EQ(fingerprint(path), old);

    ASSERT_TRUE(PersistentStore::open(path, ObjectModel::global()).ok());
    const QByteArray migrated = fingerprint(path);
    EXPECT_NE(migrated, old);
    QThread::msleep(20);
    ASSERT_TRUE(PersistentStore::open(path, ObjectModel::global()).ok());
    EXPECT_EQ(fingerprint(path), migrated);
}

TEST_F(StoreAccess, FilesOfOtherProgramsAreRefusedAsTheyStand)
{
    const QString sqlite = file(QStringLiteral("other.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(sqlite);
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE notes (text TEXT)")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    const QString text = file(QStringLiteral("text.kalvora"));
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    }
    ASSERT_EQ(journalMode(sqlite), QStringLiteral("delete"));
    for (const QString& path : {sqlite, text}) {
        const QByteArray before = fingerprint(path);
        for (auto access : {PersistentStore::Access::ReadWrite, PersistentStore::Access::ReadOnly}) {
            auto store = PersistentStore::open(path, ObjectModel::logBook(),
                                               {PersistentStore::OpenMode::CreateIfMissing, access, true});
            ASSERT_FALSE(store.ok()) << path.toStdString();
            EXPECT_NE(store.error().find("not a Kalvora data file"), std::string::npos) << store.error();
        }
        EXPECT_EQ(fingerprint(path), before) << path.toStdString();
    }
    EXPECT_EQ(journalMode(sqlite), QStringLiteral("delete"));
    EXPECT_FALSE(QFile::exists(sqlite + QStringLiteral("-wal")));
}

TEST_F(StoreAccess, DamagedPagesAreFoundBeforeAnythingIsWrittenAndReadAsErrors)
{
    const QString path = logbookWithFlights(QStringLiteral("damaged.kalvora"), 12);
    // Every page of the sixth flight's track.
    ASSERT_GT(damagePagesHolding(path, QByteArray(64, 'F')), 0);
    const QByteArray damaged = fingerprint(path);

    for (auto access : {PersistentStore::Access::ReadWrite, PersistentStore::Access::ReadOnly}) {
        PersistentStore::OpenProblem problem = PersistentStore::OpenProblem::None;
        auto store = PersistentStore::open(path, ObjectModel::logBook(),
                                           {PersistentStore::OpenMode::MustExist, access, true}, &problem);
        ASSERT_FALSE(store.ok());
        EXPECT_EQ(problem, PersistentStore::OpenProblem::Damaged);
        EXPECT_NE(store.error().find("is damaged"), std::string::npos) << store.error();
    }

    // Looked into on purpose, read-only: what cannot be read is an error, never an absent track.
    auto store = PersistentStore::open(path, ObjectModel::logBook(),
                                       {PersistentStore::OpenMode::MustExist, PersistentStore::Access::ReadOnly, false});
    ASSERT_TRUE(store.ok()) << store.error();
    ObjectContext* ctx = (*store)->mainContext();
    auto flights = ctx->fetch(FetchRequest{QString::fromLatin1(Flight::EntityName), {}, {}, 0});
    int absent = 0;
    if (flights) {
        for (StoredObject* o : *flights)
            if (qobject_cast<Flight*>(o)->igcData().isEmpty())
                ++absent;
    }
    EXPECT_TRUE(!flights.ok() || absent > 0) << "the damage went unread";
    EXPECT_FALSE(ctx->readError().isEmpty());
    EXPECT_TRUE(ctx->readError().contains(QStringLiteral("damaged"))) << ctx->readError().toStdString();
    auto* extra = ctx->insert<Flight>();
    extra->setStartUTC(QDateTime(QDate(2025, 1, 1), QTime(9, 0), Qt::UTC));
    const auto saved = ctx->save();
    ASSERT_FALSE(saved.ok());
    EXPECT_NE(saved.error().find("read-only"), std::string::npos) << saved.error();
    store->reset();
    EXPECT_EQ(fingerprint(path), damaged);
}

TEST_F(StoreAccess, ReadOnlyFilesAndFoldersAreReadAndNeverWritten)
{
    const QString folder = file(QStringLiteral("shelf"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString inFolder = QDir(folder).filePath(QStringLiteral("kept.kalvora"));
    const QString lone = logbookWithFlights(QStringLiteral("lone.kalvora"), 2);
    ASSERT_TRUE(QFile::copy(lone, inFolder));

    struct Case
    {
        QString lockedPath;
        QString logbook;
        const char* message;
    };
    for (const Case& c : {Case{lone, lone, "file"}, Case{folder, inFolder, "folder"}}) {
        SCOPED_TRACE(c.message);
        ReadOnlyPath locked(c.lockedPath);
        if (!locked.isActive())
            GTEST_SKIP() << "no way to make a path read-only here";
        const QByteArray before = fingerprint(c.logbook);

        PersistentStore::OpenProblem problem = PersistentStore::OpenProblem::None;
        auto writer = PersistentStore::open(c.logbook, ObjectModel::logBook(), {PersistentStore::OpenMode::MustExist,
                                                                                PersistentStore::Access::ReadWrite, true},
                                            &problem);
        ASSERT_FALSE(writer.ok());
        EXPECT_EQ(problem, PersistentStore::OpenProblem::ReadOnly);
        EXPECT_NE(writer.error().find(c.message), std::string::npos) << writer.error();
        EXPECT_NE(writer.error().find("read-only"), std::string::npos) << writer.error();

        auto reader = PersistentStore::open(c.logbook, ObjectModel::logBook(),
                                            {PersistentStore::OpenMode::MustExist, PersistentStore::Access::AsAllowed, true});
        ASSERT_TRUE(reader.ok()) << reader.error();
        EXPECT_TRUE((*reader)->isReadOnly());
        ObjectContext* ctx = (*reader)->mainContext();
        const QList<Flight*> flights = ctx->fetch<Flight>();
        ASSERT_EQ(flights.size(), 2);
        EXPECT_EQ(flights.first()->igcData().size(), 60000);
        flights.first()->setNotice(QStringLiteral("edited"));
        EXPECT_FALSE(ctx->save().ok());
        reader->reset();
        EXPECT_EQ(fingerprint(c.logbook), before);
    }
    // A new file cannot be made in a read-only folder, and the message says why.
    ReadOnlyPath locked(folder);
    auto created = PersistentStore::open(QDir(folder).filePath(QStringLiteral("new.kalvora")), ObjectModel::logBook());
    ASSERT_FALSE(created.ok());
    EXPECT_NE(created.error().find("folder"), std::string::npos) << created.error();
    EXPECT_NE(created.error().find("read-only"), std::string::npos) << created.error();
}

} // namespace
} // namespace kalvora::test
