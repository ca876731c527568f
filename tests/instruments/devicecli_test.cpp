// kalvora-cli device against the simulated instrument.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "braeunigersim.h"
#include "simcommon/streamsource.h"
#include "support/germannumbers.h"
#include "support/testdata.h"

using namespace kalvora;

namespace {

struct CliResult
{
    int exitCode = -1;
    QByteArray out, err;
    QJsonDocument json() const { return QJsonDocument::fromJson(out); }
};

/** LOCALE, when set, is the LC_ALL the CLI runs under. */
CliResult runDeviceCli(QStringList args, int silentReadMs = 100, const QString& locale = {})
{
    static QTemporaryDir home;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    env.insert(QStringLiteral("KALVORA_SERIAL_SILENT_READ_MS"), QString::number(silentReadMs));
    if (!locale.isEmpty())
        env.insert(QStringLiteral("LC_ALL"), locale);
    p.setProcessEnvironment(env);
    args.prepend(QStringLiteral("device"));
    p.start(QStringLiteral(KALVORA_CLI), args);
    CliResult r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace

class DeviceCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::vector<sim::IgcFile> tracks;
        if (!test::testdataDir().empty())
            tracks = sim::loadIgcFiles(test::testdataDir() + "/igc", {"marcourt.igc", "d3p.igc"});
        m_sim = std::make_shared<sim::BraeunigerSim>("5030", tracks);
        m_runner = std::make_unique<sim::SimulatorRunner>(m_sim);
        ASSERT_TRUE(m_runner->start());
        m_port = QString::fromStdString(m_runner->slavePath());
    }
    QStringList port() const { return {QStringLiteral("--port"), m_port}; }

    std::shared_ptr<sim::BraeunigerSim> m_sim;
    std::unique_ptr<sim::SimulatorRunner> m_runner;
    QString m_port;
};

TEST_F(DeviceCli, ScanNamesTheInstrument)
{
    const CliResult r = runDeviceCli(QStringList{QStringLiteral("scan")} + port());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = r.json().object();
    EXPECT_EQ(o.value(QStringLiteral("name")).toString(), QStringLiteral("Flytec 5030"));
    EXPECT_EQ(o.value(QStringLiteral("driver")).toString(), QStringLiteral("braeuniger"));
    EXPECT_EQ(o.value(QStringLiteral("port")).toString(), m_port);
}

TEST_F(DeviceCli, TracksAndByteExactDownload)
{
    KALVORA_REQUIRE_TESTDATA();
    const CliResult list = runDeviceCli(QStringList{QStringLiteral("tracks")} + port());
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QJsonArray tracks = list.json().array();
    ASSERT_EQ(tracks.size(), 2);
    const QJsonObject first = tracks[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("number")).toInt(), 1);
    EXPECT_TRUE(first.value(QStringLiteral("utcDateTime")).toString().endsWith(QLatin1Char('Z')));
    EXPECT_GT(first.value(QStringLiteral("flightTime")).toDouble(), 0);
    EXPECT_EQ(first.value(QStringLiteral("durationString")).toString().size(), 8);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("t.igc"));
    const CliResult dl = runDeviceCli(QStringList{QStringLiteral("download"), QStringLiteral("2"),
                                                  QStringLiteral("-o"), file} + port(), 200);
    ASSERT_EQ(dl.exitCode, 0) << dl.err.toStdString();
    EXPECT_EQ(test::readFile(file.toStdString()), test::readFile(test::igcPath("d3p.igc")));

    const CliResult missing = runDeviceCli(QStringList{QStringLiteral("download"), QStringLiteral("9"),
                                                       QStringLiteral("-o"), file} + port());
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_TRUE(missing.out.isEmpty());
}

TEST_F(DeviceCli, ImportBringsTracksIntoALogbookOnceAndReplacesOnRequest)
{
    KALVORA_REQUIRE_TESTDATA();
    QTemporaryDir dir;
    const QString logbook = dir.filePath(QStringLiteral("Flights.kalvora"));
    const auto import = [&](QStringList extra) {
        return runDeviceCli(QStringList{QStringLiteral("import"), logbook, QStringLiteral("1"), QStringLiteral("2"),
                                        QStringLiteral("--offline")} +
                            extra + port());
    };
    CliResult r = import({});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonObject o = r.json().object();
    EXPECT_EQ(o.value(QStringLiteral("imported")).toArray().size(), 2);
    const QJsonArray flights = o.value(QStringLiteral("flights")).toArray();
    ASSERT_EQ(flights.size(), 2);
    for (const QJsonValue& flight : flights) {
        EXPECT_TRUE(flight.toObject().value(QStringLiteral("validIGC")).toBool());
        EXPECT_GE(flight.toObject().value(QStringLiteral("freeDistance")).toDouble(), 0); // scored
    }

    // By default a track already in the logbook is skipped: only new flights come in.
    r = import({});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    o = r.json().object();
    EXPECT_EQ(o.value(QStringLiteral("imported")).toArray().size(), 0);
    EXPECT_EQ(o.value(QStringLiteral("skipped")).toArray().size(), 2);

    r = import({QStringLiteral("--overlap"), QStringLiteral("replace")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    o = r.json().object();
    EXPECT_EQ(o.value(QStringLiteral("imported")).toArray().size(), 2);
    EXPECT_EQ(o.value(QStringLiteral("replaced")).toInt(), 2);

    const CliResult unknown = runDeviceCli(QStringList{QStringLiteral("import"), logbook, QStringLiteral("9")} + port());
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("no track 9"));
    const CliResult bad = runDeviceCli(QStringList{QStringLiteral("import"), logbook, QStringLiteral("x")} + port());
    EXPECT_EQ(bad.exitCode, 2);
}

TEST_F(DeviceCli, WaypointsWriteAndDelete)
{
    CliResult r = runDeviceCli(QStringList{QStringLiteral("write-waypoint"), QStringLiteral("--name"),
                                           QStringLiteral("Gipfel"), QStringLiteral("--lat"), QStringLiteral("46.5"),
                                           QStringLiteral("--lon"), QStringLiteral("7.25"), QStringLiteral("--alt"),
                                           QStringLiteral("2100")} + port());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = runDeviceCli(QStringList{QStringLiteral("waypoints")} + port());
    ASSERT_EQ(r.exitCode, 0);
    const QJsonArray list = r.json().array();
    ASSERT_EQ(list.size(), 3);
    const QJsonObject gipfel = list[0].toObject();
    EXPECT_EQ(gipfel.value(QStringLiteral("shortName")).toString(), QStringLiteral("Gipfel           "));
    EXPECT_DOUBLE_EQ(gipfel.value(QStringLiteral("latitude")).toDouble(), 46.5);
    EXPECT_EQ(gipfel.value(QStringLiteral("altitude")).toDouble(), 2100);
    EXPECT_EQ(gipfel.value(QStringLiteral("radius")).toDouble(), 0);

    r = runDeviceCli(QStringList{QStringLiteral("delete-waypoints"), QStringLiteral("Gipfel")} + port());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(m_sim->waypoints().size(), 2u);
    r = runDeviceCli(QStringList{QStringLiteral("delete-waypoints"), QStringLiteral("--all")} + port());
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(m_sim->waypoints().empty());
}

TEST_F(DeviceCli, RoutesAndSettings)
{
    m_sim->setRoutes({{1, "Ridge", {"Startplatz"}}});
    CliResult r = runDeviceCli(QStringList{QStringLiteral("routes")} + port());
    ASSERT_EQ(r.exitCode, 0);
    const QJsonArray routes = r.json().array();
    ASSERT_EQ(routes.size(), 1);
    EXPECT_EQ(routes[0].toObject().value(QStringLiteral("waypoints")).toArray().size(), 1);

    r = runDeviceCli(QStringList{QStringLiteral("settings")} + port());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject settings = r.json().object();
    EXPECT_EQ(settings.value(QStringLiteral("owner")).toString(), QStringLiteral("SIM PILOT"));
    EXPECT_EQ(settings.value(QStringLiteral("baseVolume")).toDouble(), 50);
}

TEST_F(DeviceCli, BadUsageAndSilentPort)
{
    EXPECT_EQ(runDeviceCli({QStringLiteral("frobnicate")}).exitCode, 2);
    EXPECT_EQ(runDeviceCli(QStringList{QStringLiteral("download"), QStringLiteral("1")} + port()).exitCode, 2);
    m_runner->stop();
    const CliResult r = runDeviceCli(QStringList{QStringLiteral("scan")} + port());
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("No instrument answered"));
}

TEST_F(DeviceCli, AWaypointWrittenUnderAGermanLocaleKeepsItsPoint)
{
    const test::GermanNumbers german; // only to learn whether the system has the locale
    KALVORA_REQUIRE_GERMAN_NUMBERS(german);
    const QString de = QStringLiteral("de_DE.UTF-8");
    CliResult r = runDeviceCli(
        QStringList{QStringLiteral("write-waypoint"), QStringLiteral("--name"), QStringLiteral("Uetliberg"),
                    QStringLiteral("--lat"), QStringLiteral("47.3"), QStringLiteral("--lon"),
                    QStringLiteral("8.1"), QStringLiteral("--alt"), QStringLiteral("871")} +
            port(),
        100, de);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(m_sim->commandLog().back(), "$PBRWPR,4718.000,N,00806.000,E,,Uetliberg        ,0871");
    r = runDeviceCli(QStringList{QStringLiteral("waypoints")} + port(), 100, de);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    bool found = false;
    for (const QJsonValue& w : r.json().array()) {
        if (w.toObject().value(QStringLiteral("shortName")).toString().trimmed() !=
            QLatin1String("Uetliberg"))
            continue;
        found = true;
        EXPECT_DOUBLE_EQ(w.toObject().value(QStringLiteral("latitude")).toDouble(), 47.3);
        EXPECT_DOUBLE_EQ(w.toObject().value(QStringLiteral("longitude")).toDouble(), 8.1);
    }
    EXPECT_TRUE(found) << r.out.toStdString();
}

TEST(DeviceCliStreamingPort, ScanEndsAndFindsNoInstrument)
{
    sim::StreamSource gps(sim::StreamKind::Nmea);
    ASSERT_TRUE(gps.start());
    const CliResult r = runDeviceCli(
        {QStringLiteral("scan"), QStringLiteral("--port"), QString::fromStdString(gps.slavePath())}, 200);
    EXPECT_EQ(r.exitCode, 1) << "-1: still scanning after a minute";
    EXPECT_TRUE(r.err.contains("No instrument answered")) << r.err.toStdString();
}
