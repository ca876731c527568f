// Speed of the flight analysis over the largest shared recording, in bytes of
// IGC text per second. Run: build/bench/bench_track_analysis
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "track/igc.h"
#include "track/igcflight.h"

namespace {

std::string largestRecording()
{
    std::ifstream in(std::string(KALVORA_TESTDATA_DIR) + "/igc/dup-fixes.igc", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void analyse(benchmark::State& state, bool saned)
{
    const std::string text = largestRecording();
    if (text.empty()) {
        state.SkipWithError("shared/testdata/igc/dup-fixes.igc not found");
        return;
    }
    for (auto _ : state) {
        auto flight = kalvora::IGCFlight::flightFromIGC(text, 0, saned);
        benchmark::DoNotOptimize(flight);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

void BM_AnalysisSaned(benchmark::State& state)
{
    analyse(state, true);
}
BENCHMARK(BM_AnalysisSaned)->Unit(benchmark::kMillisecond);

void BM_AnalysisOnly(benchmark::State& state)
{
    analyse(state, false);
}
BENCHMARK(BM_AnalysisOnly)->Unit(benchmark::kMillisecond);

void BM_TrackSummary(benchmark::State& state)
{
    const std::string text = largestRecording();
    if (text.empty()) {
        state.SkipWithError("shared/testdata/igc/dup-fixes.igc not found");
        return;
    }
    for (auto _ : state) {
        auto summary = kalvora::IGC::getTrackFromIGCData(text);
        benchmark::DoNotOptimize(summary);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_TrackSummary)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
