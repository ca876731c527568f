#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "instruments/gpsdevice.h"
#include "instruments/serialport.h"
#include "simcommon/simulator.h"

namespace kalvora::bench {

/**
 * An IGC record of FIXES one-second fixes (a slow climb to the north-east),
 * with header and closing G record as instruments write them.
 */
inline std::string syntheticIgc(int fixes)
{
    std::string text = "AXBR001 BENCH\r\nHFDTE150719\r\nHFPLTPILOTINCHARGE:Bench Pilot\r\nHFGTYGLIDERTYPE:Bench\r\n";
    char line[64];
    for (int i = 0; i < fixes; ++i) {
        const int t = 10 * 3600 + i;
        const int latMilli = 15000 + i % 40000;
        const int lonMilli = 30000 + i % 50000;
        const int alt = 1000 + i % 2000;
        std::snprintf(line, sizeof line, "B%02d%02d%02d47%05dN008%05dEA%05d%05d\r\n", t / 3600 % 24, t / 60 % 60,
                      t % 60, latMilli, lonMilli, alt, alt + 20);
        text += line;
    }
    text += "G0123456789ABCDEF0123456789ABCDEF\r\n";
    return text;
}

/** Seconds a serial line of BAUD needs for BYTES (11 bit times each: start, 8 data, 2 stop). */
inline double lineSeconds(double bytes, int baud)
{
    return bytes * 11.0 / baud;
}

/**
 * Lists the one track of SIMULATOR's instrument, downloads it at the instrument
 * baud and prints the time against the line time. OPEN(path) returns the driver;
 * CHECK(track) returns an empty text when the download is right, else why not;
 * DETAIL() adds family figures to the line. Returns the exit code: 0 within 10 %,
 * 3 over it, 1 when the download itself failed.
 */
template <typename Open, typename Check, typename Detail>
int runDownloadBench(const char* family, int fixes, std::shared_ptr<sim::Simulator> simulator, Open open,
                     Check check, Detail detail)
{
    sim::LineOptions line;
    line.baud = kInstrumentBaud;
    sim::SimulatorRunner runner(std::move(simulator), line);
    if (!runner.start()) {
        std::fprintf(stderr, "devicebench_%s: no pseudo-terminal\n", family);
        return 1;
    }
    std::unique_ptr<GpsDevice> device = open(runner.slavePath());
    if (!device) {
        std::fprintf(stderr, "devicebench_%s: simulator not identified\n", family);
        return 1;
    }
    std::vector<Track> tracks = device->tracks();
    if (tracks.size() != 1) {
        std::fprintf(stderr, "devicebench_%s: no track listed\n", family);
        return 1;
    }
    const std::uint64_t before = runner.bytesSent();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = device->igcTrack(tracks[0]);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double bytes = double(runner.bytesSent() - before);
    const std::string problem = ok ? check(tracks[0]) : std::string("download failed");
    if (!problem.empty()) {
        std::fprintf(stderr, "devicebench_%s: %s\n", family, problem.c_str());
        return 1;
    }
    const double needed = lineSeconds(bytes, kInstrumentBaud);
    const double ratio = seconds / needed;
    std::printf("%s: %d fixes%s, %.0f bytes, download %.2f s, line %.2f s, ratio %.3f (%s)\n", family, fixes,
                std::string(detail()).c_str(), bytes, seconds, needed, ratio,
                ratio <= 1.10 ? "within 10 %" : "MORE THAN 10 % OVER");
    return ratio <= 1.10 ? 0 : 3;
}

} // namespace kalvora::bench
