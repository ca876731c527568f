#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "simcommon/simulator.h"

namespace kalvora::test {

/**
 * An IGC record of FIXES fixes one second apart from 10:00:00 UTC on DDMMYY,
 * climbing and drifting north-east, CR LF line ends.
 */
std::string syntheticIgc(const std::string& ddmmyy, int fixes, int startSecondOfDay = 36000);

/** A simulator of type SIM on its own pseudo-terminal, started at construction. */
template <typename Sim> struct SimHarness
{
    template <typename... Args>
    explicit SimHarness(sim::LineOptions options, Args&&... args)
        : sim(std::make_shared<Sim>(std::forward<Args>(args)...)), runner(sim, options)
    {
        started = runner.start();
    }
    std::string path() const { return runner.slavePath(); }

    std::shared_ptr<Sim> sim;
    sim::SimulatorRunner runner;
    bool started = false;
};

/** Milliseconds since START. */
inline long long elapsedMs(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace kalvora::test
