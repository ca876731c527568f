#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "track/igc.h"
#include "track/igcflight.h"
#include "track/utcdate.h"

using kalvora::IGCFlight;

namespace {

const std::filesystem::path kIgcDir = std::filesystem::path(KALVORA_TESTDATA_DIR) / "igc";

#define REQUIRE_RECORDINGS()                                                                                 \
    do {                                                                                                     \
        if (!std::filesystem::is_directory(kIgcDir))                                                         \
            GTEST_SKIP() << "shared/testdata not found beside the project; skipping";                        \
    } while (0)

std::string readRecording(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Values checked by hand against the fixes:
// - marcourt: fixes every second; the first five fast pairs end at 10:34:36, so the
//   fix of 10:34:37 (GNSS 318 m) is the take-off; the record ends while the pilot
//   still moves slowly, so the last fix (10:37:51, 194 m) is the landing.
// - curvature-of-earth-triangle (date as "HFDTEDATE:160719,01"): five fast pairs from
//   12:52:05 to 12:52:14, take-off 12:52:15 at 1094 m; the five last fixes lack a
//   window and are dropped, so the landing is 16:36:50 at 498 m; highest fix 2524 m.
// - hiking-up: walks uphill for five hours without five fast pairs, launches at
//   09:42:45 from 2237 m; highest fix 3086 m; lands at the record's end, 12:33:20, 813 m.
TEST(RealRecordings, PinnedAnalyses)
{
    REQUIRE_RECORDINGS();
    struct Pin
    {
        const char* file;
        const char* date;
        std::int64_t startS;
        double takeoffAltM;
        std::int64_t endS;
        double landingAltM;
        double maxAltM;
        bool valid;
    };
    const Pin pins[] = {
        {"marcourt.igc", "2021-03-06", 10 * 3600 + 34 * 60 + 37, 318, 10 * 3600 + 37 * 60 + 51, 194, 331,
         true},
        {"curvature-of-earth-triangle.igc", "2019-07-16", 12 * 3600 + 52 * 60 + 15, 1094,
         16 * 3600 + 36 * 60 + 50, 498, 2524, true},
        {"hiking-up.igc", "2019-06-24", 9 * 3600 + 42 * 60 + 45, 2237, 12 * 3600 + 33 * 60 + 20, 813, 3086,
         true},
    };
    for (const Pin& pin : pins) {
        const auto flight = IGCFlight::flightFromIGC(readRecording(kIgcDir / pin.file), 0, true);
        ASSERT_TRUE(flight) << pin.file;
        EXPECT_EQ(flight->DATE, pin.date) << pin.file;
        EXPECT_EQ(flight->START_TIME, pin.startS) << pin.file;
        EXPECT_EQ(flight->TAKEOFF_ALT, pin.takeoffAltM) << pin.file;
        EXPECT_EQ(flight->END_TIME, pin.endS) << pin.file;
        EXPECT_EQ(flight->LANDING_ALT, pin.landingAltM) << pin.file;
        EXPECT_EQ(flight->MAX_ALT, pin.maxAltM) << pin.file;
        EXPECT_EQ(flight->validFlight, pin.valid) << pin.file;
        EXPECT_EQ(flight->DURATION, pin.endS - pin.startS) << pin.file;
    }
}

TEST(RealRecordings, EveryRecordingIsAnalysedAndSummarised)
{
    REQUIRE_RECORDINGS();
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kIgcDir)) {
        if (entry.path().extension() != ".igc")
            continue;
        ++files;
        const std::string text = readRecording(entry.path());
        const auto flight = IGCFlight::flightFromIGC(text, 0, true);
        ASSERT_TRUE(flight) << entry.path();
        EXPECT_TRUE(flight->validFlight) << entry.path();
        EXPECT_GT(flight->DURATION, 0) << entry.path();
        EXPECT_EQ(flight->DATE.size(), 10u) << entry.path();
        EXPECT_TRUE(flight->startUTC()) << entry.path();
        EXPECT_FALSE(std::isnan(flight->MEAN_SPEED)) << entry.path();
        const auto summary = kalvora::IGC::getTrackFromIGCData(text);
        ASSERT_TRUE(summary) << entry.path();
        EXPECT_GT(summary->flightTimeS, flight->DURATION - 1) << entry.path();
        EXPECT_LE(*flight->startUTC(), summary->startUTC + std::chrono::seconds(summary->flightTimeS))
            << entry.path();
    }
    EXPECT_GT(files, 10);
}

} // namespace
