// kalvora-xcshapes DIR [NAME...]: writes the generated flight shapes as IGC files into DIR.
// kalvora-xcshapes --cancel-after MS FILE...: how long [ms] the optimiser takes to stop
// when cancelled MS milliseconds into scoring each IGC file (one JSON object a line).

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "track/xcoptimizer.h"
#include "xcshapes/xcshapes.h"

namespace {

int cancelLatency(int afterMs, int argc, char** argv, int first)
{
    using Clock = std::chrono::steady_clock;
    for (int i = first; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
        const auto fixes = kalvora::readXCFixes(lines);
        std::atomic<bool> cancel{false};
        const auto started = Clock::now();
        auto running = std::async(std::launch::async, [&] { return kalvora::optimizeXC(fixes, {.cancel = &cancel}); });
        const bool finished =
            running.wait_for(std::chrono::milliseconds(afterMs)) == std::future_status::ready;
        const auto asked = Clock::now();
        cancel = true;
        const auto result = running.get();
        const double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
        const double ranMs = std::chrono::duration<double, std::milli>(asked - started).count();
        std::printf("{\"file\": \"%s\", \"fixes\": %zu, \"finishedFirst\": %s, \"cancelled\": %s, \"ranMs\": %.1f, "
                    "\"stopMs\": %.1f}\n",
                    argv[i], fixes.size(), finished ? "true" : "false", result.ok() ? "false" : "true", ranMs,
                    finished ? 0.0 : stopMs);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::string(argv[1]) == "--cancel-after")
        return cancelLatency(std::atoi(argv[2]), argc, argv, 3);
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "Usage: kalvora-xcshapes DIR [NAME...]\n"
                             "       kalvora-xcshapes --cancel-after MS FILE...\n");
        return 2;
    }
    const std::string dir = argv[1];
    int written = 0;
    for (const auto& shape : kalvora::xcshapes::allShapes()) {
        bool wanted = argc == 2;
        for (int i = 2; i < argc; ++i)
            wanted = wanted || shape.name == argv[i];
        if (!wanted)
            continue;
        const std::string path = dir + "/" + shape.name + ".igc";
        std::ofstream out(path, std::ios::binary);
        for (const std::string& line : kalvora::xcshapes::igcLines(shape))
            out << line << "\r\n";
        if (!out) {
            std::fprintf(stderr, "kalvora-xcshapes: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s %zu\n", path.c_str(), shape.fixes.size());
        ++written;
    }
    return written > 0 ? 0 : 1;
}
