// Files, values and services that fight back: each command refuses them
// cleanly, quickly and without reporting success.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <random>

#include <sys/stat.h>
#include <unistd.h>

#include "clirunner.h"
#include "support/httpserver.h"

using kalvora::test::HttpServerRequest;
using kalvora::test::HttpServerResponse;
using kalvora::test::LocalHttpServer;
using kalvora::test::runCli;

namespace {

/** One fix every STEPS seconds moving north at SPEEDKMH near Innsbruck on 1 June 2024, from STARTS. */
QByteArray igcTrack(int startS, int fixes, int stepS, double speedKmh)
{
    QByteArray text = "AXXX001\r\nHFDTE010624\r\n";
    for (int i = 0; i < fixes; ++i) {
        const int t = startS + i * stepS;
        // [thousandths of a minute of latitude]: metres / 1.852
        const int north = static_cast<int>(i * stepS * speedKmh / 3.6 / 1.852);
        text += QString::asprintf("B%02d%02d%02d%07dN01122000EA%05d%05d\r\n", t / 3600, t % 3600 / 60, t % 60,
                                  4715000 + north, 1500, 1500)
                    .toLatin1();
    }
    return text;
}

/** A half-hour flight at 36 km/h, one fix a minute. */
QByteArray flight(int startS)
{
    return igcTrack(startS, 31, 60, 36);
}

class HostileInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_env = kalvora::test::freshUserEnvironment(m_dir.path());
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QString fifo(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        return path;
    }

    QString logbook() const { return m_dir.filePath("book.kalvora"); }

    kalvora::test::CliRun cli(const QStringList& args, int timeoutMs = 60000, const QByteArray& input = {})
    {
        return runCli(args, m_env, timeoutMs, input);
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
};

TEST_F(HostileInput, SpecialFilesAndOversizedFilesAreRefusedByEveryCommand)
{
    // A pipe nobody writes to (reading it waited for ever), a device that never
    // ends (it passed the size check with size 0 and filled memory), a sparse
    // file past the IGC limit, and a folder.
    const QString pipe = fifo("pipe.igc");
    const QString zero = m_dir.filePath("zero.igc");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    const QString big = m_dir.filePath("big.igc");
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(65LL * 1024 * 1024));
    }
    const QString folder = m_dir.filePath("folder.igc");
    ASSERT_TRUE(QDir().mkpath(folder));

    for (const char* command : {"analyse", "score", "sign"}) {
        for (const QString& path : {pipe, zero, big, folder}) {
            SCOPED_TRACE(std::string(command) + " " + path.toStdString());
            const auto run = cli({command, path}, 20000);
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_TRUE(run.out.isEmpty());
            EXPECT_TRUE(run.err.contains(QFile::encodeName(path))) << run.err.toStdString();
        }
    }
    EXPECT_TRUE(cli({"analyse", pipe}).err.contains("not a regular file"));
    EXPECT_TRUE(cli({"analyse", big}).err.contains("larger than 64 MB"));

    // A folder is searched for recordings (this one holds none); the three files fail.
    const auto imported = cli({"import", logbook(), pipe, zero, big, folder, "--offline"}, 20000);
    EXPECT_EQ(imported.exitCode, 1);
    const QJsonObject summary = QJsonDocument::fromJson(imported.out).object();
    EXPECT_EQ(summary.value("failed").toArray().size(), 3);
    EXPECT_TRUE(summary.value("imported").toArray().isEmpty());

    const auto waypoints = cli({"wpt", "read", pipe}, 20000);
    EXPECT_EQ(waypoints.exitCode, 1);
    EXPECT_TRUE(waypoints.err.contains(QFile::encodeName(pipe))) << waypoints.err.toStdString();
}

TEST_F(HostileInput, OutOfRangeValuesAreRefusedWithAMessage)
{
    struct Case
    {
        const char* name;
        QStringList args;
        const char* message;
    };
    // --port names nothing: a refusal must come before any instrument is looked for.
    const QString noPort = m_dir.filePath("no-such-port");
    const Case cases[] = {
        {"RouteNaN", {"route", "score", "nan,nan", "47,11"}, "nan,nan"},
        {"RouteInfinity", {"route", "score", "47,inf", "47,11"}, "47,inf"},
        {"RouteLatitude", {"route", "score", "91,11", "47,11"}, "91,11"},
        {"RouteAltitude", {"route", "score", "47,11,1e12", "47.1,11"}, "1e12"},
        {"PointsType", {"score", "x.igc", "--points-type", "7"}, "--points-type"},
        {"WaypointNaN", {"device", "write-waypoint", "--name", "X", "--lat", "nan", "--lon", "inf", "--port", noPort},
         "--lat"},
        {"WaypointLongitude",
         {"device", "write-waypoint", "--name", "X", "--lat", "47", "--lon", "400", "--port", noPort}, "--lon"},
        {"WaypointAltitude",
         {"device", "write-waypoint", "--name", "X", "--lat", "47", "--lon", "11", "--alt", "1e12", "--port", noPort},
         "--alt"},
        {"WaypointRadius",
         {"device", "write-waypoint", "--name", "X", "--lat", "47", "--lon", "11", "--radius", "-5", "--port", noPort},
         "--radius"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto run = cli(c.args, 20000);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
    }
    const auto route = cli({"route", "score", "47,11", "47.5,11"});
    EXPECT_EQ(route.exitCode, 0) << route.err.toStdString();
    EXPECT_NEAR(QJsonDocument::fromJson(route.out).object().value("freeKm").toDouble(), 55.6, 0.5);

    // Bad waypoint lines are skipped, counted, and the good ones read.
    const QString wpt = writeFile("mixed.wpt", "G  WGS 84\r\nU  1\r\n"
                                               "W  A A 999.5000000000\xBAN 11.0000000000\xBA"
                                               "E 27-MAR-62 00:00:00 100.000000 Far North\r\n"
                                               "W  B A 47.0000000000\xBAN 11.0000000000\xBA"
                                               "E 27-MAR-62 00:00:00 100.000000 Good\r\n"
                                               "W  C A 47.0000000000\xBAN 11.0000000000\xBA"
                                               "E 27-MAR-62 00:00:00 100.000000\r\n");
    const auto read = cli({"wpt", "read", wpt});
    EXPECT_EQ(read.exitCode, 0) << read.err.toStdString();
    const QJsonArray records = QJsonDocument::fromJson(read.out).array();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].toObject().value("shortName").toString(), "Good");
    EXPECT_TRUE(read.err.contains("2 unreadable entries skipped")) << read.err.toStdString();
}

TEST_F(HostileInput, SignRefusesWhatIsNoIGCRecord)
{
    std::mt19937 random(12);
    QByteArray noise(1024 * 1024, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    const auto run = cli({"sign", writeFile("random.igc", noise)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("not an IGC record")) << run.err.toStdString();

    const auto text = cli({"sign", writeFile("notes.igc", "Dear diary,\r\nflew today.\r\n")});
    EXPECT_EQ(text.exitCode, 1);
    const auto good = cli({"sign", writeFile("good.igc", flight(36000))});
    EXPECT_EQ(good.exitCode, 0) << good.err.toStdString();
    EXPECT_TRUE(good.out.startsWith("AXKV"));
}

TEST_F(HostileInput, ATrackThatNeverTakesOffIsNoFlight)
{
    // 201 fixes at walking pace, and a flight written backwards: stored, they
    // became flights of 23:59:59 and 21.6 hours.
    const QString walk = writeFile("walk.igc", igcTrack(36000, 201, 1, 4));
    QList<QByteArray> lines = flight(36000).split('\n');
    lines.removeAll(QByteArray());
    std::reverse(lines.begin() + 2, lines.end());
    const QString backwards = writeFile("backwards.igc", lines.join('\n') + '\n');

    const auto run = cli({"import", logbook(), walk, backwards, "--offline"});
    EXPECT_EQ(run.exitCode, 1);
    const QJsonObject summary = QJsonDocument::fromJson(run.out).object();
    EXPECT_TRUE(summary.value("flights").toArray().isEmpty());
    const QJsonArray failed = summary.value("failed").toArray();
    ASSERT_EQ(failed.size(), 2);
    for (const QJsonValue& entry : failed)
        EXPECT_FALSE(entry.toObject().value("reason").toString().isEmpty());

    const auto analysed = cli({"analyse", walk});
    EXPECT_EQ(analysed.exitCode, 1);
    EXPECT_TRUE(analysed.err.contains("no flight found")) << analysed.err.toStdString();
}

TEST_F(HostileInput, AScoreThatCannotBeSavedIsReportedAndComputedAgain)
{
    const QString first = writeFile("first.igc", flight(10 * 3600));
    ASSERT_EQ(cli({"import", logbook(), first, "--offline"}).exitCode, 0);

    // The file refuses every score as a full disk would, and nothing else.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "failscores");
        db.setDatabaseName(logbook());
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("CREATE TRIGGER fullDisk BEFORE UPDATE OF \"freeDistance\" ON \"Flight\" "
                           "WHEN NEW.\"freeDistance\" >= 0 BEGIN SELECT RAISE(ABORT, 'database or disk is full'); "
                           "END"))
            << q.lastError().text().toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase("failscores");
    const QString second = writeFile("second.igc", flight(14 * 3600));
    const auto run = cli({"import", logbook(), second, "--offline"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    const QJsonObject summary = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(summary.value("imported").toArray(), QJsonArray{second});
    const QJsonArray failed = summary.value("failed").toArray();
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0].toObject().value("file").toString(), second);
    EXPECT_TRUE(failed[0].toObject().value("reason").toString().contains("full")) << run.out.toStdString();
    for (const QJsonValue& f : summary.value("flights").toArray())
        EXPECT_LT(f.toObject().value("freeDistance").toDouble(), 0);

    // Once the disk has room again, the next opening scores it.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "freedisk");
        db.setDatabaseName(logbook());
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("DROP TRIGGER fullDisk"));
        db.close();
    }
    QSqlDatabase::removeDatabase("freedisk");
    const QString third = writeFile("third.igc", flight(18 * 3600));
    EXPECT_EQ(cli({"import", logbook(), third, "--offline"}).exitCode, 0);
    const auto listed = cli({"list", logbook()});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    const QJsonArray flights = QJsonDocument::fromJson(listed.out).array();
    ASSERT_EQ(flights.size(), 3);
    for (const QJsonValue& f : flights)
        EXPECT_GT(f.toObject().value("freeDistance").toDouble(), 0);
}

TEST_F(HostileInput, ADeadPlaceServiceIsGivenUpAndTheZoneDatabaseGivesTheOffset)
{
    // The reverse service answers without end, the time-zone service fails.
    LocalHttpServer services([](const HttpServerRequest& request) {
        HttpServerResponse response;
        if (request.path.startsWith("/timezone/"))
            response.status = 503;
        else
            response.endlessBody = true;
        return response;
    });
    m_env.insert("KALVORA_NOMINATIM_URL", services.baseUrl().toString());
    m_env.insert("KALVORA_TIMEZONE_URL", services.baseUrl().toString());
    QStringList args{"import", logbook()};
    for (int i = 0; i < 4; ++i)
        args << writeFile(QStringLiteral("f%1.igc").arg(i), flight(8 * 3600 + i * 7200));
    args << "--overlap" << "import";

    const auto run = cli(args, 120000);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject summary = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(summary.value("imported").toArray().size(), 4);
    EXPECT_EQ(summary.value("placesMissing").toArray().size(), 4);
    EXPECT_TRUE(run.err.contains("place finder did not answer")) << run.err.toStdString();
    // Three failed look-ups (with two time-zone requests) and then no more asking.
    EXPECT_LE(services.requestCount(), 5);

    if (!QTimeZone(QByteArray("Europe/Vienna")).isValid() || !QFile::exists("/usr/share/zoneinfo/zone1970.tab"))
        GTEST_SKIP() << "no time-zone database under /usr/share/zoneinfo; skipping the offset check";
    for (const QJsonValue& f : summary.value("flights").toArray())
        EXPECT_EQ(f.toObject().value("utcOffset").toDouble(), 2);
}

} // namespace
