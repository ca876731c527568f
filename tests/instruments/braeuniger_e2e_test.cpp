#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "braeunigersim.h"
#include "instruments/braeuniger/braeuniger.h"
#include "instruments/serialport.h"
#include "support/testdata.h"

using namespace kalvora;
using kalvora::sim::BraeunigerSim;
using kalvora::sim::SimulatorRunner;

namespace {

struct SimFixture
{
    explicit SimFixture(const std::string& model = "COMPEO+", std::vector<sim::IgcFile> tracks = {},
                        sim::LineOptions options = {})
        : sim(std::make_shared<BraeunigerSim>(model, std::move(tracks))), runner(sim, options)
    {
        started = runner.start();
    }
    std::unique_ptr<GpsDevice> open() { return Braeuniger::open(runner.slavePath(), std::make_unique<SerialPort>()); }

    std::shared_ptr<BraeunigerSim> sim;
    SimulatorRunner runner;
    bool started = false;
};

} // namespace

TEST(BraeunigerIdentification, EveryModelOfTheTable)
{
    for (const braeuniger::ModelEntry& entry : braeuniger::modelTable()) {
        SCOPED_TRACE(entry.modelName);
        SimFixture f(entry.modelName);
        ASSERT_TRUE(f.started);
        const std::unique_ptr<GpsDevice> device = f.open();
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->name(), entry.descriptor);
        EXPECT_EQ(device->driverId(), "braeuniger");
        EXPECT_EQ(static_cast<Braeuniger&>(*device).deviceType(), entry.deviceType);
    }
}
