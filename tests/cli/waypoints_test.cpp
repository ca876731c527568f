#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "clirunner.h"
#include "support/httpserver.h"

using kalvora::test::runCli;

namespace {

class WaypointsCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("HOME"), m_dir.path());
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        // Nothing may leave the machine: every service points at a closed local port.
        const QString closed = kalvora::test::LocalHttpServer::closedPortUrl().toString();
        m_env.insert(QStringLiteral("KALVORA_WAYPOINTDB_URL"), closed);
        m_env.insert(QStringLiteral("KALVORA_NOMINATIM_URL"), closed);
        m_env.insert(QStringLiteral("KALVORA_TIMEZONE_URL"), closed);
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    kalvora::test::CliRun cli(const QStringList& args) { return runCli(args, m_env, 60000); }

    QJsonValue json(const kalvora::test::CliRun& run)
    {
        const QJsonDocument doc = QJsonDocument::fromJson(run.out);
        return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
};

const QByteArray twoWaypoints = "G  WGS 84\r\nU  1\r\n"
                                "W  HOHE A 47.5000000000\xBAN 12.1000000000\xBA"
                                "E 27-MAR-62 00:00:00 1829.000000 Hohe Salve\r\n"
                                "w Waypoint,0,-1.0,16777215,255,1,7,,0.0,\r\n"
                                "W  LZ A 47.5010000000\xBAN 12.1000000000\xBA"
                                "E 27-MAR-62 00:00:00 650.000000 Landing\r\n";

} // namespace

TEST_F(WaypointsCli, WptReadGivesRecords)
{
    const auto run = cli(
        {QStringLiteral("wpt"), QStringLiteral("read"), writeFile(QStringLiteral("a.wpt"), twoWaypoints)});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonArray records = json(run).toArray();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0].toObject().value("shortName").toString(), QStringLiteral("Hohe Salve"));
    EXPECT_DOUBLE_EQ(records[1].toObject().value("latitude").toDouble(), 47.501);

    const auto missing =
        cli({QStringLiteral("wpt"), QStringLiteral("read"), m_dir.filePath(QStringLiteral("none"))});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_TRUE(missing.err.contains("cannot read"));
}

TEST_F(WaypointsCli, ImportListExportRoundTrip)
{
    const QString file = writeFile(QStringLiteral("a.wpt"), twoWaypoints);
    const auto first =
        cli({QStringLiteral("waypoints"), QStringLiteral("import"), file, QStringLiteral("--no-lookup")});
    ASSERT_EQ(first.exitCode, 0) << first.err.constData();
    EXPECT_EQ(json(first).toObject().value("imported").toInt(), 2);

    // The same places again lie on the stored ones: skipped by default, kept on request.
    const auto skip =
        cli({QStringLiteral("waypoints"), QStringLiteral("import"), file, QStringLiteral("--no-lookup"),
             QStringLiteral("--duplicates"), QStringLiteral("skip")});
    EXPECT_EQ(json(skip).toObject().value("imported").toInt(), 0);
    const auto keep =
        cli({QStringLiteral("waypoints"), QStringLiteral("import"), file, QStringLiteral("--no-lookup"),
             QStringLiteral("--duplicates"), QStringLiteral("keep")});
    EXPECT_EQ(json(keep).toObject().value("imported").toInt(), 2);

    const auto list = cli({QStringLiteral("waypoints"), QStringLiteral("list")});
    ASSERT_EQ(list.exitCode, 0) << list.err.constData();
    const QJsonArray all = json(list).toArray();
    ASSERT_EQ(all.size(), 4);
    const QJsonObject hohe = all[0].toObject();
    EXPECT_EQ(hohe.value("name").toString(), QStringLiteral("Hohe Salve"));
    EXPECT_EQ(hohe.value("latitude").toInteger(), 47500000);
    EXPECT_DOUBLE_EQ(hohe.value("doubleLatitude").toDouble(), 47.5);
    EXPECT_EQ(hohe.value("altitude").toInteger(), 1829);
    EXPECT_TRUE(hohe.value("size").isNull());

    const QString out = m_dir.filePath(QStringLiteral("out.wpt"));
    const auto exported = cli({QStringLiteral("waypoints"), QStringLiteral("export"), out,
                               QStringLiteral("--name"), QStringLiteral("Landing")});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.constData();
    EXPECT_EQ(json(exported).toObject().value("written").toInt(), 2);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("G  WGS 84\r\nU  1\r\nW  Landing A 47.5010000000\xBAN"));
    EXPECT_EQ(bytes.count("\r\nW  "), 2);
}

TEST_F(WaypointsCli, SyncWithoutServerFailsAndRouteScores)
{
    const auto sync = cli({QStringLiteral("waypoints"), QStringLiteral("sync")});
    EXPECT_NE(sync.exitCode, 0);
    EXPECT_TRUE(sync.err.contains("download"));

    const auto score = cli(
        {QStringLiteral("route"), QStringLiteral("score"), QStringLiteral("0,0"), QStringLiteral("0,1,500")});
    ASSERT_EQ(score.exitCode, 0) << score.err.constData();
    const QJsonObject s = json(score).toObject();
    EXPECT_NEAR(s.value("distanceKm").toDouble(), 111.195, 0.001);
    EXPECT_EQ(s.value("routeType").toInt(), 0);
    EXPECT_EQ(s.value("points").toArray().size(), 5);

    const auto bad = cli({QStringLiteral("route"), QStringLiteral("score"), QStringLiteral("91,0")});
    EXPECT_NE(bad.exitCode, 0);
}

TEST_F(WaypointsCli, SyncAgainstALocalDatabase)
{
    kalvora::test::LocalHttpServer server([](const kalvora::test::HttpServerRequest& r) {
        kalvora::test::HttpServerResponse response;
        if (r.path == "/klv_get_waypoints.php")
            response.body =
                "<waypoints><waypoint><dbID>4</dbID><name>Online</name><latitude>46000000</latitude>"
                "<longitude>10000000</longitude></waypoint></waypoints>";
        else
            response.body = "dbID=1";
        return response;
    });
    m_env.insert(QStringLiteral("KALVORA_WAYPOINTDB_URL"), server.baseUrl().toString());
    const auto sync = cli({QStringLiteral("waypoints"), QStringLiteral("sync")});
    ASSERT_EQ(sync.exitCode, 0) << sync.err.constData();
    EXPECT_TRUE(json(sync).toObject().value("downloaded").toBool());
    EXPECT_EQ(json(sync).toObject().value("waypoints").toInt(), 1);
    EXPECT_GT(json(sync).toObject().value("lastWaypointSync").toDouble(), 0);
}
