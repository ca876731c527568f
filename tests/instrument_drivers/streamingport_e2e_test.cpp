// Ports that send without being asked (a GPS mouse streaming NMEA, a noisy
// adapter, a byte now and then) are tried by the scan like any other. Each
// identification must end within about what it costs on a silent port and
// find no instrument there.
#include <gtest/gtest.h>

#include <chrono>

#include "instruments/braeuniger/braeuniger.h"
#include "instruments/devices.h"
#include "instruments/flymaster/flymaster.h"
#include "instruments/flytec/flytec.h"
#include "instruments/serialport.h"
#include "simcommon/streamsource.h"
#include "simsupport.h"

using namespace kalvora;
using kalvora::test::elapsedMs;

namespace {

using Clock = std::chrono::steady_clock;

struct StreamCase
{
    sim::StreamKind kind;
    const char* name;
};

class StreamingPort : public ::testing::TestWithParam<StreamCase>
{};

/** Runs OPEN on PATH; fails the test when it names an instrument or takes longer than LIMITMS. */
void expectNoInstrument(const char* driver, SerialDriverOpener open, const std::string& path,
                        long long limitMs)
{
    const auto start = Clock::now();
    const std::unique_ptr<GpsDevice> device = open(path, std::make_unique<SerialPort>());
    const long long took = elapsedMs(start);
    if (device)
        ADD_FAILURE() << driver << " took the port for an instrument named \"" << device->name() << "\"";
    EXPECT_LT(took, limitMs) << driver;
}

} // namespace

// Silent, a Flymaster identification costs 1.0 s and a Bräuniger or Flytec one
// 3 x 0.2 s; a port that keeps sending is given at most one silent read more.
TEST_P(StreamingPort, NoDriverTakesItAndEachGivesUpInTime)
{
    sim::StreamSource source(GetParam().kind);
    ASSERT_TRUE(source.start());
    expectNoInstrument("Flymaster", &Flymaster::open, source.slavePath(), 1200 + 400);
    expectNoInstrument("Braeuniger", &Braeuniger::open, source.slavePath(), 600 + 400);
    expectNoInstrument("Flytec", &Flytec::open, source.slavePath(), 600 + 400);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, StreamingPort,
                         ::testing::Values(StreamCase{sim::StreamKind::Nmea, "nmea"},
                                           StreamCase{sim::StreamKind::Garbage, "garbage"},
                                           StreamCase{sim::StreamKind::Drip, "drip"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StreamingPortScan, EndsWithoutAnInstrumentOrAProblem)
{
    sim::StreamSource source(sim::StreamKind::Nmea);
    ASSERT_TRUE(source.start());
    const auto start = Clock::now();
    const ScanResult result = probeSerialPort(source.slavePath());
    EXPECT_LT(elapsedMs(start), 3500);
    EXPECT_EQ(result.device, nullptr);
    EXPECT_TRUE(result.problems.empty());
}
