#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>

#include "simcommon/simulator.h"
#include "simcommon/streamsource.h"

namespace kalvora::sim {
namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

} // namespace

int simulatorMain(int argc, char** argv, const char* programName, std::string_view extraUsage,
                  const std::function<std::shared_ptr<Simulator>(const SimArgs&)>& make)
{
    SimArgs args;
    std::string igcDir = defaultIgcDir();
    if (const char* env = std::getenv("KALVORA_SIM_IGC_DIR"))
        igcDir = env;
    std::vector<std::string> names;
    std::size_t maxTracks = 0;
    std::optional<StreamKind> stream;
    const auto usage = [&]() {
        std::fprintf(stderr,
                     "Usage: %s [--link PATH] [--baud N] [--fault none|silence|garbage|cut|slow|xonxoff]\n"
                     "          [--byte-gap-ms N] [--cut-fraction F] [--igc-dir DIR] [--igc NAME]...\n"
                     "          [--max-tracks N] [--model NAME] [--stream nmea|garbage|drip]%.*s\n"
                     "Opens a pseudo-terminal that answers like the instrument; prints its path.\n"
                     "--stream makes it a port that sends unasked and answers nothing instead.\n",
                     programName, int(extraUsage.size()), extraUsage.data());
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--help" || key == "-h")
            return usage(), 0;
        if (key.rfind("--", 0) != 0 || i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        try {
            if (key == "--link")
                args.link = value;
            else if (key == "--baud")
                args.line.baud = std::stoi(value);
            else if (key == "--fault") {
                const std::optional<Fault> fault = faultFromName(value);
                if (!fault)
                    return usage();
                args.line.fault = *fault;
            } else if (key == "--byte-gap-ms")
                args.line.slowByteGap = std::chrono::milliseconds(std::stoi(value));
            else if (key == "--cut-fraction")
                args.line.cutFraction = std::stod(value);
            else if (key == "--igc-dir")
                igcDir = value;
            else if (key == "--igc")
                names.push_back(value);
            else if (key == "--max-tracks")
                maxTracks = std::size_t(std::stoul(value));
            else if (key == "--model")
                args.model = value;
            else if (key == "--stream") {
                stream = streamKindFromName(value);
                if (!stream)
                    return usage();
            } else
                args.extra[key.substr(2)] = value;
        } catch (const std::exception&) {
            return usage();
        }
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    if (stream) {
        StreamSource source(*stream, args.line.baud > 0 ? args.line.baud : 57600);
        if (!source.start() || (!args.link.empty() && !source.linkTo(args.link))) {
            std::fprintf(stderr, "%s: cannot open the pseudo-terminal or its link\n", programName);
            return 1;
        }
        std::printf("%s\n", source.slavePath().c_str());
        std::fflush(stdout);
        while (!g_stop)
            ::usleep(100000);
        source.stop();
        return 0;
    }
    args.igcFiles = loadIgcFiles(igcDir, names, maxTracks);

    std::shared_ptr<Simulator> simulator = make(args);
    if (!simulator) {
        std::fprintf(stderr, "%s: unknown model or options\n", programName);
        return 2;
    }
    SimulatorRunner runner(simulator, args.line);
    if (!runner.start()) {
        std::fprintf(stderr, "%s: cannot open a pseudo-terminal\n", programName);
        return 1;
    }
    if (!args.link.empty() && !runner.linkTo(args.link)) {
        std::fprintf(stderr, "%s: cannot create the link %s\n", programName, args.link.c_str());
        return 1;
    }
    std::printf("%s\n", runner.slavePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %zu track(s) loaded, serving %s\n", programName, args.igcFiles.size(),
                 runner.slavePath().c_str());
    while (!g_stop)
        ::usleep(100000);
    runner.stop();
    return 0;
}

} // namespace kalvora::sim
