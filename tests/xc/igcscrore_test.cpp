#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "track/igcflight.h"
#include "track/igcscrore.h"
#include "track/xcoptimizer.h"
#include "xcshapes.h"

using kalvora::IGCFlight;
using kalvora::IGCScrore;
using kalvora::XCFix;
using kalvora::test::PlanePoint;
using kalvora::test::fixesAlong;
using kalvora::test::thirdVertex;

// ---- the rules on three distances -------------------------------------------------

TEST(IGCScroreRules, ScoreTypeMaxDistanceAndPoints)
{
    struct Case
    {
        double freeKm, flatKm, faiKm;
        int type;
        double maxKm, pointsContest, pointsOther;
    };
    const Case cases[] = {
        {40, 30, 25, 0, 40, 40, 60},     // 60 > 52.5 and 60 > 50
        {40, 36, 25, 1, 40, 43.2, 63},   // 63 > 60 and 63 > 50
        {40, 30, 31, 2, 40, 43.4, 62},   // 62 > 60
        {10, 9, 8, 2, 10, 11.2, 16},     // the points follow the setting, the type does not
        {0, 5, 7, 0, 0, 0, 0},           // nothing flown: type 0, distance 0
        {-1, 0, 0, 2, 0, -1, -1},        // still being computed: the points are the marker itself
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.freeKm);
        EXPECT_EQ(IGCScrore::scoreType(c.freeKm, c.flatKm, c.faiKm), c.type);
        EXPECT_DOUBLE_EQ(IGCScrore::maxDistance(c.freeKm, c.flatKm, c.faiKm), c.maxKm);
        EXPECT_NEAR(IGCScrore::points(c.freeKm, c.flatKm, c.faiKm, 0), c.pointsContest, 1e-9);
        EXPECT_NEAR(IGCScrore::points(c.freeKm, c.flatKm, c.faiKm, 1), c.pointsOther, 1e-9);
        EXPECT_NEAR(IGCScrore::points(c.freeKm, c.flatKm, c.faiKm, std::nullopt), c.pointsOther, 1e-9);
    }
}

TEST(IGCScroreRules, DistanceText)
{
    EXPECT_EQ(IGCScrore::distanceText(-2), "calculating");
    EXPECT_EQ(IGCScrore::distanceText(-0.5), "n/a"); // whole part 0
    EXPECT_EQ(IGCScrore::distanceText(0), "n/a");
    EXPECT_EQ(IGCScrore::distanceText(0.7), "n/a");
    EXPECT_EQ(IGCScrore::distanceText(12.5), "12.50");
    EXPECT_EQ(IGCScrore::distanceText(100, true), "62.14");
}

// ---- reading fixes ----------------------------------------------------------------

TEST(IGCScroreFixes, ReadsOnlyWellFormedRecords)
{
    const std::string good = "B1101355206343N00006198EA0058700558";
    struct Case
    {
        std::string line;
        bool isFix;
    };
    const Case cases[] = {
        {good, true},
        {"B1101355206343X00006198EA0058700558", false}, // no hemisphere letter
        {"B1101355206343N00006198XA0058700558", false},
        {"B1101355206343N00006198", false},              // too short to hold the E/W letter
        {good + std::string(230, '0'), false},           // longer than 254 bytes
        {"C1101355206343N00006198EA0058700558", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kalvora::readXCFixes({c.line}).size(), c.isFix ? 1u : 0u) << c.line;

    const auto fixes = kalvora::readXCFixes({good, "B1101365206343S00006198WA0058700558"});
    ASSERT_EQ(fixes.size(), 2u);
    EXPECT_NEAR(fixes[0].latitudeDeg, 52 + 6343 / 60000.0, 1e-12);
    EXPECT_NEAR(fixes[0].longitudeWDeg, -0.1033, 1e-12); // east is negative inside
    EXPECT_EQ(fixes[0].timeS, 39695);
    EXPECT_NEAR(fixes[1].latitudeDeg, -(52 + 6343 / 60000.0), 1e-12);
    EXPECT_NEAR(fixes[1].longitudeWDeg, 0.1033, 1e-12);
}

TEST(IGCScroreFixes, ThinsHalfMetreStepsAndTimesFixesWithoutTime)
{
    // 4707404N: one thousandth of a minute north is 1.85 m; the same place twice is dropped.
    const std::vector<std::string> lines = {
        "B0000004707404N01122560EA0152001520", "B0000004707404N01122560EA0152001520",
        "B0000004707405N01122560EA0152001520", "B0000004707406N01122560EA0152001520"};
    const auto fixes = kalvora::readXCFixes(lines);
    ASSERT_EQ(fixes.size(), 3u);
    EXPECT_EQ(fixes[0].timeS, 10);
    EXPECT_EQ(fixes[1].timeS, 30); // the dropped fix still counted its 10 s
    EXPECT_EQ(fixes[2].timeS, 40);

    // The first fix after the end of the day ends the reading.
    const auto window = kalvora::readXCFixes(
        {"B1000004707404N01122560EA0152001520", "B1100004707504N01122560EA0152001520",
         "B1200004707604N01122560EA0152001520"},
        0, 39600);
    EXPECT_EQ(window.size(), 2u);
}

TEST(IGCScroreFixes, TimesCountOnAcrossMidnight)
{
    // 23:59:50 to 00:00:10 UTC with a fix on 00:00:00 itself: read whole, by
    // the window of the whole day that scoring uses.
    const std::vector<std::string> lines = {
        "B2359504707404N01122560EA0152001520", "B0000004707504N01122560EA0152001520",
        "B0000104707604N01122560EA0152001520"};
    const auto fixes = kalvora::readXCFixes(lines);
    ASSERT_EQ(fixes.size(), 3u);
    EXPECT_EQ(fixes[0].timeS, 86390);
    EXPECT_EQ(fixes[1].timeS, 86400);
    EXPECT_EQ(fixes[2].timeS, 86410);

    // A record that starts at 00:00:00 has a time, and so do the fixes after it.
    const auto early = kalvora::readXCFixes({"B0000004707404N01122560EA0152001520",
                                             "B0000014707504N01122560EA0152001520"});
    ASSERT_EQ(early.size(), 2u);
    EXPECT_EQ(early[1].timeS, 1);
}

TEST(IGCScroreFlights, FlightAcrossMidnightScoresAsByDay)
{
    // 24 km north in 20-minute legs, one fix every 10 s, so that one fix falls
    // on 00:00:00 exactly; the same flight by day scores the same.
    const auto along = fixesAlong({{0, 0}, {0, 24000}}, 80);
    auto linesFrom = [&](int startS) {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < along.size(); ++i)
            lines.push_back(kalvora::test::bRecord(along[i], (startS + 10 * int(i)) % 86400));
        return lines;
    };
    const int midnightStart = 86400 - 10 * int(along.size() / 2);
    const auto night = linesFrom(midnightStart);
    ASSERT_NE(std::find_if(night.begin(), night.end(), [](const std::string& l) { return l.rfind("B000000", 0) == 0; }),
              night.end());
    IGCFlight acrossMidnight, byDay;
    acrossMidnight.igcLines = night;
    byDay.igcLines = linesFrom(12 * 3600);
    ASSERT_TRUE(IGCScrore::calcFlightData(acrossMidnight).ok());
    ASSERT_TRUE(IGCScrore::calcFlightData(byDay).ok());
    EXPECT_NEAR(acrossMidnight.freeDistance, 24, 0.01);
    EXPECT_EQ(acrossMidnight.freeDistance, byDay.freeDistance);
    EXPECT_EQ(acrossMidnight.scorePoints, byDay.scorePoints);

    // A route made of such records scores the whole of it too.
    const auto route = IGCScrore::scoreRoute(night);
    ASSERT_TRUE(route.ok());
    EXPECT_EQ(route->freeDistance, byDay.freeDistance);
}

// ---- hand-checked flights -----------------------------------------------------------

namespace {

kalvora::XCResult score(const std::vector<XCFix>& fixes)
{
    const auto r = kalvora::optimizeXC(fixes, {.threads = 1});
    EXPECT_TRUE(r.ok());
    return r.ok() ? *r : kalvora::XCResult{};
}

} // namespace

TEST(IGCScroreFlights, TrianglesOfThePilotsRules)
{
    // Equilateral, 10 km sides, back at the start: an FAI triangle of 30 km.
    const PlanePoint a{0, 0}, b{10000, 0}, c = thirdVertex(10000, 10000, 10000);
    auto r = score(fixesAlong({a, b, c, a}));
    EXPECT_NEAR(r.faiM, 30000, 10);
    EXPECT_LT(r.flatM, r.faiM);

    // Perimeter 30 km, finish 5.95 km short of the start: 24.05 km.
    const PlanePoint e{c.eastM * 5.95 / 10, c.northM * 5.95 / 10};
    r = score(fixesAlong({a, b, c, e}));
    EXPECT_NEAR(r.faiM, 24050, 10);
    // Finish 7 km away (more than 20 %): that triangle does not count.
    const PlanePoint f{c.eastM * 0.7, c.northM * 0.7};
    r = score(fixesAlong({a, b, c, f}));
    EXPECT_LT(r.faiM, 20000);
    EXPECT_LT(r.flatM, 20000);

    // Sides 13, 9, 8 km: smallest side 26.7 %, a flat triangle of 30 km.
    const PlanePoint c2 = thirdVertex(13000, 8000, 9000);
    r = score(fixesAlong({a, {13000, 0}, c2, a}));
    EXPECT_NEAR(r.flatM, 30000, 10);
    EXPECT_LT(r.faiM, 29000);
    // Sides 12, 9.5, 8.5 km: smallest side 28.3 %, an FAI triangle of 30 km.
    const PlanePoint c3 = thirdVertex(12000, 8500, 9500);
    r = score(fixesAlong({a, {12000, 0}, c3, a}));
    EXPECT_NEAR(r.faiM, 30000, 10);
}

TEST(IGCScroreFlights, FreeDistanceUsesThreeTurnpoints)
{
    // A zig-zag of four 10 km legs at right angles: the free distance flies them all.
    const auto fixes = fixesAlong({{0, 0}, {10000, 0}, {10000, 10000}, {20000, 10000}, {20000, 20000}});
    const auto r = score(fixes);
    EXPECT_NEAR(r.freeM, 40000, 10);
}

TEST(IGCScroreFlights, TwoFixesAreNotSearched)
{
    IGCFlight flight;
    flight.igcLines = {"B1200004700000N01100000EA0100001000", "B1201004701000N01100000EA0100001000"};
    ASSERT_TRUE(IGCScrore::calcFlightData(flight).ok());
    // One minute of latitude: 1853.25 m.
    EXPECT_DOUBLE_EQ(flight.freeDistance, 1.853);
    EXPECT_EQ(flight.flatDistance, 0);
    EXPECT_EQ(flight.faiDistance, 0);
    ASSERT_EQ(flight.scorePoints.size(), 5u);
    EXPECT_DOUBLE_EQ(flight.scorePoints[0].latitude, 47);
    for (int i = 1; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(flight.scorePoints[i].latitude, 47 + 1 / 60.0);
        EXPECT_DOUBLE_EQ(flight.scorePoints[i].longitude, 11); // east positive again
    }
}

TEST(IGCScroreFlights, FlightWithoutRecordsIsRefusedAndLeftAlone)
{
    IGCFlight flight;
    flight.freeDistance = -1;
    const auto done = IGCScrore::calcFlightData(flight);
    EXPECT_FALSE(done.ok());
    EXPECT_EQ(flight.freeDistance, -1);
}

TEST(IGCScroreFlights, RouteOfTimelessFixes)
{
    // A route of four points written as B records with time 000000.
    std::vector<std::string> lines;
    const auto pts = fixesAlong({{0, 0}, {10000, 0}, {thirdVertex(10000, 10000, 10000)}, {0, 0}}, 10000);
    for (const XCFix& p : pts)
        lines.push_back(kalvora::test::bRecord(p, 0));
    const auto flight = IGCScrore::scoreRoute(lines);
    ASSERT_TRUE(flight.ok());
    EXPECT_NEAR(flight->faiDistance, 30, 0.01);
    EXPECT_EQ(IGCScrore::scoreType(flight->freeDistance, flight->flatDistance, flight->faiDistance), 2);
    EXPECT_EQ(flight->scorePoints.size(), 5u);

    const auto empty = IGCScrore::scoreRoute({});
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty->freeDistance, 0);
    EXPECT_TRUE(empty->scorePoints.empty());
}

// ---- threads and cancelling -------------------------------------------------------

TEST(IGCScroreSearch, TwoThreadsFindTheSameDistances)
{
    const auto fixes = fixesAlong({{0, 0}, {30000, 0}, {15000, 20000}, {2000, 1000}, {25000, 25000}}, 10);
    const auto one = kalvora::optimizeXC(fixes, {.threads = 1});
    const auto two = kalvora::optimizeXC(fixes, {.threads = 2});
    ASSERT_TRUE(one.ok() && two.ok());
    EXPECT_EQ(one->freeM, two->freeM);
    EXPECT_EQ(one->flatM, two->flatM);
    EXPECT_EQ(one->faiM, two->faiM);
}

TEST(IGCScroreSearch, CancelledSearchReportsFailure)
{
    const auto fixes = fixesAlong({{0, 0}, {30000, 0}, {15000, 20000}, {2000, 1000}}, 10);
    std::atomic<bool> cancel{true};
    const auto r = kalvora::optimizeXC(fixes, {.threads = 2, .cancel = &cancel});
    EXPECT_FALSE(r.ok());
}
