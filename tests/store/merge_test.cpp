#include <QEventLoop>
#include <QSignalSpy>
#include <QThread>

#include <atomic>

#include "model/flight.h"
#include "store/notificationcenter.h"
#include "storefixture.h"

namespace kalvora::test {
namespace {

class MergeTest : public StoreTest
{
protected:
    /** Runs `work` on a thread of its own while this (the GUI) thread keeps its event loop going. */
    template <typename Fn>
    void onBackgroundThread(Fn work)
    {
        QThread* thread = QThread::create([this, work] {
            auto context = m_store->newBackgroundContext();
            ASSERT_TRUE(context.ok());
            work(context->get());
        });
        QEventLoop loop;
        QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
        thread->start();
        loop.exec();
        thread->wait();
        delete thread;
    }
};

TEST_F(MergeTest, BackgroundSaveIsVisibleInTheMainContextAfterTheMerge)
{
    auto* edited = ctx()->insert<Flight>();
    edited->setFreeDistance(-2);
    edited->setStartUTC(QDateTime(QDate(2024, 7, 1), QTime(10, 0), Qt::UTC));
    edited->setLandingUTC(QDateTime(QDate(2024, 7, 1), QTime(11, 0), Qt::UTC));
    auto* doomed = ctx()->insert<Flight>();
    ASSERT_TRUE(ctx()->save().ok());
    const QString editedUri = edited->objectId().uriString();
    const QString doomedUri = doomed->objectId().uriString();

    QSignalSpy merged(m_store.get(), &PersistentStore::mergedIntoMainContext);
    QSignalSpy changed(edited, &StoredObject::valueChanged);
    std::atomic<bool> mergedBeforeSaveReturned{false};
    QString insertedUri;
    onBackgroundThread([&](ObjectContext* bg) {
        auto* f = qobject_cast<Flight*>(bg->existingObject(editedUri));
        ASSERT_NE(f, nullptr);
        // A new take-off on another day, with its landing, as the background work computed them.
        f->setStartUTC(QDateTime(QDate(2024, 7, 2), QTime(10, 0), Qt::UTC));
        XCData xc{42.0, 30.0, 20.0, {{46.0, 10.0}}};
        f->setXCData(&xc);
        bg->deleteObject(bg->existingObject(doomedUri));
        auto* fresh = bg->insert<Flight>();
        fresh->setNotice(QStringLiteral("from the worker"));
        ASSERT_TRUE(bg->save().ok());
        mergedBeforeSaveReturned = merged.count() == 1; // the saving thread waited for the merge
        insertedUri = fresh->objectId().uriString();
    });

    EXPECT_TRUE(mergedBeforeSaveReturned);
    EXPECT_DOUBLE_EQ(edited->freeDistance(), 42.0);
    EXPECT_EQ(edited->startUTC(), QDateTime(QDate(2024, 7, 2), QTime(10, 0), Qt::UTC));
    // The merge brings a consistent record: the landing moved once, not twice.
    EXPECT_EQ(edited->landingUTC(), QDateTime(QDate(2024, 7, 2), QTime(11, 0), Qt::UTC));
    EXPECT_EQ(edited->igcScorePoints().size(), 1);
    EXPECT_FALSE(ctx()->hasChanges());
    EXPECT_TRUE(doomed->isDeleted());
    EXPECT_EQ(ctx()->existingObject(doomedUri), nullptr);
    auto* fresh = qobject_cast<Flight*>(ctx()->existingObject(insertedUri));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->notice(), QStringLiteral("from the worker"));
    EXPECT_EQ(ctx()->fetch<Flight>().size(), 2);
    bool sawDistance = false;
    for (const auto& args : changed)
        sawDistance = sawDistance || args.at(0).toString() == QLatin1String("freeDistance");
    EXPECT_TRUE(sawDistance);
}

TEST_F(MergeTest, FlightChangesAreAnnouncedAcrossThreads)
{
    auto* f = ctx()->insert<Flight>();
    ASSERT_TRUE(ctx()->save().ok());
    const QString uri = f->objectId().uriString();
    QStringList names;
    auto connection = QObject::connect(&NotificationCenter::instance(), &NotificationCenter::notified, ctx(),
                                       [&](const QString& name, QObject*, const QVariantMap&) { names.append(name); });
    onBackgroundThread([&](ObjectContext* bg) {
        auto* mine = qobject_cast<Flight*>(bg->existingObject(uri));
        ASSERT_NE(mine, nullptr);
        mine->setIgcData(QStringLiteral("B"));
        ASSERT_TRUE(bg->save().ok());
    });
    QCoreApplication::processEvents();
    QObject::disconnect(connection);
    // Once from the worker's record, once from the main record refreshed by the merge.
    EXPECT_GE(names.count(QStringLiteral("KalvoraFlightChanged")), 2);
}

} // namespace
} // namespace kalvora::test
