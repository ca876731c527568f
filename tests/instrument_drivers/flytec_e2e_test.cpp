#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "flytecsim.h"
#include "instruments/devices.h"
#include "instruments/flytec/flytec.h"
#include "instruments/serialport.h"
#include "simsupport.h"
#include "support/testdata.h"

using namespace kalvora;
using kalvora::sim::FlytecInstrument;
using kalvora::sim::FlytecSim;
using Harness = kalvora::test::SimHarness<FlytecSim>;

namespace {

std::unique_ptr<Flytec> openFlytec(const std::string& path)
{
    auto device = Flytec::open(path, std::make_unique<SerialPort>());
    return std::unique_ptr<Flytec>(static_cast<Flytec*>(device.release()));
}

std::vector<sim::IgcFile> syntheticTracks(int count)
{
    std::vector<sim::IgcFile> files;
    for (int i = 0; i < count; ++i)
        files.push_back(sim::igcFileFromText("t" + std::to_string(i),
                                             test::syntheticIgc("061226", 20 + i, 3600 * 8 + i * 600)));
    return files;
}

DeviceWayPoint waypoint(const std::string& name, double lat, double lon, double alt, double radius = 0)
{
    DeviceWayPoint wp;
    wp.shortName = name;
    wp.latitude = lat;
    wp.longitude = lon;
    wp.altitude = alt;
    wp.gpsaltitude = alt;
    wp.radius = radius;
    return wp;
}

std::vector<std::string> commandHeads(FlytecSim& sim)
{
    return sim.withInstrument([](FlytecInstrument& i) {
        std::vector<std::string> heads;
        for (const std::string& c : i.log())
            heads.push_back(c.substr(0, 9));
        return heads;
    });
}

struct Recorder final : GpsDeviceDelegate
{
    void tracksRead(GpsDevice&, const std::vector<Track>& list) override
    {
        tracks = list;
        onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        done = true;
    }
    void settingsRead(GpsDevice&, bool ok) override
    {
        settingsOk = ok;
        done = true;
    }
    bool waitDone(int ms = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done && timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done;
    }
    std::vector<Track> tracks;
    bool settingsOk = false;
    bool onMainThread = false;
    bool done = false;
};

} // namespace

TEST(FlytecIdentification, AnyAnswerIsTheInstrumentsName)
{
    for (const char* name : {"Flytec 6015 V3.14", "IQ-Basic GPS", "x"}) {
        Harness h({}, name);
        ASSERT_TRUE(h.started);
        const auto device = openFlytec(h.path());
        ASSERT_NE(device, nullptr) << name;
        EXPECT_EQ(device->name(), name);
        EXPECT_EQ(device->driverId(), "flytec");
        EXPECT_EQ(device->maxWaypoints(), 200);
        EXPECT_EQ(device->maxRoutes(), 1);
        EXPECT_FALSE(device->has(DeviceOperation::DeleteAllRoutes));
    }
}

TEST(FlytecIdentification, TheScanTriesFlytecLast)
{
    Harness h({}, "Flytec 6030 command");
    ASSERT_TRUE(h.started);
    Devices devices;
    const ScanResult result = devices.scan({h.path()});
    ASSERT_NE(result.device, nullptr);
    EXPECT_EQ(result.device->driverId(), "flytec");
    EXPECT_EQ(result.device->name(), "Flytec 6030 command");
}

TEST(FlytecTracks, ListAndDownloadOfRealRecordingsAreByteExact)
{
    KALVORA_REQUIRE_TESTDATA();
    std::vector<sim::IgcFile> files =
        sim::loadIgcFiles(test::testdataDir() + "/igc", {"marcourt.igc", "d3p.igc", "tri.igc"});
    ASSERT_EQ(files.size(), 3u);
    Harness h({}, "Flytec 6015", files);
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    std::vector<Track> tracks = device->tracks();
    ASSERT_EQ(tracks.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].name);
        EXPECT_EQ(tracks[i].utcDateTime, files[i].startUTC);
        EXPECT_EQ(tracks[i].flightTime, static_cast<double>(files[i].flightTimeS));
        ASSERT_TRUE(device->igcTrack(tracks[i]));
        EXPECT_EQ(tracks[i].igcData, files[i].text);
    }
}

TEST(FlytecTracks, NumbersAboveFifteenAreSentAsHex)
{
    Harness h({}, "Flytec 6015", syntheticTracks(18));
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    std::vector<Track> tracks = device->tracks();
    ASSERT_EQ(tracks.size(), 18u);
    ASSERT_TRUE(device->igcTrack(tracks[17]));
    EXPECT_EQ(tracks[17].igcData, test::syntheticIgc("061226", 37, 3600 * 8 + 17 * 600));
    EXPECT_EQ(commandHeads(*h.sim).back(), "ACT_21_11");

    Track missing = tracks[0];
    missing.trackNumber = 99;
    EXPECT_FALSE(device->igcTrack(missing)); // "No Data" is not a track
}

TEST(FlytecTracks, DeleteAllEmptiesTheInstrument)
{
    Harness h({}, "Flytec 6015", syntheticTracks(2));
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->deleteAllTracks().ok());
    EXPECT_TRUE(device->tracks().empty());
}

TEST(FlytecTracks, ListReadCallsBackOnTheMainThread)
{
    Harness h({}, "Flytec 6015", syntheticTracks(2));
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    Recorder recorder;
    device->setDelegate(&recorder);
    device->trackList();
    ASSERT_TRUE(recorder.waitDone());
    EXPECT_EQ(recorder.tracks.size(), 2u);
    EXPECT_TRUE(recorder.onMainThread);
}

TEST(FlytecWaypoints, WriteReadAndDeleteRewritesTheRest)
{
    Harness h({}, "Flytec 6015");
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->waypoints().empty()); // "No Data"
    ASSERT_TRUE(device->writeWaypoint(waypoint("Z\xc3\xbcrich Uetliberg Nord", 47.35, 8.49, 871)).ok());
    ASSERT_TRUE(device->writeWaypoint(waypoint("Aconcagua", -32.653, -70.011, 6961)).ok());
    ASSERT_TRUE(device->writeWaypoint(waypoint("Dead Sea", 31.5, 35.5, -2500, 900000)).ok());

    const std::vector<DeviceWayPoint> list = device->waypoints();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].shortName, "Aconcagua       ");
    EXPECT_NEAR(list[0].latitude, -32.653, 1e-5);
    EXPECT_NEAR(list[0].longitude, -70.011, 1e-5);
    EXPECT_EQ(list[1].shortName, "Dead Sea        ");
    EXPECT_EQ(list[1].altitude, -2000); // clamped
    EXPECT_EQ(list[1].radius, 200000);  // clamped
    EXPECT_EQ(list[1].altitudeString, "-2000");
    EXPECT_EQ(list[2].shortName, "Zuerich Uetliber");
    EXPECT_EQ(list[2].radius, 20);

    const auto before = commandHeads(*h.sim).size();
    ASSERT_TRUE(device->deleteWaypoints({list[1]}).ok());
    const auto heads = commandHeads(*h.sim);
    EXPECT_EQ(std::vector<std::string>(heads.begin() + static_cast<long>(before), heads.end()),
              (std::vector<std::string>{"ACT_30_00", "ACT_32_00", "ACT_32_00"}));
    const std::vector<DeviceWayPoint> after = device->waypoints();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].shortName, list[0].shortName);
    EXPECT_EQ(after[1].shortName, list[2].shortName);

    ASSERT_TRUE(device->deleteAllWaypoints().ok());
    EXPECT_TRUE(device->waypoints().empty());
}

TEST(FlytecWaypoints, FullListAndDuplicateNamesAreReported)
{
    Harness h({}, "Flytec 6015");
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    h.sim->withInstrument([](FlytecInstrument& i) {
        for (int n = 0; n < 199; ++n)
            i.addWaypointLine(flytec::dataLine("WP" + std::to_string(n), 46, 7, 1000, 0).substr(0, 56));
        return 0;
    });
    ASSERT_TRUE(device->writeWaypoint(waypoint("Last", 46, 7, 1000)).ok());
    const Result<Done> full = device->writeWaypoint(waypoint("One more", 46, 7, 1000));
    ASSERT_FALSE(full.ok());
    EXPECT_EQ(full.error(), "Waypoint list is full");
    h.sim->withInstrument([](FlytecInstrument& i) {
        i.answer("ACT_30_00\r\n");
        i.addWaypointLine(flytec::dataLine("WP1", 46, 7, 1000, 0).substr(0, 56));
        return 0;
    });
    const Result<Done> exists = device->writeWaypoint(waypoint("WP1", 45, 6, 900));
    ASSERT_FALSE(exists.ok());
    EXPECT_EQ(exists.error(), "Waypoint with name already exist");
}

TEST(FlytecWaypoints, DeleteBeforeAWholeReadDeletesNothing)
{
    Harness h({}, "Flytec 6015");
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->writeWaypoint(waypoint("Keep", 46, 7, 1000)).ok());
    EXPECT_FALSE(device->deleteWaypoints({waypoint("Other", 1, 1, 1)}).ok());
    EXPECT_EQ(h.sim->withInstrument([](FlytecInstrument& i) { return i.waypointLines().size(); }), 1u);
}

TEST(FlytecRoutes, WriteKeepsIndexOrderAndReadsBackTheOneRoute)
{
    Harness h({}, "Flytec 6015");
    h.sim->withInstrument([](FlytecInstrument& i) {
        i.setRouteCapacity(4);
        return 0;
    });
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->routes().has_value());
    EXPECT_TRUE(device->routes()->empty());

    RouteToWrite route;
    route.name = "Task";
    route.entries = {{2, "Goal", 46.7, 7.9, 600, 400},
                     {0, "Take-off", 46.5, 7.5, 2100, 5},
                     {1, "B\xc3\xa4rgli", 46.6, 7.6, 1500, 300000}};
    ASSERT_TRUE(device->writeRoute(route).ok());
    const auto routes = device->routes();
    ASSERT_TRUE(routes && routes->size() == 1);
    const DeviceRoute& read = routes->front();
    ASSERT_EQ(read.waypoints.size(), 3u);
    EXPECT_EQ(read.waypoints[0].shortName, "Take-off        ");
    EXPECT_EQ(read.waypoints[0].radius, 20);
    EXPECT_EQ(read.waypoints[1].shortName, "Baergli         ");
    EXPECT_EQ(read.waypoints[1].radius, 200000);
    EXPECT_EQ(read.waypoints[2].shortName, "Goal            ");
    EXPECT_EQ(read.name, "Baergli         "); // the first name in name order

    // Writing again replaces the route; a longer route than the instrument holds is refused.
    RouteToWrite longRoute;
    for (int i = 0; i < 5; ++i)
        longRoute.entries.push_back({i, "P" + std::to_string(i), 46, 7, 1000, 400});
    const Result<Done> full = device->writeRoute(longRoute);
    ASSERT_FALSE(full.ok());
    EXPECT_EQ(full.error(), "Route waypoint list is full");

    EXPECT_TRUE(device->deleteRoutes(*routes).ok());
    EXPECT_TRUE(device->routes()->empty());
}

TEST(FlytecParameters, ReadDecodesEveryAddress)
{
    Harness h({}, "Flytec 6015");
    h.sim->withInstrument([](FlytecInstrument& i) {
        i.setParameterBytes(0x0A, {0x34, 0x12});
        i.setParameterBytes(0x06, {0x78, 0x56, 0x34, 0x12});
        return 0;
    });
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    Recorder recorder;
    device->setDelegate(&recorder);
    ASSERT_TRUE(device->getSettings());
    ASSERT_TRUE(recorder.waitDone());
    EXPECT_TRUE(recorder.settingsOk);
    const FlytecParameters p = device->parameters();
    EXPECT_EQ(p.owner, "Pilot Example");
    EXPECT_EQ(p.instrument, "Flytec 6015");
    EXPECT_EQ(p.units, 0x0221);
    EXPECT_EQ(p.diverse, 0x1005);
    EXPECT_EQ(p.numbers.at(0x0A), 0x1234u);
    EXPECT_EQ(p.numbers.at(0x06), 0x12345678u);
    EXPECT_EQ(p.numbers.at(0x22), 0x2222u);
    EXPECT_EQ(p.numbers.size(), 21u);
    EXPECT_EQ(device->settingsValues().size(), 26u);
}

TEST(FlytecParameters, AMissingAddressFailsTheRead)
{
    Harness h({}, "Flytec 6015");
    h.sim->withInstrument([](FlytecInstrument& i) {
        i.removeParameter(0x05);
        return 0;
    });
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(device->readSettings());
}

TEST(FlytecParameters, WritesEnterWriteModeAndUseTheEncodings)
{
    Harness h({}, "Flytec 6015");
    auto device = openFlytec(h.path());
    ASSERT_NE(device, nullptr);
    const auto sentBefore = h.sim->withInstrument([](FlytecInstrument& i) { return i.log().size(); });

    ASSERT_TRUE(device->setBits(3, flytec::unitSpeed, 2));
    EXPECT_EQ(device->parameters().units, 0x0080); // bits 6-7 only
    ASSERT_TRUE(device->setNumber(0x0A, 0x1234));
    ASSERT_TRUE(device->setNumber(0x05, 0x1FF));
    ASSERT_TRUE(device->setText(0, "Hans M\xc3\xbcller-Lang Oberhasli"));
    ASSERT_TRUE(device->setBits(3, flytec::unitSpeed, 2)); // unchanged: nothing sent

    const auto log = h.sim->withInstrument([](FlytecInstrument& i) { return i.log(); });
    const std::vector<std::string> sent(log.begin() + static_cast<long>(sentBefore), log.end());
    ASSERT_EQ(sent.size(), 8u);
    EXPECT_EQ(sent[0], "ACT_82_00\r\n");
    EXPECT_EQ(sent[1], "WFA_03_8000\r\n");
    EXPECT_EQ(sent[3], "WFA_0A_3412\r\n");
    EXPECT_EQ(sent[5], "WFA_05_FF\r\n");
    EXPECT_EQ(sent[7].substr(0, 7), "WFA_00_");
    EXPECT_EQ(sent[7].size(), 7u + 32 + 2);
    EXPECT_EQ(h.sim->withInstrument([](FlytecInstrument& i) { return *i.parameterBytes(0x03); }),
              (std::vector<std::uint8_t>{0x80, 0x00}));

    // Without write mode the instrument refuses; a refused write changes nothing stored.
    h.sim->withInstrument([](FlytecInstrument& i) {
        i.removeParameter(0x0B);
        return 0;
    });
    EXPECT_FALSE(device->setNumber(0x0B, 7));
    EXPECT_FALSE(device->setText(7, "x"));
}
