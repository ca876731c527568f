#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QUrlQuery>

#include <atomic>
#include <map>
#include <thread>

#include "support/httpserver.h"
#include "model/waypoint.h"
#include "services/httpclient.h"
#include "storefixture.h"
#include "waypoints/waypointsync.h"
#include "waypoints/waypointsyncprotocol.h"

using namespace kalvora;
using kalvora::test::GlobalStoreTest;
using kalvora::test::HttpServerRequest;
using kalvora::test::HttpServerResponse;
using kalvora::test::LocalHttpServer;

namespace {

/** A form as a PHP server reads it: "+" is a space, then percent-decoding. */
QMap<QString, QString> readForm(const QByteArray& body)
{
    QMap<QString, QString> form;
    for (QByteArray pair : body.split('&')) {
        pair.replace('+', ' ');
        const qsizetype eq = pair.indexOf('=');
        if (eq < 0)
            continue;
        form.insert(QUrl::fromPercentEncoding(pair.left(eq)), QUrl::fromPercentEncoding(pair.mid(eq + 1)));
    }
    return form;
}

/**
 * The online waypoint database in memory behind both endpoints: downloads
 * give the places changed after lastSync, uploads store a place and give it
 * an identifier. Faults are switched on per test.
 */
class FakeWaypointDatabase
{
public:
    using Record = QMap<QString, QString>;

    HttpServerResponse handle(const HttpServerRequest& request)
    {
        QMutexLocker lock(&m_mutex);
        ++m_requests;
        HttpServerResponse response;
        response.delayMs = delayMs;
        response.endlessBody = endless;
        if (dropFromRequest > 0 && m_requests >= dropFromRequest) {
            response.dropConnection = true;
        } else if (request.path == waypointdb::downloadPath) {
            paths.append(QStringLiteral("download"));
            response.body = download(readForm(request.body));
        } else if (request.path == waypointdb::uploadPath) {
            paths.append(QStringLiteral("upload"));
            response.contentType = "text/plain; charset=utf-8";
            response.body = upload(readForm(request.body));
        } else {
            response.status = 404;
        }
        return response;
    }

    QByteArray download(const Record& form)
    {
        forms.append(form);
        if (!malformed.isEmpty())
            return malformed;
        const double since = form.value(QStringLiteral("lastSync")).toDouble();
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<waypoints>\n";
        for (const auto& [id, rec] : places) {
            if (rec.value(QStringLiteral("lastModified")).toDouble() <= since)
                continue;
            xml += "  <waypoint>\n";
            for (auto it = rec.begin(); it != rec.end(); ++it) {
                xml += "    <" + it.key().toUtf8() + ">" + it.value().toHtmlEscaped().toUtf8() + "</" +
                       it.key().toUtf8() + ">\n";
            }
            xml += "  </waypoint>\n";
        }
        return xml + "</waypoints>\n";
    }

    QByteArray upload(const Record& form)
    {
        forms.append(form);
        if (form.value(QStringLiteral("name")).contains(QLatin1String("refuse")))
            return "ERROR: refused";
        qint64 id = form.value(QStringLiteral("dbID")).toLongLong();
        if (id < 0)
            id = m_nextId++;
        Record rec = form;
        rec.remove(QStringLiteral("mac"));
        rec.remove(QStringLiteral("login"));
        rec.remove(QStringLiteral("password"));
        rec.insert(QStringLiteral("dbID"), QString::number(id));
        places[id] = rec;
        return "OK dbID=" + QByteArray::number(id);
    }

    /** A place as another pilot uploaded it, changed at CHANGED [s since 1970]. */
    void addPlace(qint64 id, const QString& name, qint64 lat, qint64 lon, double changed,
                  const QString& windFrom = {})
    {
        QMutexLocker lock(&m_mutex);
        Record rec{{QStringLiteral("dbID"), QString::number(id)},
                   {QStringLiteral("name"), name},
                   {QStringLiteral("latitude"), QString::number(lat)},
                   {QStringLiteral("longitude"), QString::number(lon)},
                   {QStringLiteral("altitude"), QStringLiteral("1500")},
                   {QStringLiteral("lastModified"), QString::number(changed, 'f', 3)},
                   {QStringLiteral("windTo"), QStringLiteral("180")},
                   {QStringLiteral("country"), QStringLiteral("AT")}};
        if (!windFrom.isEmpty())
            rec.insert(QStringLiteral("windFrom"), windFrom);
        places[id] = rec;
    }

    std::map<qint64, Record> places;
    QList<Record> forms;
    QStringList paths;
    QByteArray malformed;
    int dropFromRequest = 0;
    int delayMs = 0;
    bool endless = false;

    QMutex m_mutex;

private:
    int m_requests = 0;
    qint64 m_nextId = 1000;
};

class SyncTest : public GlobalStoreTest
{
protected:
    void SetUp() override
    {
        GlobalStoreTest::SetUp();
        m_server =
            std::make_unique<LocalHttpServer>([this](const HttpServerRequest& r) { return db.handle(r); });
        m_sync = std::make_unique<WaypointSync>(*m_store, m_http, m_server->baseUrl(),
                                                m_dir.filePath(QStringLiteral("prefs.ini")));
        m_sync->setMachineIdentity(QStringLiteral("00:11:22:33:44:55"));
    }
    void TearDown() override
    {
        m_sync.reset();
        m_server.reset();
        GlobalStoreTest::TearDown();
    }

    bool download()
    {
        bool parsed = false;
        QObject::connect(
            m_sync.get(), &WaypointSync::downloadFinished, m_sync.get(), [&](bool ok) { parsed = ok; },
            Qt::DirectConnection);
        m_sync->startDownloadPass();
        EXPECT_TRUE(m_sync->waitForPasses(20000));
        QObject::disconnect(m_sync.get(), &WaypointSync::downloadFinished, nullptr, nullptr);
        return parsed;
    }
    int upload()
    {
        std::atomic<int> count{-1};
        QObject::connect(
            m_sync.get(), &WaypointSync::uploadFinished, m_sync.get(), [&](int n) { count = n; },
            Qt::DirectConnection);
        m_sync->startUploadPass();
        EXPECT_TRUE(m_sync->waitForPasses(20000));
        QObject::disconnect(m_sync.get(), &WaypointSync::uploadFinished, nullptr, nullptr);
        return count;
    }
    QList<Waypoint*> waypoints()
    {
        return main().fetch<Waypoint>({}, {SortDescriptor{QStringLiteral("name")}});
    }

    FakeWaypointDatabase db;
    NetworkHttpClient m_http;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<WaypointSync> m_sync;
};

} // namespace

TEST_F(SyncTest, DownloadsSinceTheLastSyncAndMovesThePosition)
{
    db.addPlace(1, QStringLiteral("Hohe Salve & Gipfel"), 47500000, 12100000, 1000);
    db.addPlace(2, QStringLiteral("Kössen"), 47650000, 12400000, 2000);

    const double before = QDateTime::currentSecsSinceEpoch();
    EXPECT_TRUE(download());
    ASSERT_EQ(db.forms.size(), 1);
    EXPECT_EQ(db.forms[0].value(QStringLiteral("lastSync")), QStringLiteral("0.000000"));
    EXPECT_EQ(db.forms[0].value(QStringLiteral("mac")), QStringLiteral("00:11:22:33:44:55"));
    EXPECT_EQ(db.forms[0].value(QStringLiteral("login")), QStringLiteral("qbxz"));
    EXPECT_GE(m_sync->lastWaypointSync(), before);

    const QList<Waypoint*> got = waypoints();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0]->name(), QStringLiteral("Hohe Salve & Gipfel"));
    EXPECT_EQ(got[0]->dbID(), 1);
    EXPECT_EQ(got[0]->syncOnline(), 1);
    EXPECT_EQ(got[0]->syncStatus(), 1);
    EXPECT_EQ(got[0]->country(), QStringLiteral("AT"));
    EXPECT_EQ(got[1]->latitude(), 47650000);

    // The next download asks from the new position, cut to whole seconds, and gets nothing new.
    const double position = m_sync->lastWaypointSync();
    EXPECT_TRUE(download());
    EXPECT_EQ(db.forms[1].value(QStringLiteral("lastSync")), QString::number(std::trunc(position), 'f', 6));
    EXPECT_EQ(waypoints().size(), 2);
}

TEST_F(SyncTest, DownloadedPlacesMatchByIdThenByPosition)
{
    Waypoint* byId = addWaypoint(QStringLiteral("Mine"), 1, 1);
    byId->setDbID(5);
    byId->setWindFrom(270);
    Waypoint* byPosition = addWaypoint(QStringLiteral("There"), 46000000, 10000000);
    ASSERT_TRUE(main().save().ok());

    db.addPlace(5, QStringLiteral("Renamed online"), 2, 2, 1000, QStringLiteral("-1"));
    db.addPlace(6, QStringLiteral("Found by position"), 46000000, 10000000, 1000, QStringLiteral("90"));
    EXPECT_TRUE(download());

    const QList<Waypoint*> got = waypoints();
    EXPECT_EQ(got.size(), 2);
    EXPECT_EQ(byId->name(), QStringLiteral("Renamed online"));
    EXPECT_EQ(byId->latitude(), 2);
    EXPECT_EQ(byId->windFrom(), 270); // -1 means none: the stored sector stays
    EXPECT_EQ(byId->windTo(), 180);
    EXPECT_EQ(byPosition->name(), QStringLiteral("Found by position"));
    EXPECT_EQ(byPosition->dbID(), 6);
    EXPECT_EQ(byPosition->windFrom(), 90);
    EXPECT_EQ(byPosition->syncStatus(), 1);
}

TEST_F(SyncTest, SharedPlacesOffTheGlobeOrWithoutAPositionAreLeftOut)
{
    db.addPlace(1, QStringLiteral("Kept"), 47000000, 11000000, 1000);
    db.addPlace(2, QStringLiteral("North of the pole"), 99999980, 11000000, 1000);
    db.addPlace(3, QStringLiteral("Round the world"), 47000000, 400000000, 1000);
    db.addPlace(4, QStringLiteral("No latitude"), 0, 11000000, 1000);
    {
        QMutexLocker lock(&db.m_mutex);
        db.places[4].insert(QStringLiteral("latitude"), QStringLiteral("n/a"));
    }
    db.addPlace(5, QStringLiteral("Too many digits"), 47000000, 11000000, 1000);
    {
        QMutexLocker lock(&db.m_mutex);
        db.places[5].insert(QStringLiteral("longitude"), QStringLiteral("99999999999999999999999"));
    }
    EXPECT_TRUE(download());
    const QList<Waypoint*> got = waypoints();
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got.first()->name(), QStringLiteral("Kept"));
}

TEST_F(SyncTest, FailedDownloadsKeepTheSyncPosition)
{
    m_sync->setLastWaypointSync(1234.5);

    db.malformed =
        "<waypoints><waypoint><dbID>9</dbID><name>Before the error</name><latitude>47000000</latitude>"
        "<longitude>11000000</longitude></waypoint><waypoint><dbID>";
    EXPECT_FALSE(download());
    EXPECT_EQ(m_sync->lastWaypointSync(), 1234.5);
    // What was applied before the error stays applied.
    ASSERT_EQ(waypoints().size(), 1);
    EXPECT_EQ(waypoints()[0]->name(), QStringLiteral("Before the error"));

    db.malformed.clear();
    db.dropFromRequest = 1;
    EXPECT_FALSE(download());
    EXPECT_EQ(m_sync->lastWaypointSync(), 1234.5);

    m_server->stop();
    EXPECT_FALSE(download());
    EXPECT_EQ(m_sync->lastWaypointSync(), 1234.5);
}

TEST_F(SyncTest, AnAnswerWithoutEndIsCutAndChangesNothing)
{
    // Taken in whole, this answer ended the process with bad_alloc.
    m_sync->setLastWaypointSync(1234.5);
    db.addPlace(1, QStringLiteral("Hohe Salve"), 47500000, 12100000, 2000);
    db.endless = true;
    EXPECT_FALSE(download());
    EXPECT_EQ(m_sync->lastWaypointSync(), 1234.5);
    EXPECT_TRUE(waypoints().isEmpty());

    // The next pass against a sound server works as ever.
    db.endless = false;
    EXPECT_TRUE(download());
    EXPECT_EQ(waypoints().size(), 1);
}

TEST_F(SyncTest, UploadsWaitingSharedWaypoints)
{
    Waypoint* fresh = addWaypoint(QStringLiteral("Fish & Chips = 1+1 100%"), 47000000, 11000000, true);
    Waypoint* known = addWaypoint(QStringLiteral("Known"), 46000000, 11000000, true);
    known->setDbID(77);
    known->setRadius(400);
    Waypoint* refused = addWaypoint(QStringLiteral("refuse me"), 45000000, 11000000, true);
    Waypoint* priv = addWaypoint(QStringLiteral("Private"), 44000000, 11000000);
    ASSERT_TRUE(main().save().ok());

    EXPECT_EQ(upload(), 2);
    EXPECT_EQ(db.forms.size(), 3);
    EXPECT_EQ(fresh->dbID(), 1000);
    EXPECT_EQ(fresh->syncStatus(), 1);
    EXPECT_EQ(known->dbID(), 77);
    EXPECT_EQ(known->syncStatus(), 1);
    EXPECT_EQ(refused->syncStatus(), 0); // "ERROR": stays waiting
    EXPECT_FALSE(refused->dbID().has_value());
    EXPECT_EQ(priv->syncOnline(), 0);

    const QMap<QString, QString> sent = db.places.at(1000);
    EXPECT_EQ(sent.value(QStringLiteral("name")), QStringLiteral("Fish & Chips = 1+1 100%"));
    EXPECT_EQ(sent.value(QStringLiteral("radius")), QStringLiteral("250"));
    EXPECT_EQ(sent.value(QStringLiteral("county")), QString());
    EXPECT_EQ(db.places.at(77).value(QStringLiteral("radius")), QStringLiteral("400"));

    // Nothing waits any more but the refused one.
    db.forms.clear();
    EXPECT_EQ(upload(), 0);
    EXPECT_EQ(db.forms.size(), 1);
}

TEST_F(SyncTest, ServerDyingMidPassLeavesTheRestWaiting)
{
    for (int i = 0; i < 4; ++i)
        addWaypoint(QStringLiteral("W%1").arg(i), 47000000 + i * 100000, 11000000, true);
    db.dropFromRequest = 2;
    EXPECT_EQ(upload(), 1);
    int inStep = 0;
    for (Waypoint* w : waypoints())
        inStep += w->syncStatus() == 1 ? 1 : 0;
    EXPECT_EQ(inStep, 1);
    // The pass stopped at the first unanswered request (the HTTP stack may resend that one once).
    EXPECT_EQ(db.forms.size(), 1);
    EXPECT_LE(m_server->requestCount(), 3);

    db.dropFromRequest = 0;
    EXPECT_EQ(upload(), 3);
}

TEST_F(SyncTest, StartupPassesNeverOverlap)
{
    for (int i = 0; i < 3; ++i)
        addWaypoint(QStringLiteral("W%1").arg(i), 47000000 + i * 100000, 11000000, true);
    db.addPlace(1, QStringLiteral("Online"), 40000000, 10000000, 1000);
    db.delayMs = 50;
    m_sync->startStartupPasses();
    m_sync->startDownloadPass();
    ASSERT_TRUE(m_sync->waitForPasses(20000));
    // With slow answers, passes running side by side would interleave their requests.
    EXPECT_EQ(db.paths,
              (QStringList{QStringLiteral("upload"), QStringLiteral("upload"), QStringLiteral("upload"),
                           QStringLiteral("download"), QStringLiteral("download")}));
    EXPECT_EQ(waypoints().size(), 4);
}

TEST_F(SyncTest, ChangingASharedWaypointUploadsIt)
{
    m_sync->installAsUploadStarter();
    Waypoint* w = addWaypoint(QStringLiteral("Take-off"), 47000000, 11000000, true);
    w->setSyncStatus(1);
    w->setDbID(3);
    ASSERT_TRUE(main().save().ok());

    w->setName(QStringLiteral("Take-off North"));
    ASSERT_TRUE(m_sync->waitForPasses(20000));
    ASSERT_EQ(db.forms.size(), 1);
    EXPECT_EQ(db.forms[0].value(QStringLiteral("name")), QStringLiteral("Take-off North"));
    EXPECT_EQ(db.forms[0].value(QStringLiteral("dbID")), QStringLiteral("3"));
    EXPECT_EQ(w->syncStatus(), 1);

    Waypoint* priv = addWaypoint(QStringLiteral("Private"), 1, 1);
    priv->setName(QStringLiteral("Still private"));
    ASSERT_TRUE(m_sync->waitForPasses(20000));
    EXPECT_EQ(db.forms.size(), 1);
}

TEST_F(SyncTest, AnEditMadeWhileTheUploadIsUnderWayIsUploadedToo)
{
    m_sync->installAsUploadStarter();
    Waypoint* w = addWaypoint(QStringLiteral("Take-off"), 47000000, 11000000, true);
    ASSERT_TRUE(main().save().ok());
    db.delayMs = 300;
    m_sync->startUploadPass();
    const auto sent = [&] {
        QMutexLocker lock(&db.m_mutex);
        return db.forms.size();
    };
    QDeadlineTimer deadline(10000);
    while (sent() == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_EQ(sent(), 1);

    // The answer to the first upload is still on its way.
    w->setName(QStringLiteral("Take-off North"));
    ASSERT_TRUE(m_sync->waitForPasses(20000));
    ASSERT_EQ(db.forms.size(), 2);
    EXPECT_EQ(db.forms[1].value(QStringLiteral("name")), QStringLiteral("Take-off North"));
    // The second upload updates the record the first one made.
    EXPECT_EQ(db.forms[1].value(QStringLiteral("dbID")), QStringLiteral("1000"));
    EXPECT_EQ(db.places.size(), 1u);
    EXPECT_EQ(w->dbID(), 1000);
    EXPECT_EQ(w->syncStatus(), 1);
}

TEST(WaypointSyncSettings, BaseUrlFromEnvironment)
{
    qputenv(waypointdb::envVar, "http://127.0.0.1:9/db");
    EXPECT_EQ(WaypointSync::baseUrlFromSettings(), QUrl(QStringLiteral("http://127.0.0.1:9/db")));
    qunsetenv(waypointdb::envVar);
    EXPECT_FALSE(WaypointSync::baseUrlFromSettings().isEmpty());
}
