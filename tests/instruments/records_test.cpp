#include <gtest/gtest.h>

#include "instruments/deviceroute.h"
#include "instruments/devicewaypoint.h"
#include "instruments/track.h"

using namespace kalvora;

TEST(TrackTexts, DateTimeAndWrappingDuration)
{
    Track t = Track::withUTCDateTime(utcTimeFromFields(2015, 7, 2, 10, 30, 12), 90061, 3);
    EXPECT_EQ(utcDateString(t), "02.07.2015");
    EXPECT_EQ(utcTimeString(t), "10:30:12");
    EXPECT_EQ(durationString(t), "01:01:01");
    EXPECT_EQ(isoUtcString(t.utcDateTime), "2015-07-02T10:30:12Z");
    EXPECT_TRUE(t.igcData.empty());
    t.flightTime = 5388;
    EXPECT_EQ(durationString(t), "01:29:48");
}

TEST(TrackTexts, NewTrackDefaults)
{
    const Track t;
    EXPECT_EQ(t.trackNumber, 100);
    EXPECT_EQ(t.flightTime, 2700.0);
    EXPECT_TRUE(t.igcData.empty());
}

TEST(DeviceWayPointRecord, CopyLosesNameAndTexts)
{
    DeviceWayPoint w;
    w.latitude = 1;
    w.longitude = 2;
    w.altitude = 3;
    w.gpsaltitude = 4;
    w.radius = 5;
    w.time = 6;
    w.used = true;
    w.scorePointNumber = 7;
    w.routeWaypoint = true;
    w.is3D = true;
    w.shortName = "Name";
    w.latitudeString = "x";
    const DeviceWayPoint c = w.copy();
    EXPECT_TRUE(c.shortName.empty());
    EXPECT_TRUE(c.latitudeString.empty());
    DeviceWayPoint expected = w;
    expected.shortName.clear();
    expected.latitudeString.clear();
    EXPECT_EQ(c, expected);
}

TEST(DeviceWayPointRecord, StatsColour)
{
    DeviceWayPoint w;
    EXPECT_EQ(statsColor(w), (StatsColor{0.8, 0, 0, 1}));
    w.used = true;
    EXPECT_EQ(statsColor(w), (StatsColor{0, 0, 0, 1}));
    w.scorePointNumber = 2;
    EXPECT_EQ(statsColor(w), (StatsColor{0, 0.8, 0, 1}));
}

TEST(Conversions, StoredWaypointUsesShortNameOrName)
{
    const DeviceWayPoint a = deviceWayPointFromWaypoint(47250000, -8500000, 1520, 400, "", "Full name");
    EXPECT_DOUBLE_EQ(a.latitude, 47.25);
    EXPECT_DOUBLE_EQ(a.longitude, -8.5);
    EXPECT_EQ(a.altitude, 1520);
    EXPECT_EQ(a.gpsaltitude, 1520);
    EXPECT_EQ(a.radius, 400);
    EXPECT_EQ(a.shortName, "Full name");
    EXPECT_EQ(deviceWayPointFromWaypoint(0, 0, 0, 0, "SHORT", "Full").shortName, "SHORT");
}

TEST(Conversions, RouteEntryMarksRouteAnd3D)
{
    const DeviceWayPoint w = deviceWayPointFromRouteEntry({2, "TP1", 46.5, 7.25, 2100, 400});
    EXPECT_TRUE(w.routeWaypoint);
    EXPECT_TRUE(w.is3D);
    EXPECT_EQ(w.gpsaltitude, 2100);
    EXPECT_EQ(w.radius, 400);
    EXPECT_EQ(w.shortName, "TP1");
}

TEST(Conversions, RouteImportSkipsUnknownPointsWithoutUsingAnIndex)
{
    DeviceRoute route;
    route.name = "R";
    for (const char* n : {"A", "missing", "B", "A"}) {
        DeviceWayPoint p;
        p.shortName = n;
        route.waypoints.push_back(p);
    }
    DeviceWayPoint a;
    a.shortName = "A";
    a.latitude = 1;
    a.radius = 0;
    DeviceWayPoint b;
    b.shortName = "B";
    b.latitude = 2;
    DeviceWayPoint a2 = a;
    a2.latitude = 9; // a later duplicate is never used
    const auto entries = routeEntriesForImport(route, {a, b, a2});
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (RouteEntry{0, "A", 1, 0, 0, 0}));
    EXPECT_EQ(entries[1], (RouteEntry{1, "B", 2, 0, 0, 0}));
    EXPECT_EQ(entries[2].index, 2);
    EXPECT_TRUE(routeEntriesForImport(route, {}).empty());
    EXPECT_EQ(DeviceRoute::distance(), "n/a");
}
