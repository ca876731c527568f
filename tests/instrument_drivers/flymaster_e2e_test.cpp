#include <gtest/gtest.h>

#include "flymastersim.h"
#include "instruments/devices.h"
#include "instruments/flymaster/flymaster.h"
#include "instruments/serialport.h"
#include "simsupport.h"
#include "support/testdata.h"
#include "track/igc.h"
#include "track/igcflight.h"
#include "track/securityrecord.h"

using namespace kalvora;
using kalvora::sim::FlymasterInstrument;
using kalvora::sim::FlymasterSim;
using Harness = kalvora::test::SimHarness<FlymasterSim>;

namespace {

std::unique_ptr<Flymaster> openFlymaster(const std::string& path)
{
    auto device = Flymaster::open(path, std::make_unique<SerialPort>());
    return std::unique_ptr<Flymaster>(static_cast<Flymaster*>(device.release()));
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    for (std::string_view l : IGC::getICGLines(text))
        out.emplace_back(l);
    return out;
}

/**
 * The record without the marks (our A record first, two L and two G records
 * last), marked again with the same stamp: equal only when both digests are right.
 */
void expectCorrectlyMarked(const std::string& marked)
{
    const std::vector<std::string> all = lines(marked);
    ASSERT_GE(all.size(), 6u);
    EXPECT_EQ(all.front(), Strings::aRecord);
    const std::string l1 = all[all.size() - 4];
    const std::string l2 = all[all.size() - 3];
    ASSERT_EQ(l1.rfind("LXKV Kalvora v", 0), 0u) << l1;
    ASSERT_EQ(l2.rfind("LXKV ", 0), 0u);
    EXPECT_EQ(all[all.size() - 2].size(), 65u);
    EXPECT_EQ(all.back().size(), 65u);
    EXPECT_NE(all[all.size() - 2], all.back());
    std::string unmarked;
    for (std::size_t i = 1; i + 4 < all.size(); ++i)
        unmarked += all[i] + "\r\n";
    SecurityStamp stamp;
    stamp.versionText = l1.substr(std::string("LXKV Kalvora ").size());
    stamp.writtenAt = l2.substr(5);
    EXPECT_EQ(Strings::getDestString(unmarked, false, stamp), marked);
    EXPECT_EQ(marked.substr(marked.size() - 2), "\r\n");
}

} // namespace

TEST(FlymasterIdentification, EveryModelFamily)
{
    struct Case
    {
        const char* model;
        int deviceType;
    };
    for (const Case& c : {Case{"GpsSD", 1}, Case{"NavSD", 1}, Case{"LiveSD", 1}, Case{"B1NAV", 0}}) {
        Harness h({}, c.model);
        ASSERT_TRUE(h.started);
        const auto device = openFlymaster(h.path());
        ASSERT_NE(device, nullptr) << c.model;
        EXPECT_EQ(device->name(), std::string("Flymaster ") + c.model);
        EXPECT_EQ(device->deviceType(), c.deviceType);
        EXPECT_EQ(device->driverId(), "flymaster");
        EXPECT_FALSE(device->has(DeviceOperation::GetSettings));
        EXPECT_FALSE(device->has(DeviceOperation::DeleteWaypoints));
    }
    Harness other({}, "Compeo");
    EXPECT_EQ(openFlymaster(other.path()), nullptr);
}

TEST(FlymasterIdentification, TheScanTriesFlymasterFirst)
{
    Harness h({}, "LiveSD");
    Devices devices;
    const ScanResult result = devices.scan({h.path()});
    ASSERT_NE(result.device, nullptr);
    EXPECT_EQ(result.device->driverId(), "flymaster");
}

TEST(FlymasterTracks, DownloadIsMarkedAndAnalysesLikeTheRecording)
{
    KALVORA_REQUIRE_TESTDATA();
    const std::vector<sim::IgcFile> files = sim::loadIgcFiles(test::testdataDir() + "/igc", {"d3p.igc"});
    ASSERT_EQ(files.size(), 1u);
    Harness h({}, "GpsSD", files);
    auto device = openFlymaster(h.path());
    ASSERT_NE(device, nullptr);
    std::vector<Track> tracks = device->tracks();
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].utcDateTime, files[0].startUTC);
    EXPECT_EQ(tracks[0].trackNumber, 1);
    ASSERT_TRUE(device->igcTrack(tracks[0]));
    EXPECT_EQ(h.sim->acknowledged(), device->lastPacketCount()); // each packet acknowledged before the next

    const std::string& igc = tracks[0].igcData;
    expectCorrectlyMarked(igc);
    EXPECT_NE(igc.find("HFGPSGPS:Flymaster GpsSD\r\n"), std::string::npos);

    const auto summary = IGC::getTrackFromIGCData(igc);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->startUTC, files[0].startUTC);
    EXPECT_EQ(summary->flightTimeS, files[0].flightTimeS);

    const auto ours = IGCFlight::flightFromIGC(igc, 0, false);
    const auto original = IGCFlight::flightFromIGC(files[0].text, 0, false);
    ASSERT_TRUE(ours && original);
    EXPECT_TRUE(ours->validFlight);
    EXPECT_EQ(ours->START_TIME, original->START_TIME);
    EXPECT_EQ(ours->END_TIME, original->END_TIME);
    EXPECT_NEAR(ours->LINEAR_DISTANCE, original->LINEAR_DISTANCE, 1.0);
    EXPECT_NEAR(ours->MAX_ALT, original->MAX_ALT, 2.0);
}

TEST(FlymasterTracks, SyntheticTrackKeepsEveryFix)
{
    const std::string igc = test::syntheticIgc("061226", 500, 86000); // passes midnight UTC
    Harness h({}, "NavSD", std::vector<sim::IgcFile>{sim::igcFileFromText("night", igc)});
    auto device = openFlymaster(h.path());
    ASSERT_NE(device, nullptr);
    std::vector<Track> tracks = device->tracks();
    ASSERT_EQ(tracks.size(), 1u);
    ASSERT_TRUE(device->igcTrack(tracks[0]));
    std::size_t fixes = 0;
    for (const std::string& l : lines(tracks[0].igcData))
        if (l.front() == 'B') {
            ++fixes;
            EXPECT_EQ(l.size(), 35u);
        }
    EXPECT_EQ(fixes, 500u);
    EXPECT_NE(tracks[0].igcData.find("B235320"
                                     "4630000N00715000EA"),
              std::string::npos);
    EXPECT_NE(tracks[0].igcData.find("HFPLTPILOT:Test Pilot\r\n"), std::string::npos);
    EXPECT_NE(tracks[0].igcData.find("HFGTYGLIDERTYPE:Ozone Rush\r\n"), std::string::npos);
}

TEST(FlymasterWaypoints, WrittenWaypointsReadBackCleanedAndSorted)
{
    Harness h({}, "GpsSD");
    auto device = openFlymaster(h.path());
    ASSERT_NE(device, nullptr);
    DeviceWayPoint wp;
    wp.shortName = "Gr\xc3\xbcnten*Alp";
    wp.latitude = -33.5;
    wp.longitude = 7.25;
    wp.gpsaltitude = 12000;
    ASSERT_TRUE(device->writeWaypoint(wp).ok());
    wp.shortName = "Alpha";
    wp.latitude = 47.25;
    wp.longitude = -7.5;
    wp.gpsaltitude = -20;
    ASSERT_TRUE(device->writeWaypoint(wp).ok());

    const std::vector<DeviceWayPoint> list = device->waypoints();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].shortName, "ALPHA            ");
    EXPECT_DOUBLE_EQ(list[0].latitude, 47.25);
    EXPECT_DOUBLE_EQ(list[0].longitude, -7.5);
    EXPECT_EQ(list[0].altitude, 0);
    EXPECT_EQ(list[1].shortName, "GRUENTENALP      ");
    EXPECT_DOUBLE_EQ(list[1].latitude, -33.5);
    EXPECT_EQ(list[1].altitude, 9999);
    EXPECT_EQ(list[1].latitudeString, "-33.500");
    EXPECT_EQ(list[1].altitudeString, "9999");
}

TEST(FlymasterWaypoints, AWriteToALineThatCannotBeOpenedFails)
{
    auto device = std::make_unique<Flymaster>(std::make_unique<SerialPort>(), "/nonexistent/ttyUSB9");
    EXPECT_FALSE(device->writeWaypoint(DeviceWayPoint{}).ok());
}
