#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "igcbuilder.h"
#include "track/igc.h"
#include "track/igcflight.h"
#include "track/utcdate.h"

using kalvora::IGCFlight;
using kalvora::test::bRecord;
using kalvora::test::igcText;
using kalvora::test::SimpleFlight;

namespace {

std::optional<IGCFlight> analyse(const std::string& text)
{
    return IGCFlight::flightFromIGC(text, 0, true);
}

std::string iso(const std::optional<std::chrono::sys_seconds>& instant)
{
    return instant ? kalvora::utc::toIso8601(*instant) : "none";
}

// One fix a second: standing 60 s, 600 s flying at 30 km/h, standing 400 s, from 10:00:00.
// Take-off: the standing pairs (0,1) ... (58,59) are slow; (60,61) ... (68,69) are five
// fast pairs; fix 70 is the anchor in place when the next pair confirms the take-off.
// Landing: from fix 660 on the pairs are slow; after the pair ending at 841 the slow
// time (181 s over 181 pairs) exceeds 180 s with more than 5 pairs.
TEST(FlightAnalysis, TakeoffAndLandingWithFixesEverySecond)
{
    const auto flight = analyse(SimpleFlight{}.text());
    ASSERT_TRUE(flight);
    EXPECT_EQ(flight->START_TIME, 36070);
    EXPECT_EQ(flight->END_TIME, 36841);
    EXPECT_EQ(flight->DURATION, 771);
    EXPECT_EQ(flight->TAKEOFF_ALT, 1490);
    EXPECT_EQ(flight->LANDING_ALT, 900);
    EXPECT_EQ(flight->MAX_ALT, 1500); // anchors before the take-off count
    EXPECT_EQ(flight->MIN_ALT, 900);
    EXPECT_EQ(flight->DATE, "2015-07-02");
    EXPECT_EQ(flight->glider, "Test Wing");
    EXPECT_TRUE(flight->validFlight);
    EXPECT_NEAR(flight->MEAN_SPEED, 30 * 590.0 / 771, 3); // samples every 11 s, landing included
    EXPECT_NEAR(flight->MAX_SPEED, 30, 1.5);
    EXPECT_NEAR(flight->MIN_VARIO, -1, 0.2);
    EXPECT_EQ(flight->CUMMO_ALT, 0);
    EXPECT_NEAR(flight->LINEAR_DISTANCE, 590 * 30 / 3.6, 3);
    EXPECT_EQ(iso(flight->startUTC()), "2015-07-02T10:01:10Z");
    EXPECT_EQ(iso(flight->landingUTC()), "2015-07-02T10:14:01Z");
    ASSERT_TRUE(flight->firstTrackPoint && flight->lastTrackPoint);
    EXPECT_EQ(flight->firstTrackPoint->gpsTime, 36070);
    EXPECT_EQ(flight->lastTrackPoint->gpsTime, 36841);
}

// Fixes every 10 s: two fast pairs confirm the take-off. The standing fixes are
// dropped by the pre-filter (no movement over 10 s) except the last ten lines,
// so the landing is the first of those: 330 s below 5 km/h after the last flying fix.
TEST(FlightAnalysis, TakeoffAndLandingWithFixesEveryTenSeconds)
{
    SimpleFlight track;
    track.stepS = 10;
    const auto flight = analyse(track.text());
    ASSERT_TRUE(flight);
    EXPECT_EQ(flight->START_TIME, 36110);
    EXPECT_EQ(flight->END_TIME, 36970);
    EXPECT_TRUE(flight->validFlight);
}

TEST(FlightAnalysis, AGapAfterTakeoffEndsTheFlight)
{
    SimpleFlight track;
    track.gapAfterS = 300;
    track.gapS = 40 * 60;
    const auto flight = analyse(track.text());
    ASSERT_TRUE(flight);
    EXPECT_EQ(flight->START_TIME, 36070);
    EXPECT_EQ(flight->END_TIME, 36300);
}

// Fix 29 looks stationary over the gap and is dropped by the pre-filter; the
// pairs before take-off then start at odd seconds and fix 71 becomes the take-off.
TEST(FlightAnalysis, AGapBeforeTakeoffIsIgnored)
{
    SimpleFlight track;
    track.gapAfterS = 30;
    track.gapS = 40 * 60;
    const auto flight = analyse(track.text());
    ASSERT_TRUE(flight);
    EXPECT_EQ(flight->START_TIME, 36071 + 2400);
    EXPECT_EQ(flight->END_TIME, 36841 + 2400);
}

TEST(FlightAnalysis, AFixAboveTheHeightLimitIsDropped)
{
    SimpleFlight track;
    track.spikeAtS = 300;
    track.spikeAltM = 12000;
    const auto flight = analyse(track.text());
    ASSERT_TRUE(flight);
    EXPECT_EQ(flight->MAX_ALT, 1500);
    EXPECT_EQ(flight->START_TIME, 36070);
}

TEST(FlightAnalysis, DatesOfBothHeaderForms)
{
    struct Case
    {
        const char* line;
        const char* date;
        const char* start;
    };
    const Case cases[] = {
        {"HFDTE020715", "2015-07-02", "2015-07-02T10:01:10Z"},
        {"HFDTE020795", "1995-07-02", "1995-07-02T10:01:10Z"},
        {"HFDTEDATE:020715,01", "2015-07-02", "2015-07-02T10:01:10Z"},
        {"HPDTEDATE:311281", "1981-12-31", "1981-12-31T10:01:10Z"},
        {"hfdtedate:311280", "2080-12-31", "2080-12-31T10:01:10Z"},
        {"HFDTE", "", "none"},
    };
    for (const Case& c : cases) {
        SimpleFlight track;
        track.dateLine = c.line;
        const auto flight = analyse(track.text());
        ASSERT_TRUE(flight) << c.line;
        EXPECT_EQ(flight->DATE, c.date) << c.line;
        EXPECT_EQ(iso(flight->startUTC()), c.start) << c.line;
    }
}

std::string withLineAfterFix(const SimpleFlight& track, long fixSecond, const std::string& extra)
{
    std::vector<std::string> lines = track.lines();
    lines.insert(lines.begin() + 3 + fixSecond / track.stepS + 1, extra);
    return igcText(lines);
}

TEST(FlightAnalysis, ASecondDateInsideTheFlightStopsReadingFixes)
{
    SimpleFlight track;
    const auto flight = analyse(withLineAfterFix(track, 300, "HFDTE030715"));
    ASSERT_TRUE(flight);
    EXPECT_EQ(flight->DATE, "2015-07-02");
    EXPECT_EQ(flight->END_TIME, 36300);
}

// 23:55:00 + 70 s take-off, landing 771 s later at 00:07:51 of the next day.
SimpleFlight overMidnight()
{
    SimpleFlight track;
    track.startS = 23 * 3600 + 55 * 60;
    return track;
}

TEST(FlightAnalysis, AFlightOverMidnightIsOneFlight)
{
    const auto normal = analyse(SimpleFlight{}.text());
    const auto crossing = analyse(overMidnight().text());
    ASSERT_TRUE(normal && crossing);
    EXPECT_EQ(crossing->START_TIME, 86170);
    EXPECT_EQ(crossing->END_TIME, 541);
    EXPECT_EQ(crossing->DURATION, 771);
    EXPECT_EQ(iso(crossing->startUTC()), "2015-07-02T23:56:10Z");
    EXPECT_EQ(iso(crossing->landingUTC()), "2015-07-03T00:09:01Z");
    // Sampling goes on across 00:00: the statistics are those of the same flight by day.
    EXPECT_DOUBLE_EQ(crossing->MEAN_SPEED, normal->MEAN_SPEED);
    EXPECT_DOUBLE_EQ(crossing->MAX_SPEED, normal->MAX_SPEED);
    EXPECT_DOUBLE_EQ(crossing->MIN_VARIO, normal->MIN_VARIO);
    EXPECT_DOUBLE_EQ(crossing->LINEAR_DISTANCE, normal->LINEAR_DISTANCE);
    EXPECT_EQ(crossing->LANDING_ALT, normal->LANDING_ALT);
    EXPECT_EQ(crossing->igcLines.size(), normal->igcLines.size());

    const auto summary = kalvora::IGC::getTrackFromIGCData(overMidnight().text());
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->flightTimeS, 1060);
}

TEST(FlightAnalysis, ADateRecordAtMidnightDoesNotStopTheFlight)
{
    const SimpleFlight track = overMidnight();
    // The last fix before 00:00 is 23:59:59 (gpsTime 86399 >= 86200).
    const auto flight = analyse(withLineAfterFix(track, 299, "HFDTE030715"));
    ASSERT_TRUE(flight);
    EXPECT_EQ(flight->END_TIME, 541);
    EXPECT_EQ(iso(flight->landingUTC()), "2015-07-03T00:09:01Z");
}

std::string sameTimeTrack(double metresNorth)
{
    std::vector<std::string> lines{"AXXX", "HFDTE020715"};
    for (int i = 0; i < 40; ++i)
        lines.push_back(
            bRecord(36000, 46.0 + i / 39.0 * metresNorth * kalvora::test::kDegPerMetre, 7.0, 1000));
    return igcText(lines);
}

TEST(FlightAnalysis, ATrackWithoutTimesIsReadInNoTimeMode)
{
    const auto moved = analyse(sameTimeTrack(120));
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->START_TIME, 36000);
    EXPECT_EQ(moved->END_TIME, 36000);
    EXPECT_EQ(moved->DURATION, 0);
    EXPECT_TRUE(moved->validFlight);
    EXPECT_NEAR(moved->LINEAR_DISTANCE, 120, 2);
    // No sample without time: the mean speed is 0, not 0 / 0.
    EXPECT_EQ(moved->MEAN_SPEED, 0);
    EXPECT_FALSE(std::isnan(moved->MEAN_SPEED));

    const auto stayed = analyse(sameTimeTrack(30));
    ASSERT_TRUE(stayed);
    EXPECT_FALSE(stayed->validFlight);
}

TEST(FlightAnalysis, NothingFromTextsWithoutUsableFixes)
{
    std::vector<std::string> invalid;
    for (const std::string& line : SimpleFlight{}.lines())
        invalid.push_back(line[0] == 'B' ? line.substr(0, 24) + "V" + line.substr(25) : line);
    std::vector<std::string> tenLines = SimpleFlight{}.lines();
    tenLines.resize(10);
    for (const std::string& text :
         {std::string(), std::string("\r\n\r\n"), igcText(invalid), igcText(tenLines)})
        EXPECT_FALSE(analyse(text));
}

TEST(FlightAnalysis, ALandingBeforeTheTakeoffIsNoFlight)
{
    // A walk: 201 fixes a second at 4 km/h never confirms a take-off. The
    // anchor moves on with every slow pair, so the last candidate lies one
    // second before it; stored, that became a flight of 23:59:59.
    std::vector<std::string> walk{"AXXX001", "HFDTE020715"};
    for (long t = 0; t <= 200; ++t)
        walk.push_back(bRecord(36000 + t, 46.0 + t * 4 / 3.6 * kalvora::test::kDegPerMetre, 7.0, 1500));
    EXPECT_FALSE(analyse(igcText(walk)));

    // A flight whose fixes run backwards (last written first): its landing would
    // come hours before its take-off.
    std::vector<std::string> backwards = SimpleFlight{}.lines();
    std::reverse(backwards.begin() + 3, backwards.end());
    EXPECT_FALSE(analyse(igcText(backwards)));

    // The same flight in order, and one passing 00:00 UTC, still are flights.
    const auto forward = analyse(SimpleFlight{}.text());
    ASSERT_TRUE(forward);
    EXPECT_GT(forward->DURATION, 0);
    SimpleFlight overMidnight;
    overMidnight.startS = 86400 - 300;
    const auto late = analyse(overMidnight.text());
    ASSERT_TRUE(late);
    EXPECT_GT(late->DURATION, 0);
    EXPECT_LT(late->DURATION, 3600);
    EXPECT_EQ(late->endDayOffset, 1);
}

TEST(FlightAnalysis, FixesOffTheGlobeOrTheDayAreNotRead)
{
    // Each of these replaces one fix in the middle of the flight: lat 99.99998,
    // lon 1000.67, time 99:99:99, minutes of 60.
    const std::vector<std::string> bad{"B1005009959999N00700000EA0150001500", "B1005004600000N99999999EA0150001500",
                                       "B9999994600000N00700000EA0150001500", "B1005004660000N00700000EA0150001500"};
    const auto clean = analyse(SimpleFlight{}.text());
    ASSERT_TRUE(clean);
    for (const std::string& fix : bad) {
        std::vector<std::string> lines = SimpleFlight{}.lines();
        lines[3 + 300] = fix;
        const auto flight = analyse(igcText(lines));
        ASSERT_TRUE(flight) << fix;
        EXPECT_EQ(flight->DURATION, clean->DURATION) << fix;
        EXPECT_LT(flight->MAX_SPEED, 40) << fix;
        EXPECT_LE(std::fabs(flight->lastTrackPoint->lon), 180) << fix;
        for (const std::string& line : flight->igcLines)
            EXPECT_NE(line, fix);
    }

    // A whole record off the globe, or outside the day, is no flight at all.
    const auto rewritten = [](std::size_t at, const char* field) {
        std::vector<std::string> lines = SimpleFlight{}.lines();
        for (std::string& line : lines) {
            if (line[0] == 'B')
                line.replace(at, 2, field);
        }
        return igcText(lines);
    };
    EXPECT_FALSE(analyse(rewritten(7, "99")));  // latitude 99 deg
    EXPECT_FALSE(analyse(rewritten(15, "99"))); // longitude 997 deg
    EXPECT_FALSE(analyse(rewritten(1, "99")));  // hour 99
    EXPECT_FALSE(kalvora::IGC::getTrackFromIGCData(rewritten(7, "99")));

    // Left with fewer than two readable fixes, a record is no flight even in no-time mode.
    std::vector<std::string> allBad{"AXXX001", "HFDTE020715", "B1000004600000N00700000EA0150001500"};
    for (int i = 0; i < 40; ++i)
        allBad.push_back(bad[static_cast<std::size_t>(i) % bad.size()]);
    EXPECT_FALSE(analyse(igcText(allBad)));
}

TEST(FlightAnalysis, SanedLinesHoldNoPlaceholders)
{
    SimpleFlight track;
    track.stepS = 10;
    const auto flight = analyse(track.text());
    ASSERT_TRUE(flight);
    std::size_t fixes = 0;
    for (const std::string& line : flight->igcLines) {
        EXPECT_FALSE(line.empty());
        EXPECT_FALSE(line.starts_with("BX"));
        fixes += line[0] == 'B';
    }
    // Of 107 fixes, the standing ones judged at 0-40 s and 650-960 s are gone
    // (the last ten lines are never judged); header lines stay.
    EXPECT_EQ(flight->igcLines.front(), "AXXX001");
    EXPECT_EQ(fixes, 107u - 5u - 32u);
    const auto unsaned = IGCFlight::flightFromIGC(track.text(), 0, false);
    ASSERT_TRUE(unsaned);
    EXPECT_EQ(unsaned->igcLines.size(), 3u + 107u);
}

TEST(FlightAnalysis, HostileInputGivesAResultOrNothing)
{
    std::mt19937 random(7);
    std::string noise(10 * 1024 * 1024, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    (void)analyse(noise);
    (void)kalvora::IGC::getTrackFromIGCData(noise);

    const std::string fixes = SimpleFlight{}.text();
    std::string nulled = fixes;
    for (std::size_t i = 0; i < nulled.size(); i += 7)
        nulled[i] = '\0';
    std::string crOnly = fixes;
    std::replace(crOnly.begin(), crOnly.end(), '\n', '\r');
    std::string highBytes = fixes;
    for (std::size_t i = 3; i < highBytes.size(); i += 11)
        highBytes[i] = '\xe9';
    const std::string longLine = "B" + std::string(5 * 1024 * 1024, '9') + "\r\n" + fixes;
    for (const std::string& text : {nulled, crOnly, highBytes, longLine}) {
        (void)analyse(text);
        (void)kalvora::IGC::getTrackFromIGCData(text);
        (void)kalvora::IGC::getWaypoints(text, true);
    }
    EXPECT_FALSE(analyse(crOnly)); // one single line
    EXPECT_TRUE(analyse(longLine));
}

} // namespace

namespace {

// Standing 60 s, then flying at 30 km/h (sinking 1 m/s) with the fixes at TIMES.
std::string flightAt(const std::vector<long>& times)
{
    std::vector<std::string> lines{"AXXX001", "HFDTE020715"};
    for (const long t : times) {
        const long flying = std::max(0L, std::min(t, 700L) - 60);
        lines.push_back(bRecord(36000 + t, 46.0 + flying * 30 / 3.6 * kalvora::test::kDegPerMetre, 7.0,
                                static_cast<int>(1500 - flying)));
    }
    return igcText(lines);
}

// With one fix a second five fast pairs are needed, but 31 s of fast pairs
// confirm sooner: the take-off run is logged every 16 s here, so the pairs
// (60,76) and (92,108) make 32 s and the anchor 124 is the take-off.
TEST(FlightAnalysis, ThirtyOneSecondsOfFastPairsConfirmTheTakeoff)
{
    std::vector<long> times;
    for (long t = 0; t <= 60; ++t)
        times.push_back(t);
    for (long t = 76; t <= 140; t += 16)
        times.push_back(t);
    for (long t = 141; t <= 1100; ++t)
        times.push_back(t);
    const auto flight = analyse(flightAt(times));
    ASSERT_TRUE(flight);
    EXPECT_EQ(flight->START_TIME, 36000 + 124);
}

TEST(FlightAnalysis, InvalidFixesInsideTheFlightAreDropped)
{
    std::vector<std::string> lines = SimpleFlight{}.lines();
    // 20 fixes in mid-flight marked 'V' and moved 5 km away: none may count.
    for (std::size_t i = 300; i < 320; ++i)
        lines[i] = bRecord(36000 + static_cast<long>(i) - 3, 46.05, 7.0, 1500, 0, 'V');
    const auto flight = analyse(igcText(lines));
    ASSERT_TRUE(flight);
    EXPECT_NEAR(flight->LINEAR_DISTANCE, 590 * 30 / 3.6, 3);
    EXPECT_EQ(flight->END_TIME, 36841);
    for (const std::string& line : flight->igcLines) {
        if (line[0] == 'B') {
            EXPECT_EQ(line[24], 'A') << line;
        }
    }
}

} // namespace
