// Downloads a 10,000-fix track from the simulated Bräuniger instrument at 57600
// baud and compares the time with what the line itself needs.
#include <chrono>
#include <cstdio>
#include <memory>

#include "benchtrack.h"
#include "braeunigersim.h"
#include "instruments/braeuniger/braeuniger.h"
#include "instruments/serialport.h"

int main()
{
    using namespace kalvora;
    constexpr int kFixes = 10000;
    const sim::IgcFile file = sim::igcFileFromText("bench.igc", bench::syntheticIgc(kFixes));
    auto simulator = std::make_shared<sim::BraeunigerSim>("COMPEO+", std::vector<sim::IgcFile>{file});
    sim::LineOptions line;
    line.baud = kInstrumentBaud;
    sim::SimulatorRunner runner(simulator, line);
    if (!runner.start()) {
        std::fprintf(stderr, "devicebench_braeuniger: no pseudo-terminal\n");
        return 1;
    }
    std::unique_ptr<GpsDevice> device = Braeuniger::open(runner.slavePath(), std::make_unique<SerialPort>());
    if (!device) {
        std::fprintf(stderr, "devicebench_braeuniger: simulator not identified\n");
        return 1;
    }
    std::vector<Track> tracks = device->tracks();
    if (tracks.size() != 1) {
        std::fprintf(stderr, "devicebench_braeuniger: no track listed\n");
        return 1;
    }
    const std::uint64_t before = runner.bytesSent();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = device->igcTrack(tracks[0]);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double bytes = double(runner.bytesSent() - before);
    if (!ok || tracks[0].igcData != file.text) {
        std::fprintf(stderr, "devicebench_braeuniger: download failed or differs\n");
        return 1;
    }
    const double needed = bench::lineSeconds(bytes, kInstrumentBaud);
    const double ratio = seconds / needed;
    std::printf("braeuniger: %d fixes, %.0f bytes, download %.2f s, line %.2f s, ratio %.3f (%s)\n", kFixes, bytes,
                seconds, needed, ratio, ratio <= 1.10 ? "within 10 %" : "MORE THAN 10 % OVER");
    return ratio <= 1.10 ? 0 : 3;
}
