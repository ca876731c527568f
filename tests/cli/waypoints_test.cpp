#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <zip.h>

#include "clirunner.h"
#include "model/route.h"
#include "model/routewaypoint.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
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

TEST_F(WaypointsCli, ImportWithLookupsReportsItsProgress)
{
    const QString file = writeFile(QStringLiteral("a.wpt"), twoWaypoints);
    // The place service is unreachable here: the look-ups fail, the import goes on.
    const auto slow = cli({QStringLiteral("waypoints"), QStringLiteral("import"), file});
    ASSERT_EQ(slow.exitCode, 0) << slow.err.constData();
    EXPECT_EQ(json(slow).toObject().value("imported").toInt(), 2);
    EXPECT_TRUE(slow.err.contains("1 of 2")) << slow.err.constData();
    EXPECT_TRUE(slow.err.contains("2 of 2")) << slow.err.constData();

    const auto quick = cli({QStringLiteral("waypoints"), QStringLiteral("import"), file, QStringLiteral("--no-lookup"),
                            QStringLiteral("--duplicates"), QStringLiteral("keep")});
    ASSERT_EQ(quick.exitCode, 0) << quick.err.constData();
    EXPECT_FALSE(quick.err.contains("of 2")) << quick.err.constData();
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

namespace {

QString turnpointFile(const char* name)
{
    return QStringLiteral(KALVORA_SOURCE_DIR "/tests/waypoints/data/") + QLatin1String(name);
}

/** The hand-written KML packed as a KMZ, as libzip packs it. */
QString writeKmz(const QTemporaryDir& dir)
{
    QFile kml(turnpointFile("turnpoints.kml"));
    if (!kml.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = kml.readAll();
    const QString path = dir.filePath(QStringLiteral("turnpoints.kmz"));
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return {};
    zip_file_add(archive, "doc.kml",
                 zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0), 0);
    zip_close(archive);
    return path;
}

} // namespace

TEST_F(WaypointsCli, ReadsEveryFormatAndKeepsTheOldName)
{
    const QString ozi = turnpointFile("turnpoints_ozi.wpt");
    const auto read = cli({QStringLiteral("waypoints"), QStringLiteral("read"), ozi});
    ASSERT_EQ(read.exitCode, 0) << read.err.constData();
    const QJsonArray records = json(read).toArray();
    ASSERT_EQ(records.size(), 4);
    EXPECT_EQ(records[0].toObject().value("shortName").toString(), QStringLiteral("Hohe Salve, Gipfel"));
    EXPECT_NEAR(records[2].toObject().value("latitude").toDouble(), -36.725, 1e-9);
    EXPECT_TRUE(read.err.contains("4 waypoints (OziExplorer WPT)")) << read.err.constData();
    const auto alias = cli({QStringLiteral("wpt"), QStringLiteral("read"), ozi});
    EXPECT_EQ(alias.exitCode, 0);
    EXPECT_EQ(alias.out, read.out);

    const QString kmz = writeKmz(m_dir);
    for (const QString& file : {turnpointFile("turnpoints.wpt"), turnpointFile("turnpoints.cup"),
                                turnpointFile("turnpoints.gpx"), turnpointFile("turnpoints.kml"), kmz}) {
        const auto other = cli({QStringLiteral("waypoints"), QStringLiteral("read"), file});
        ASSERT_EQ(other.exitCode, 0) << other.err.constData();
        const QJsonArray got = json(other).toArray();
        ASSERT_EQ(got.size(), 4) << file.toStdString();
        for (qsizetype i = 0; i < 4; ++i) {
            EXPECT_NEAR(got[i].toObject().value("latitude").toDouble(),
                        records[i].toObject().value("latitude").toDouble(), 1e-6)
                << file.toStdString();
            EXPECT_NEAR(got[i].toObject().value("longitude").toDouble(),
                        records[i].toObject().value("longitude").toDouble(), 1e-6)
                << file.toStdString();
        }
    }

    const auto unknown = cli({QStringLiteral("waypoints"), QStringLiteral("read"),
                              writeFile(QStringLiteral("notes.wpt"), "hello\n")});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.out.isEmpty());
    EXPECT_TRUE(unknown.err.contains("notes.wpt: not a waypoint file")) << unknown.err.constData();
    EXPECT_TRUE(unknown.err.contains("OziExplorer WPT, SeeYou CUP, GPX, KML and KMZ"))
        << unknown.err.constData();
    const auto empty = cli(
        {QStringLiteral("waypoints"), QStringLiteral("read"), writeFile(QStringLiteral("empty.cup"), "")});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(empty.err.contains("empty.cup: the file is empty")) << empty.err.constData();
}

TEST_F(WaypointsCli, ImportShowsSkippedLinesAndExportFollowsTheFileType)
{
    const QString cup =
        writeFile(QStringLiteral("a.cup"), "name,code,country,lat,lon,elev,style\r\n"
                                           "\"Hohe Salve\",HS,AT,4727.407N,01207.407E,1829m,1\r\n"
                                           "\"Broken\",BR,AT,4727.407Q,01207.407E,1829m,1\r\n"
                                           "\"Bright\",BR,AU,3643.500S,14657.420E,330m,1\r\n");
    const auto read = cli({QStringLiteral("waypoints"), QStringLiteral("read"), cup});
    ASSERT_EQ(read.exitCode, 0);
    EXPECT_TRUE(read.err.contains("2 waypoints (SeeYou CUP), 1 unreadable entry skipped"))
        << read.err.constData();

    const auto imported =
        cli({QStringLiteral("waypoints"), QStringLiteral("import"), cup, QStringLiteral("--no-lookup")});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.constData();
    EXPECT_EQ(json(imported).toObject().value("read").toInt(), 2);
    EXPECT_EQ(json(imported).toObject().value("skipped").toInt(), 1);
    EXPECT_EQ(json(imported).toObject().value("imported").toInt(), 2);
    const auto refused =
        cli({QStringLiteral("waypoints"), QStringLiteral("import"),
             writeFile(QStringLiteral("x.gpx"), "<gpx><wpt></gpx>"), QStringLiteral("--no-lookup")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("x.gpx: GPX: the XML is broken")) << refused.err.constData();

    for (const char* suffix : {"cup", "gpx", "wpt"}) {
        const QString out = m_dir.filePath(QStringLiteral("out.") + QLatin1String(suffix));
        const auto exported = cli({QStringLiteral("waypoints"), QStringLiteral("export"), out});
        ASSERT_EQ(exported.exitCode, 0) << exported.err.constData();
        EXPECT_EQ(json(exported).toObject().value("written").toInt(), 2);
        const auto back = cli({QStringLiteral("waypoints"), QStringLiteral("read"), out});
        ASSERT_EQ(back.exitCode, 0) << back.err.constData();
        const QJsonArray records = json(back).toArray();
        ASSERT_EQ(records.size(), 2) << suffix;
        // Sorted by name: Bright, Hohe Salve.
        EXPECT_EQ(records[0].toObject().value("shortName").toString(), QStringLiteral("Bright")) << suffix;
        EXPECT_NEAR(records[0].toObject().value("latitude").toDouble(), -36.725, 1e-5) << suffix;
        EXPECT_NEAR(records[1].toObject().value("longitude").toDouble(), 12 + 7.407 / 60, 1e-5) << suffix;
        EXPECT_EQ(records[1].toObject().value("altitude").toDouble(), 1829) << suffix;
    }
    QFile gpx(m_dir.filePath(QStringLiteral("out.gpx")));
    ASSERT_TRUE(gpx.open(QIODevice::ReadOnly));
    EXPECT_TRUE(gpx.readAll().contains("xmlns=\"http://www.topografix.com/GPX/1/1\""));

    const auto noType = cli(
        {QStringLiteral("waypoints"), QStringLiteral("export"), m_dir.filePath(QStringLiteral("out.kml"))});
    EXPECT_EQ(noType.exitCode, 2);
    EXPECT_TRUE(noType.err.contains("use .cup, .gpx or .wpt")) << noType.err.constData();
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("out.kml"))));
}

TEST_F(WaypointsCli, EveryFormatImportsToTheSamePlaces)
{
    const QStringList files{turnpointFile("turnpoints.wpt"), turnpointFile("turnpoints_ozi.wpt"),
                            turnpointFile("turnpoints.cup"), turnpointFile("turnpoints.gpx"),
                            turnpointFile("turnpoints.kml"), writeKmz(m_dir)};
    const auto imported = cli(
        QStringList{QStringLiteral("waypoints"), QStringLiteral("import")} + files +
        QStringList{QStringLiteral("--no-lookup"), QStringLiteral("--duplicates"), QStringLiteral("keep")});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.constData();
    EXPECT_EQ(json(imported).toObject().value("imported").toInt(), 24);
    EXPECT_EQ(json(imported).toObject().value("skipped").toInt(), 0);

    const auto list = cli({QStringLiteral("waypoints"), QStringLiteral("list")});
    ASSERT_EQ(list.exitCode, 0) << list.err.constData();
    QMap<QString, QList<QJsonObject>> byName;
    for (const QJsonValue& w : json(list).toArray())
        byName[w.toObject().value("name").toString()].append(w.toObject());
    ASSERT_EQ(byName.size(), 4) << byName.keys().join(QLatin1Char('|')).toStdString();
    for (auto it = byName.cbegin(); it != byName.cend(); ++it) {
        ASSERT_EQ(it->size(), 6) << it.key().toStdString();
        for (const QJsonObject& w : *it) {
            // Stored microdegrees are truncated, so a file's 47.456783 and another's 47.4567833 may differ by
            // one.
            EXPECT_LE(std::abs(w.value("latitude").toInteger() - it->first().value("latitude").toInteger()),
                      1)
                << it.key().toStdString();
            EXPECT_LE(std::abs(w.value("longitude").toInteger() - it->first().value("longitude").toInteger()),
                      1)
                << it.key().toStdString();
            EXPECT_EQ(w.value("altitude").toInteger(), it->first().value("altitude").toInteger())
                << it.key().toStdString();
        }
    }
}

TEST_F(WaypointsCli, ListNearAPointSortsByMetres)
{
    // 9 km south of Hohe Salve, so that a sort by the distance text ("9.0 km" > "111 m") would misplace it.
    const QByteArray three = twoWaypoints + "W  SOUTH A 47.4190000000\xBAN 12.1000000000\xBA"
                                            "E 27-MAR-62 00:00:00 500.000000 Abbey\r\n";
    ASSERT_EQ(cli({QStringLiteral("waypoints"), QStringLiteral("import"),
                   writeFile(QStringLiteral("a.wpt"), three), QStringLiteral("--no-lookup")})
                  .exitCode,
              0);
    const auto names = [this](const QStringList& extra) {
        const auto run = cli(QStringList{QStringLiteral("waypoints"), QStringLiteral("list")} + extra);
        EXPECT_EQ(run.exitCode, 0) << run.err.constData();
        QStringList out;
        for (const QJsonValue& v : json(run).toArray())
            out << v.toObject().value("name").toString();
        return out;
    };
    EXPECT_EQ(names({}), (QStringList{"Abbey", "Hohe Salve", "Landing"}));
    EXPECT_EQ(names({QStringLiteral("--near"), QStringLiteral("47.5,12.1")}),
              (QStringList{"Hohe Salve", "Landing", "Abbey"}));
    EXPECT_EQ(names({QStringLiteral("--near"), QStringLiteral("47.5,12.1"), QStringLiteral("--sort"),
                     QStringLiteral("name")}),
              (QStringList{"Abbey", "Hohe Salve", "Landing"}));

    const auto near = cli({QStringLiteral("waypoints"), QStringLiteral("list"), QStringLiteral("--near"),
                           QStringLiteral("47.5,12.1")});
    const QJsonArray all = json(near).toArray();
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[0].toObject().value("distanceM").toInteger(), 0);
    EXPECT_EQ(all[1].toObject().value("distanceM").toInteger(), 111);
    EXPECT_EQ(all[2].toObject().value("distanceM").toInteger(), 9006);
    const auto plain = cli({QStringLiteral("waypoints"), QStringLiteral("list")});
    EXPECT_FALSE(json(plain).toArray()[0].toObject().contains("distanceM"));

    for (const QStringList& bad :
         {QStringList{"--sort", "distance"}, QStringList{"--near", "95,0"}, QStringList{"--near", "47.5"},
          QStringList{"--sort", "altitude"}, QStringList{"--near"}}) {
        const auto run = cli(QStringList{QStringLiteral("waypoints"), QStringLiteral("list")} + bad);
        EXPECT_EQ(run.exitCode, 2) << bad.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
}

TEST_F(WaypointsCli, RoutesListAndShowTheStoredRoutes)
{
    const QString folder = m_dir.filePath(QStringLiteral("data/Kalvora"));
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        auto store = kalvora::PersistentStore::open(folder + QStringLiteral("/Kalvora.storedata"),
                                                    kalvora::ObjectModel::global());
        ASSERT_TRUE(store.ok());
        kalvora::ObjectContext* ctx = (*store)->mainContext();
        auto* route = ctx->insert<kalvora::Route>();
        route->setName(QStringLiteral("Zillertal"));
        route->appendWaypoint(47.2, 11.8, 1800, 400, QStringLiteral("Start"));
        route->appendWaypoint(47.3, 11.9, 900, 400, QStringLiteral("Goal"));
        auto* empty = ctx->insert<kalvora::Route>();
        empty->setName(QStringLiteral("Achensee"));
        ASSERT_TRUE(ctx->save().ok());
        (*store)->waitUntilDurable();
    }

    const auto list = cli({QStringLiteral("routes"), QStringLiteral("list")});
    ASSERT_EQ(list.exitCode, 0) << list.err.constData();
    const QJsonArray routes = json(list).toArray();
    ASSERT_EQ(routes.size(), 2);
    EXPECT_EQ(routes[0].toObject().value("name").toString(), QStringLiteral("Achensee"));
    EXPECT_EQ(routes[0].toObject().value("distanceString").toString(), QStringLiteral("n/a"));
    const QJsonObject zillertal = routes[1].toObject();
    EXPECT_EQ(zillertal.value("points").toInt(), 2);
    EXPECT_EQ(zillertal.value("routeTypeString").toString(), QStringLiteral("Freeflight"));

    const auto show =
        cli({QStringLiteral("routes"), QStringLiteral("show"), zillertal.value("id").toString()});
    ASSERT_EQ(show.exitCode, 0) << show.err.constData();
    const QJsonArray entries = json(show).toObject().value("entries").toArray();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].toObject().value("name").toString(), QStringLiteral("Start"));
    EXPECT_EQ(entries[1].toObject().value("index").toInt(), 1);
    EXPECT_EQ(entries[1].toObject().value("igcLine").toString(),
              QStringLiteral("B0000004718000N01154000EA0090000900"));

    const auto unknown =
        cli({QStringLiteral("routes"), QStringLiteral("show"), QStringLiteral("x-kalvora://a/Route/p9")});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("no route"));
    EXPECT_EQ(cli({QStringLiteral("routes")}).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("routes"), QStringLiteral("show")}).exitCode, 2);
}
