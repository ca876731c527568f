// Downloads a 10,000-fix track from the simulated Flymaster instrument at 57600
// baud: binary packets, each acknowledged before the next is sent. Compares the
// time with what the line needs for the packet bytes.
#include <chrono>
#include <cstdio>
#include <memory>

#include "benchtrack.h"
#include "flymastersim.h"
#include "instruments/flymaster/flymaster.h"
#include "instruments/serialport.h"
#include "track/igc.h"

int main()
{
    using namespace kalvora;
    constexpr int kFixes = 10000;
    const sim::IgcFile file = sim::igcFileFromText("bench.igc", bench::syntheticIgc(kFixes));
    auto simulator = std::make_shared<sim::FlymasterSim>("GpsSD", std::vector<sim::IgcFile>{file});
    sim::LineOptions line;
    line.baud = kInstrumentBaud;
    sim::SimulatorRunner runner(simulator, line);
    if (!runner.start()) {
        std::fprintf(stderr, "devicebench_flymaster: no pseudo-terminal\n");
        return 1;
    }
    std::unique_ptr<GpsDevice> device = Flymaster::open(runner.slavePath(), std::make_unique<SerialPort>());
    if (!device) {
        std::fprintf(stderr, "devicebench_flymaster: simulator not identified\n");
        return 1;
    }
    std::vector<Track> tracks = device->tracks();
    if (tracks.size() != 1) {
        std::fprintf(stderr, "devicebench_flymaster: no track listed\n");
        return 1;
    }
    const std::uint64_t before = runner.bytesSent();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = device->igcTrack(tracks[0]);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double bytes = double(runner.bytesSent() - before);
    std::size_t fixes = 0;
    for (std::string_view l : IGC::getICGLines(tracks[0].igcData))
        fixes += !l.empty() && l.front() == 'B';
    if (!ok || fixes != static_cast<std::size_t>(kFixes)) {
        std::fprintf(stderr, "devicebench_flymaster: download failed or lost fixes (%zu)\n", fixes);
        return 1;
    }
    const double needed = bench::lineSeconds(bytes, kInstrumentBaud);
    const double ratio = seconds / needed;
    std::printf(
        "flymaster: %d fixes, %zu packets, %.0f bytes, download %.2f s, line %.2f s, ratio %.3f (%s)\n",
        kFixes, simulator->acknowledged(), bytes, seconds, needed, ratio,
        ratio <= 1.10 ? "within 10 %" : "MORE THAN 10 % OVER");
    return ratio <= 1.10 ? 0 : 3;
}
