#include <gtest/gtest.h>

#include <cmath>

#include "track/igcpoint.h"

using kalvora::IGCPoint;

namespace {

constexpr const char* kFix = "B1101355206343N00006198EA0058700558";

TEST(IGCPointReading, ReadsTheFieldsOfAFix)
{
    const auto p = IGCPoint::igcPointWithIGCLine(kFix, 2);
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->lat, 52.0 + 6343.0 / 60000.0);
    EXPECT_DOUBLE_EQ(p->lon, 0.1033);
    EXPECT_EQ(p->varioAlt, 587);
    EXPECT_EQ(p->gpsAlt, 558);
    EXPECT_EQ(p->gpsTime, 39695);
    EXPECT_EQ(p->timezone, 2);
}

TEST(IGCPointReading, HemispheresAndSignedAltitudes)
{
    const auto p = IGCPoint::igcPointWithIGCLine("B1101355206343S00006198WA-0012-0003");
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->lat, -(52.0 + 6343.0 / 60000.0));
    EXPECT_DOUBLE_EQ(p->lon, -0.1033);
    EXPECT_EQ(p->varioAlt, -12);
    EXPECT_EQ(p->gpsAlt, -3);
}

TEST(IGCPointReading, RejectsWhatIsNoFix)
{
    const std::string fix = kFix;
    std::string badLat = fix;
    badLat[14] = 'X';
    std::string badLon = fix;
    badLon[23] = 'X';
    const std::string cases[] = {
        "",     "B",    fix.substr(0, 34),     "A" + fix.substr(1),
        badLat, badLon, std::string(200, 'B'), std::string("B1101355206343N00006198EA00587\0\0\0\0\0", 35),
    };
    for (const std::string& line : cases) {
        const auto p = IGCPoint::igcPointWithIGCLine(line);
        if (line.size() == 35 && line[0] == 'B' && line[14] == 'N' && line[23] == 'E') {
            // NUL bytes where the GNSS altitude belongs read as nothing: 0.
            ASSERT_TRUE(p);
            EXPECT_EQ(p->gpsAlt, 0);
        } else {
            EXPECT_FALSE(p) << line;
        }
    }
}

TEST(IGCPointReading, OutOfRangeFieldsAreNoFix)
{
    struct Case
    {
        const char* line;
        bool fix;
    } cases[] = {
        {"B1101359959999N00006198EA0058700558", false}, // 99.99998 deg north
        {"B1101359000001N00006198EA0058700558", false}, // a thousandth past the pole
        {"B1101359000000S00006198EA0058700558", true},  // the pole itself
        {"B1101355206343N99999999EA0058700558", false}, // 1000.67 deg east
        {"B1101355206343N18000001WA0058700558", false},
        {"B1101355206343N18000000WA0058700558", true},
        {"B1101355260000N00006198EA0058700558", false}, // 60 minutes
        {"B1101355206343N00060000EA0058700558", false},
        {"B9999995206343N00006198EA0058700558", false}, // 99:99:99
        {"B2400005206343N00006198EA0058700558", false},
        {"B1160005206343N00006198EA0058700558", false},
        {"B1101605206343N00006198EA0058700558", false},
        {"B2359595206343N00006198EA0058700558", true},
        {"B11-1355206343N00006198EA0058700558", false}, // a sign inside a field
        {"B110135-206343N00006198EA0058700558", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IGCPoint::igcPointWithIGCLine(c.line).has_value(), c.fix) << c.line;
}

TEST(IGCPointReading, ValidityFlagIsNotLookedAt)
{
    std::string line = kFix;
    line[24] = 'V';
    EXPECT_TRUE(IGCPoint::igcPointWithIGCLine(line));
}

TEST(IGCPointTime, WrapsTheOffsetIntoOneDay)
{
    IGCPoint p;
    p.gpsTime = 82800;
    p.timezone = 2;
    EXPECT_EQ(p.getTime(), 3600);
    p.timezone = -2;
    p.gpsTime = 3600;
    EXPECT_EQ(p.getTime(), 82800);
}

TEST(IGCPointAltitude, FallsBackWhenThePreferredOneIsMissing)
{
    IGCPoint p;
    p.gpsAlt = 0;
    p.varioAlt = 812;
    EXPECT_EQ(p.getAlt(false), 812);
    EXPECT_EQ(p.getAlt(true), 812);
    p.gpsAlt = 900;
    EXPECT_EQ(p.getAlt(false), 900);
    EXPECT_EQ(p.getAlt(true), 812);
    p.varioAlt = -5;
    EXPECT_EQ(p.getAlt(true), 900);
}

TEST(IGCPointDistance, HaversineOnTheSphere)
{
    EXPECT_NEAR(IGCPoint::calcDistance(0, 0, 0, 1), 111194.93, 0.005);
    EXPECT_EQ(IGCPoint::calcDistance(47, 11, 47, 11), 0);
    // Antipodes: rounding must not turn the distance into NaN.
    const double half = IGCPoint::calcDistance(0, 0, 0, 180);
    EXPECT_FALSE(std::isnan(half));
    EXPECT_NEAR(half, M_PI * 6371000, 1);
}

} // namespace
