#include <gtest/gtest.h>

#include <chrono>

#include "flymastersim.h"
#include "flytecsim.h"
#include "instruments/flymaster/flymaster.h"
#include "instruments/flytec/flytec.h"
#include "instruments/serialport.h"
#include "simsupport.h"

// Every fault of the simulated line ends in the protocol's "nothing" result
// (no driver, an empty list, false) within the protocol's time-outs, or, where
// the protocol copes with the fault, in the right result.

using namespace kalvora;
using kalvora::test::elapsedMs;

namespace {

using Clock = std::chrono::steady_clock;

sim::LineOptions faulty(sim::Fault fault, std::chrono::milliseconds gap = std::chrono::milliseconds(300))
{
    sim::LineOptions o;
    o.fault = fault;
    o.slowByteGap = gap;
    return o;
}

std::vector<sim::IgcFile> oneTrack(int fixes = 400)
{
    return {sim::igcFileFromText("t", test::syntheticIgc("061226", fixes))};
}

template <typename Driver> std::unique_ptr<Driver> openAs(std::unique_ptr<GpsDevice> device)
{
    return std::unique_ptr<Driver>(static_cast<Driver*>(device.release()));
}

// ---- Flytec: 3 attempts of 0.2 s silence per command ------------------------

struct FlytecCase
{
    sim::Fault fault;
    const char* name;
};

class FlytecFault : public ::testing::TestWithParam<FlytecCase>
{};

TEST_P(FlytecFault, ListsAndDownloadsGiveNothing)
{
    test::SimHarness<sim::FlytecSim> h({}, "Flytec 6015", oneTrack());
    h.sim->withInstrument([](sim::FlytecInstrument& i) {
        i.addWaypointLine(flytec::dataLine("Grat", 46.5, 7.25, 2100, 400).substr(0, 56));
        return 0;
    });
    auto device = openAs<Flytec>(Flytec::open(h.path(), std::make_unique<SerialPort>()));
    ASSERT_NE(device, nullptr);
    Track track = device->tracks().at(0);
    h.runner.setOptions(faulty(GetParam().fault));

    auto start = Clock::now();
    EXPECT_TRUE(device->tracks().empty());
    EXPECT_LT(elapsedMs(start), 2000);
    if (GetParam().fault == sim::Fault::Slow)
        return; // the simulator is still sending this answer byte by byte
    start = Clock::now();
    EXPECT_FALSE(device->igcTrack(track));
    EXPECT_TRUE(track.igcData.empty());
    EXPECT_TRUE(device->waypoints().empty());
    EXPECT_FALSE(device->routes().has_value() && !device->routes()->empty());
    EXPECT_FALSE(device->readSettings());
    EXPECT_FALSE(device->writeWaypoint(DeviceWayPoint{}).ok());
    EXPECT_LT(elapsedMs(start), 6 * 1000);
}

TEST_P(FlytecFault, IdentificationEndsInTime)
{
    test::SimHarness<sim::FlytecSim> h(faulty(GetParam().fault), "Flytec 6015");
    const auto start = Clock::now();
    const auto device = Flytec::open(h.path(), std::make_unique<SerialPort>());
    EXPECT_LT(elapsedMs(start), 1500);
    if (GetParam().fault == sim::Fault::Silence) {
        EXPECT_EQ(device, nullptr);
    }
    if (device) {
        for (char c : device->name())
            EXPECT_TRUE(c >= 0x20 && c < 0x7F); // a name fit for a list, whatever came
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFault, FlytecFault,
                         ::testing::Values(FlytecCase{sim::Fault::Silence, "silence"},
                                           FlytecCase{sim::Fault::Garbage, "garbage"},
                                           FlytecCase{sim::Fault::Slow, "slow"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FlytecFaultModes, CutOffDownloadIsNotATrack)
{
    test::SimHarness<sim::FlytecSim> h({}, "Flytec 6015", oneTrack());
    auto device = openAs<Flytec>(Flytec::open(h.path(), std::make_unique<SerialPort>()));
    ASSERT_NE(device, nullptr);
    Track track = device->tracks().at(0);
    h.runner.setOptions(faulty(sim::Fault::CutOff));
    EXPECT_EQ(device->tracks().size(), 1u); // lists are no downloads: not cut
    EXPECT_FALSE(device->igcTrack(track));
}

TEST(FlytecFaultModes, XonXoffBytesAreRemovedFromAnswers)
{
    const auto tracks = oneTrack();
    test::SimHarness<sim::FlytecSim> h(faulty(sim::Fault::XonXoff), "Flytec 6015", tracks);
    auto device = openAs<Flytec>(Flytec::open(h.path(), std::make_unique<SerialPort>()));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->name(), "Flytec 6015");
    std::vector<Track> list = device->tracks();
    ASSERT_EQ(list.size(), 1u);
    ASSERT_TRUE(device->igcTrack(list[0]));
    EXPECT_EQ(list[0].igcData, tracks[0].text);
}

TEST(FlytecFaultModes, SlowButSteadyAnswersArrive)
{
    test::SimHarness<sim::FlytecSim> h(faulty(sim::Fault::Slow, std::chrono::milliseconds(20)),
                                       "Flytec 6015");
    const auto device = Flytec::open(h.path(), std::make_unique<SerialPort>());
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->name(), "Flytec 6015");
}

// ---- Flymaster: 1.0 s to start, 0.8 s of silence, download stall ------------

constexpr auto kStall = std::chrono::milliseconds(1200);

TEST(FlymasterFault, SilenceGivesNothing)
{
    test::SimHarness<sim::FlymasterSim> h({}, "GpsSD", oneTrack(50));
    auto device = openAs<Flymaster>(Flymaster::open(h.path(), std::make_unique<SerialPort>()));
    ASSERT_NE(device, nullptr);
    device->setDownloadStall(kStall);
    Track track = device->tracks().at(0);
    h.runner.setOptions(faulty(sim::Fault::Silence));

    auto start = Clock::now();
    EXPECT_EQ(Flymaster::open(h.path(), std::make_unique<SerialPort>()), nullptr);
    EXPECT_LT(elapsedMs(start), 1600);
    start = Clock::now();
    EXPECT_TRUE(device->tracks().empty());
    EXPECT_TRUE(device->waypoints().empty());
    EXPECT_FALSE(device->igcTrack(track));
    EXPECT_LT(elapsedMs(start), 1600 * 2 + 2000);
    EXPECT_TRUE(track.igcData.empty());
}

TEST(FlymasterFault, GarbageGivesNothing)
{
    test::SimHarness<sim::FlymasterSim> h({}, "GpsSD", oneTrack(50));
    auto device = openAs<Flymaster>(Flymaster::open(h.path(), std::make_unique<SerialPort>()));
    ASSERT_NE(device, nullptr);
    device->setDownloadStall(kStall);
    Track track = device->tracks().at(0);
    h.runner.setOptions(faulty(sim::Fault::Garbage));

    EXPECT_EQ(Flymaster::open(h.path(), std::make_unique<SerialPort>()), nullptr);
    EXPECT_TRUE(device->tracks().empty());
    EXPECT_TRUE(device->waypoints().empty());
    const auto start = Clock::now();
    EXPECT_FALSE(device->igcTrack(track));
    EXPECT_LT(elapsedMs(start), 10000);
}

TEST(FlymasterFault, CutOffDownloadStallsAndGivesNothing)
{
    test::SimHarness<sim::FlymasterSim> h({}, "GpsSD", oneTrack(3000));
    auto device = openAs<Flymaster>(Flymaster::open(h.path(), std::make_unique<SerialPort>()));
    ASSERT_NE(device, nullptr);
    device->setDownloadStall(kStall);
    Track track = device->tracks().at(0);
    h.runner.setOptions(faulty(sim::Fault::CutOff));
    const auto start = Clock::now();
    EXPECT_FALSE(device->igcTrack(track));
    EXPECT_GE(elapsedMs(start), kStall.count());
    EXPECT_LT(elapsedMs(start), kStall.count() + 2000);
    EXPECT_GT(h.sim->acknowledged(), 10u); // it did stop in the middle
}

TEST(FlymasterFault, AnInstrumentTooSlowToStartIsNotFound)
{
    test::SimHarness<sim::FlymasterSim> h(faulty(sim::Fault::Slow, std::chrono::milliseconds(1300)), "GpsSD");
    const auto start = Clock::now();
    EXPECT_EQ(Flymaster::open(h.path(), std::make_unique<SerialPort>()), nullptr);
    EXPECT_LT(elapsedMs(start), 1600);
}

TEST(FlymasterFault, SlowButSteadyLineStillDownloads)
{
    test::SimHarness<sim::FlymasterSim> h({}, "GpsSD", oneTrack(30));
    auto device = openAs<Flymaster>(Flymaster::open(h.path(), std::make_unique<SerialPort>()));
    ASSERT_NE(device, nullptr);
    Track track = device->tracks().at(0);
    h.runner.setOptions(faulty(sim::Fault::Slow, std::chrono::milliseconds(5)));
    ASSERT_TRUE(device->igcTrack(track));
    EXPECT_NE(track.igcData.find("B100029"), std::string::npos);
}

TEST(FlymasterFault, XonXoffInTextAnswersAreDropped)
{
    test::SimHarness<sim::FlymasterSim> h(faulty(sim::Fault::XonXoff), "LiveSD", oneTrack(30));
    auto device = openAs<Flymaster>(Flymaster::open(h.path(), std::make_unique<SerialPort>()));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->name(), "Flymaster LiveSD");
    std::vector<Track> tracks = device->tracks();
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].flightTime, 29);
    ASSERT_TRUE(device->igcTrack(tracks[0]));
}

} // namespace
