// Downloads a 10,000-fix track from the simulated Bräuniger instrument at 57600
// baud and compares the time with what the line itself needs.
#include "benchtrack.h"
#include "braeunigersim.h"
#include "instruments/braeuniger/braeuniger.h"

int main()
{
    using namespace kalvora;
    constexpr int kFixes = 10000;
    const sim::IgcFile file = sim::igcFileFromText("bench.igc", bench::syntheticIgc(kFixes));
    return bench::runDownloadBench(
        "braeuniger", kFixes, std::make_shared<sim::BraeunigerSim>("COMPEO+", std::vector<sim::IgcFile>{file}),
        [](const std::string& path) { return Braeuniger::open(path, std::make_unique<SerialPort>()); },
        [&](const Track& track) { return track.igcData == file.text ? std::string() : "download differs"; },
        [] { return std::string(); });
}
