// Every fault of the simulated line shows the window's message within the protocol's time-outs.
#include <QElapsedTimer>
#include <QSignalSpy>

#include "braeunigersim.h"
#include "devicewindowfixture.h"
#include "flymastersim.h"
#include "flytecsim.h"
#include "instruments/flymaster/flymaster.h"
#include "ui/flightintersectsheet.h"

namespace kalvora::test {
namespace {

enum class Family
{
    Braeuniger,
    Flytec,
    Flymaster,
};

std::shared_ptr<sim::Simulator> instrument(Family family, const std::vector<sim::IgcFile>& tracks)
{
    switch (family) {
    case Family::Braeuniger: return std::make_shared<sim::BraeunigerSim>("COMPEO+", tracks);
    case Family::Flytec: return std::make_shared<sim::FlytecSim>("Flytec 6015", tracks);
    case Family::Flymaster: return std::make_shared<sim::FlymasterSim>("GpsSD", tracks);
    }
    return nullptr;
}

struct FaultCase
{
    Family family;
    sim::Fault fault;
    const char* name;
};

sim::LineOptions faulty(sim::Fault fault)
{
    sim::LineOptions options;
    options.fault = fault;
    options.slowByteGap = std::chrono::milliseconds(300); // longer than the drivers' silent read
    return options;
}

class DeviceFaultAtScan : public DeviceWindowTest, public ::testing::WithParamInterface<FaultCase>
{};

TEST_P(DeviceFaultAtScan, NoInstrumentIsFoundAndTheWindowSaysSo)
{
    plugIn(instrument(GetParam().family, {}), faulty(GetParam().fault));
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(loadAndScan());
    // Three drivers try the port, each bounded to about 2.4 s.
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(control<QTableWidget>("deviceTable")->rowCount(), 0);
    EXPECT_TRUE(control<QLabel>("accessProblems")->text().startsWith(QStringLiteral("No instrument found")));
    EXPECT_EQ(stack("trackTableStack")->currentIndex(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DeviceFaultAtScan,
    ::testing::Values(FaultCase{Family::Braeuniger, sim::Fault::Silence, "BraeunigerSilence"},
                      FaultCase{Family::Braeuniger, sim::Fault::Garbage, "BraeunigerGarbage"},
                      FaultCase{Family::Flytec, sim::Fault::Silence, "FlytecSilence"},
                      FaultCase{Family::Flytec, sim::Fault::Slow, "FlytecSlow"},
                      FaultCase{Family::Flymaster, sim::Fault::Garbage, "FlymasterGarbage"},
                      FaultCase{Family::Flymaster, sim::Fault::Slow, "FlymasterSlow"}),
    [](const auto& info) { return std::string(info.param.name); });

class DeviceFaultAtDownload : public DeviceWindowTest, public ::testing::WithParamInterface<FaultCase>
{};

TEST_P(DeviceFaultAtDownload, TheTrackIsReportedAsNotValidAndNoFlightIsMade)
{
    KALVORA_REQUIRE_TESTDATA();
    OpenLogBook& logbook = openLogBook(QStringLiteral("Main"));
    sim::SimulatorRunner& line = plugIn(instrument(GetParam().family, recordings({"marcourt.igc"})));
    ASSERT_TRUE(loadAndScan());
    ASSERT_EQ(control<QTableWidget>("deviceTable")->rowCount(), 1);
    ASSERT_TRUE(waitForTracks());
    ASSERT_EQ(table("trackTable")->model()->rowCount(), 1);
    // The chain's later reads are over before the line goes bad.
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_window->isBusy(); }, kWaitMs));
    QTest::qWait(1500);
    // The instrument may pause 40 s between packets; the test does not wait that long for a dead line.
    if (auto* flymaster = dynamic_cast<Flymaster*>(m_window->device()))
        flymaster->setDownloadStall(std::chrono::milliseconds(1200));
    line.setOptions(faulty(GetParam().fault));

    QSignalSpy finished(m_window.get(), &GPSWindowController::importFinished);
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(button("importAllTracks"), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(kWaitMs));
    EXPECT_LT(timer.elapsed(), 20000);
    EXPECT_TRUE(logbook.window->flightList().isEmpty());
    ASSERT_EQ(m_interaction->alerts.size(), 1);
    EXPECT_TRUE(m_interaction->alerts.first().contains(QStringLiteral("is not a valid flight")))
        << m_interaction->alerts.first().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DeviceFaultAtDownload,
    ::testing::Values(FaultCase{Family::Braeuniger, sim::Fault::Slow, "BraeunigerSlow"},
                      FaultCase{Family::Flytec, sim::Fault::CutOff, "FlytecCutOff"},
                      FaultCase{Family::Flytec, sim::Fault::Garbage, "FlytecGarbage"},
                      FaultCase{Family::Flymaster, sim::Fault::CutOff, "FlymasterCutOff"},
                      FaultCase{Family::Flymaster, sim::Fault::Silence, "FlymasterSilence"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceWindowTest, FlowControlBytesOnTheLineDoNotSpoilADownload)
{
    KALVORA_REQUIRE_TESTDATA();
    OpenLogBook& logbook = openLogBook(QStringLiteral("Main"));
    plugIn(instrument(Family::Flytec, recordings({"marcourt.igc"})), faulty(sim::Fault::XonXoff));
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(waitForTracks());
    QSignalSpy finished(m_window.get(), &GPSWindowController::importFinished);
    QTest::mouseClick(button("importAllTracks"), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(kWaitMs));
    EXPECT_EQ(logbook.window->flightList().size(), 1);
    EXPECT_TRUE(m_interaction->alerts.isEmpty()) << m_interaction->alerts.join(QLatin1Char('\n')).toStdString();
}

} // namespace
} // namespace kalvora::test
