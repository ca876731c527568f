#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/globalstore.h"
#include "app/logbook.h"
#include "model/flight.h"
#include "model/pilot.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/pilotwindowcontroller.h"

namespace kalvora::test {
namespace {

class LogBookDocumentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
    }
    QString path() const { return m_dir.filePath(QStringLiteral("book.kalvora")); }

    /** Flights in the file, as a separate SQLite connection sees them. */
    qint64 flightsOnDisk() const
    {
        qint64 count = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("observer"));
            db.setDatabaseName(path());
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            if (db.open()) {
                QSqlQuery query(db);
                if (query.exec(QStringLiteral("SELECT COUNT(*) FROM \"Flight\"")) && query.next())
                    count = query.value(0).toLongLong();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("observer"));
        return count;
    }

    QTemporaryDir m_dir;
};

TEST_F(LogBookDocumentTest, NewLogbookGetsPilotAndWindowsReopenedOneDoesNot)
{
    QSignalSpy notices(&NotificationCenter::instance(), &NotificationCenter::notified);
    {
        auto created = LogBook::open(path(), PersistentStore::OpenMode::CreateIfMissing);
        ASSERT_TRUE(created.ok()) << created.error();
        LogBook& book = *created.value();
        book.makeWindowControllers(false);
        ASSERT_NE(book.pilotWindowController(), nullptr);
        ASSERT_NE(book.pilotWindowController()->pilot(), nullptr);
        EXPECT_EQ(book.pilotWindowController()->objectName(), QStringLiteral("PilotWindowController"));
        ASSERT_NE(book.controller(), nullptr);
        EXPECT_EQ(book.controller()->objectName(), QStringLiteral("LogBook"));
        book.close();
    }
    const auto docCount = std::count_if(notices.cbegin(), notices.cend(), [](const QList<QVariant>& args) {
        return args.at(0).toString() == QLatin1String(notifications::DocCountChanged);
    });
    EXPECT_EQ(docCount, 2) << "created and released";

    auto reopened = LogBook::open(path(), PersistentStore::OpenMode::MustExist);
    ASSERT_TRUE(reopened.ok()) << reopened.error();
    reopened.value()->makeWindowControllers(false);
    EXPECT_EQ(reopened.value()->pilotWindowController(), nullptr) << "the logbook has its pilot";
    EXPECT_EQ(reopened.value()->managedObjectContext()->fetch<Pilot>().size(), 1);
}

TEST_F(LogBookDocumentTest, EditsReachTheFileWithinASecond)
{
    auto created = LogBook::open(path(), PersistentStore::OpenMode::CreateIfMissing);
    ASSERT_TRUE(created.ok()) << created.error();
    LogBook& book = *created.value();
    auto* flight = book.managedObjectContext()->insert<Flight>();
    flight->setStartLocation(QStringLiteral("Niesen"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return flightsOnDisk() == 1; }, 1500));
}

TEST_F(LogBookDocumentTest, OpeningAMissingFileFails)
{
    auto missing = LogBook::open(path(), PersistentStore::OpenMode::MustExist);
    EXPECT_FALSE(missing.ok());
}

TEST(GlobalStore, FolderThatIsAFileGivesErrors101And9999)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Kalvora"));
    QFile file(folder);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const GlobalStoreOpening opening = openGlobalStore(folder);
    EXPECT_EQ(opening.store, nullptr);
    ASSERT_EQ(opening.errors.size(), 2);
    EXPECT_EQ(opening.errors.at(0).code, 101);
    EXPECT_EQ(opening.errors.at(0).domain, QStringLiteral("YOUR_ERROR_DOMAIN"));
    EXPECT_EQ(opening.errors.at(0).description,
              QStringLiteral("Expected a folder to store application data, found a file (%1).").arg(folder));
    EXPECT_EQ(opening.errors.at(1).code, 9999);
    EXPECT_EQ(opening.errors.at(1).description, QStringLiteral("Failed to initialize the store"));
    EXPECT_EQ(opening.errors.at(1).failureReason, QStringLiteral("There was an error building up the data file."));
}

TEST(GlobalStore, MissingFolderIsCreatedWithItsParents)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("a/b/Kalvora"));
    const GlobalStoreOpening opening = openGlobalStore(folder);
    ASSERT_NE(opening.store, nullptr);
    EXPECT_TRUE(opening.errors.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/Kalvora.storedata")));
}

} // namespace
} // namespace kalvora::test
