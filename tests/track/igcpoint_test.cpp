#include <gtest/gtest.h>

#include "track/igcpoint.h"

using kalvora::IGCPoint;

namespace {

TEST(IGCPointReading, ReadsTheFieldsOfAFix)
{
    const auto p = IGCPoint::igcPointWithIGCLine("B1101355206343N00006198EA0058700558");
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->lat, 52.0 + 6343.0 / 60000.0, 1e-12);
    EXPECT_NEAR(p->lon, 0.1033, 1e-12);
    EXPECT_EQ(p->varioAlt, 587);
    EXPECT_EQ(p->gpsAlt, 558);
    EXPECT_EQ(p->gpsTime, 39695);
}

} // namespace
