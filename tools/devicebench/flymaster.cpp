// Downloads a 10,000-fix track from the simulated Flymaster instrument at 57600
// baud: binary packets, each acknowledged before the next is sent. Compares the
// time with what the line needs for the packet bytes.
#include "benchtrack.h"
#include "flymastersim.h"
#include "instruments/flymaster/flymaster.h"
#include "track/igc.h"

int main()
{
    using namespace kalvora;
    constexpr int kFixes = 10000;
    const sim::IgcFile file = sim::igcFileFromText("bench.igc", bench::syntheticIgc(kFixes));
    auto simulator = std::make_shared<sim::FlymasterSim>("GpsSD", std::vector<sim::IgcFile>{file});
    return bench::runDownloadBench(
        "flymaster", kFixes, simulator,
        [](const std::string& path) { return Flymaster::open(path, std::make_unique<SerialPort>()); },
        [](const Track& track) {
            // The record is rebuilt from packets, so only the fix count can be compared.
            std::size_t fixes = 0;
            for (std::string_view l : IGC::getICGLines(track.igcData))
                fixes += !l.empty() && l.front() == 'B';
            return fixes == static_cast<std::size_t>(kFixes) ? std::string()
                                                             : "lost fixes (" + std::to_string(fixes) + ")";
        },
        [&] { return ", " + std::to_string(simulator->acknowledged()) + " packets"; });
}
