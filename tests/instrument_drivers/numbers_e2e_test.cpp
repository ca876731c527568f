// What every serial driver writes and reads as numbers: coordinate fields at
// their resolution, and a decimal point whatever the user's locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "braeunigersim.h"
#include "flymastersim.h"
#include "flytecsim.h"
#include "instruments/braeuniger/braeuniger.h"
#include "instruments/braeuniger/braeunigermemory.h"
#include "instruments/braeuniger/braeunigerparser.h"
#include "instruments/coordinateparser.h"
#include "instruments/flymaster/flymaster.h"
#include "instruments/flymaster/flymasterparser.h"
#include "instruments/flytec/flytec.h"
#include "instruments/flytec/flytecparser.h"
#include "instruments/serialport.h"
#include "simsupport.h"
#include "support/germannumbers.h"

using namespace kalvora;

namespace {

DeviceWayPoint waypoint(const std::string& name, double lat, double lon, double alt)
{
    DeviceWayPoint wp;
    wp.shortName = name;
    wp.latitude = lat;
    wp.longitude = lon;
    wp.altitude = wp.gpsaltitude = alt;
    return wp;
}

template <typename Driver> std::unique_ptr<Driver> openAs(std::unique_ptr<GpsDevice> device)
{
    return std::unique_ptr<Driver>(static_cast<Driver*>(device.release()));
}

/** "DDMM.mmm" (or "DDDMM.mmm") of the Flytec data line's "%2d'%02d.%03d" field. */
std::string flytecDigits(std::string field)
{
    std::erase(field, '\'');
    std::replace(field.begin(), field.end(), ' ', '0');
    return field;
}

} // namespace

TEST(CoordinateFields, AllDriversRoundToAThousandthOfAMinute)
{
    struct Case
    {
        double latitude, longitude;
        const char* lat; // "DDMM.mmm,H" as every driver must send it
        const char* lon;
    } cases[] = {
        {47.3, 8.1, "4718.000,N", "00806.000,E"}, // 17.999 and 05.999 when truncated
        {-33.5, -70.25, "3330.000,S", "07015.000,W"},
        {46.99999999, 179.99999999, "4700.000,N", "18000.000,E"}, // rounding carries into the degrees
        {12.3456789, -0.0000001, "1220.741,N", "00000.000,W"},
        {0.0, 7.0083333, "0000.000,N", "00700.500,E"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lat);
        EXPECT_EQ(braeuniger::latitudeToString(c.latitude), c.lat);
        EXPECT_EQ(braeuniger::longitudeToString(c.longitude), c.lon);
        EXPECT_EQ(flymaster::latitudeField(c.latitude), c.lat);
        EXPECT_EQ(flymaster::longitudeField(c.longitude), c.lon);
        // ";N  47'18.000;E   8'06.000;": the same digits in the Flytec layout.
        const std::string line = flytec::dataLine("P", c.latitude, c.longitude, 0, 20);
        const std::string lat = line.substr(line.find(';') + 1, 12);
        const std::string lon = line.substr(line.find(';') + 14, 12);
        EXPECT_EQ(lat.substr(0, 3), std::string(1, c.lat[9]) + "  ");
        EXPECT_EQ(flytecDigits(lat.substr(3)), std::string(c.lat, 8));
        EXPECT_EQ(lon.substr(0, 2), std::string(1, c.lon[10]) + " ");
        EXPECT_EQ(flytecDigits(lon.substr(2)), std::string(c.lon, 9));
    }
}

TEST(CoordinateFields, OutOfRangeValuesStayInsideTheFields)
{
    EXPECT_EQ(minuteThousandths(std::nan("")), (MinuteThousandths{0, 0, 0}));
    EXPECT_EQ(minuteThousandths(1e300), (MinuteThousandths{360, 0, 0}));
    EXPECT_EQ(minuteThousandths(-1e300), (MinuteThousandths{360, 0, 0}));
}

// The application resets LC_NUMERIC, but the drivers must not depend on it: a
// host (a test, a tool) may run them in the user's locale.
TEST(NumbersUnderAGermanLocale, TextFieldsKeepTheirPoint)
{
    test::GermanNumbers german;
    KALVORA_REQUIRE_GERMAN_NUMBERS(german);
    EXPECT_EQ(leadingNumber(" 2100.5;"), 2100.5);
    EXPECT_EQ(leadingNumber("-0.25"), -0.25);
    EXPECT_EQ(fixedText(-33.5, 3), "-33.500");
    EXPECT_EQ(fixedText(871.4, 0, 4), " 871");
    EXPECT_EQ(braeuniger::transform::divBy2(5), "2.500000");
}

TEST(NumbersUnderAGermanLocale, EveryDriverWritesAndListsWaypointsWithAPoint)
{
    test::GermanNumbers german;
    KALVORA_REQUIRE_GERMAN_NUMBERS(german);
    const DeviceWayPoint written = waypoint("Uetliberg", 47.3, 8.1, 871);

    {
        test::SimHarness<sim::FlymasterSim> h({}, "GpsSD");
        auto device = openAs<Flymaster>(Flymaster::open(h.path(), std::make_unique<SerialPort>()));
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(device->writeWaypoint(written).ok());
        const auto stored = h.sim->withInstrument([](sim::FlymasterInstrument& i) { return i.waypoints(); });
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_NEAR(stored[0].latitudeDeg, 47.3, 1e-6);
        EXPECT_NEAR(stored[0].longitudeDeg, 8.1, 1e-6);
        const std::vector<DeviceWayPoint> list = device->waypoints();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].latitudeString, "47.300");
        EXPECT_EQ(list[0].longitudeString, "8.100");
        EXPECT_EQ(list[0].altitudeString, " 871");
    }
    {
        test::SimHarness<sim::FlytecSim> h({}, "Flytec 6015");
        auto device = openAs<Flytec>(Flytec::open(h.path(), std::make_unique<SerialPort>()));
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(device->writeWaypoint(written).ok());
        const std::vector<DeviceWayPoint> list = device->waypoints();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_NEAR(list[0].latitude, 47.3, 1e-6);
        EXPECT_NEAR(list[0].longitude, 8.1, 1e-6);
        EXPECT_EQ(list[0].latitudeString, "47.300");
        EXPECT_EQ(list[0].longitudeString, "8.100");
    }
    {
        auto simulator = std::make_shared<sim::BraeunigerSim>("COMPEO+", std::vector<sim::IgcFile>{});
        sim::SimulatorRunner runner(simulator);
        ASSERT_TRUE(runner.start());
        auto device =
            openAs<Braeuniger>(Braeuniger::open(runner.slavePath(), std::make_unique<SerialPort>()));
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(device->writeWaypoint(written).ok());
        // The simulated instrument starts with waypoints of its own.
        const auto stored = simulator->waypoints();
        const auto onInstrument = std::find_if(stored.begin(), stored.end(), [](const auto& w) {
            return w.longName.rfind("Uetliberg", 0) == 0;
        });
        ASSERT_NE(onInstrument, stored.end());
        EXPECT_NEAR(onInstrument->latitude, 47.3, 1e-6);
        EXPECT_NEAR(onInstrument->longitude, 8.1, 1e-6);
        const std::vector<DeviceWayPoint> list = device->waypoints();
        const auto read = std::find_if(list.begin(), list.end(), [](const DeviceWayPoint& w) {
            return w.shortName.rfind("Uetliberg", 0) == 0;
        });
        ASSERT_NE(read, list.end());
        EXPECT_EQ(read->latitudeString, "47.300");
        EXPECT_EQ(read->longitudeString, "8.100");
        EXPECT_EQ(read->altitudeString, " 871");
    }
}
