#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "track/placefinder.h"

using kalvora::PlaceFinder;

namespace {

TEST(PlaceFinderDistance, WholeMetresBetweenMicrodegrees)
{
    EXPECT_EQ(PlaceFinder::gpsDistance(47000000, 11000000, 47000000, 11010000), 758);
    EXPECT_EQ(PlaceFinder::gpsDistance(47000000, 11000000, 47010000, 11000000), 1111);
    EXPECT_EQ(PlaceFinder::gpsDistance(0, 0, 0, 1000000), 111194);
    EXPECT_EQ(PlaceFinder::gpsDistance(47000000, 11000000, 47000000, 11000000), 0);
    EXPECT_EQ(PlaceFinder::gpsDistance(std::nan(""), 0, 0, 0), 0);
}

TEST(PlaceFinderCoordinates, TextToMicrodegrees)
{
    struct Case
    {
        const char* text;
        std::int64_t latitude;
    };
    const Case cases[] = {
        {"4707404N", 47123400},
        {"4707404S", -47123400},
        {"4707404s", -47123400},
        {"S4707404", -47123400},
        {"N4707404", 47123400},
        {"47A7404N", 0},
        {"", 0},
        {"N", 0},
        {"7404N", 0},
        {"0000000N", 0},
        {"9000000S", -90000000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlaceFinder::latitudeFromString(c.text), c.latitude) << c.text;
    EXPECT_EQ(PlaceFinder::longitudeFromString("01122560E"), 11376000);
    EXPECT_EQ(PlaceFinder::longitudeFromString("01122560W"), -11376000);
    EXPECT_EQ(PlaceFinder::longitudeFromString("01122560N"), 0); // N is no longitude letter
    EXPECT_EQ(PlaceFinder::longitudeFromString(std::string(500, '9') + "E"), 0);
}

TEST(PlaceFinderCoordinates, DegreesToText)
{
    EXPECT_EQ(PlaceFinder::igcStringFromLatitude(47.1234), "4707404N");
    EXPECT_EQ(PlaceFinder::igcStringFromLatitude(-33.5), "3330000S");
    EXPECT_EQ(PlaceFinder::igcStringFromLatitude(47.999999999), "4760000N");
    EXPECT_EQ(PlaceFinder::igcStringFromLatitude(-0.5), "0030000S");
    EXPECT_EQ(PlaceFinder::igcStringFromLongitude(11.376), "01122560E");
    EXPECT_EQ(PlaceFinder::igcStringFromLongitude(-122.25), "12215000W");
    EXPECT_EQ(PlaceFinder::igcStringFromLongitude(std::numeric_limits<double>::quiet_NaN()), "00000000E");
}

TEST(PlaceFinderCoordinates, TextsReadBackToTheSameValue)
{
    for (const double lat : {0.25, 12.5, -45.123, 89.99}) {
        const double back =
            static_cast<double>(PlaceFinder::latitudeFromString(PlaceFinder::igcStringFromLatitude(lat)));
        EXPECT_NEAR(back / 1e6, lat, 1.0 / 60000);
    }
}

} // namespace
