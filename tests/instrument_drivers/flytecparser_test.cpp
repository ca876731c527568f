#include <gtest/gtest.h>

#include "instruments/flytec/flytecparser.h"

using namespace kalvora;

namespace {

constexpr std::int64_t kDec6_2026 = 1796515200; // 2026-12-06 00:00:00 UTC

TEST(FlytecParser, FramesCommandsThatAlreadyEndInCrLf)
{
    EXPECT_EQ(flytec::frame("ACT_BD_DD\r\n"), "ACT_BD_DD\r\n*16\r\n");
    EXPECT_EQ(flytec::frame(""), "*00\r\n");
    EXPECT_EQ(flytec::downloadCommand(26), "ACT_21_1a\r\n");
    EXPECT_EQ(flytec::downloadCommand(3), "ACT_21_03\r\n");
}

TEST(FlytecParser, TrackListKeepsLinesBeforeDone)
{
    const std::string answer = "0;26.12.06;10:30:00;1;001:30:05\r\n"
                               "1;26.12.06;14:00:00;1;000:05:00\r\n"
                               "broken line\r\n"
                               "Done\r\n"
                               "2;26.12.06;15:00:00;1;000:05:00\r\n";
    const auto tracks = flytec::parseTrackList(answer);
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0], (flytec::TrackEntry{0, kDec6_2026 + 10 * 3600 + 30 * 60, 5405}));
    EXPECT_EQ(tracks[1].number, 1);
    EXPECT_EQ(tracks[1].durationS, 300);
}

TEST(FlytecParser, TrackLineEdgeCases)
{
    struct Case
    {
        const char* line;
        bool valid;
    };
    const Case cases[] = {
        {"", false},
        {"1;26.12.06;10:30:00;1", false},           // four fields
        {"1;26.13.06;10:30:00;1;001:00:00", false}, // month 13
        {"1;26.02.30;10:30:00;1;001:00:00", false}, // 30 February
        {"1;26.12.06;24:00:00;1;001:00:00", false},
        {"x;26.12.06;10:30:00;1;001:00:00", false},
        {"1;26.12.06;10:30:00;1;1:00", false},
        {"12;26.12.06;10:30:00;1;  1:00:00", true}, // two-digit hours with padding
        {"12;26.12.06;10:30:00;1;123:00:00;extra;fields", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(flytec::parseTrackLine(c.line).has_value(), c.valid) << c.line;
}

TEST(FlytecParser, WaypointLineOfTheExample)
{
    const std::string line = flytec::dataLine("Grat", 46.5, 7.25, 2100, 400);
    EXPECT_EQ(line, "Grat            ;N  46'30.000;E   7'15.000;  2100;   400\r\n");
    const auto wp = flytec::parseWaypointLine(line.substr(0, line.size() - 2));
    ASSERT_TRUE(wp);
    EXPECT_EQ(wp->name, "Grat            ");
    EXPECT_DOUBLE_EQ(wp->latitudeDeg, 46.5);
    EXPECT_DOUBLE_EQ(wp->longitudeDeg, 7.25);
    EXPECT_EQ(wp->altitudeM, 2100);
    EXPECT_EQ(wp->radiusM, 400);
}

TEST(FlytecParser, DataLineCleansPadsAndClamps)
{
    struct Case
    {
        const char* name;
        double lat, lon, alt, radius;
        const char* expected;
    };
    const Case cases[] = {
        {"M\xc3\xbcller Spitze S\xc3\xbc"
         "dhang",
         -33.5, -70.125, 12000, 5, "Mueller Spitze S;S  33'30.000;W  70'07.500; 10000;    20\r\n"},
        {"a*b;c", 0, 0, -5000, 900000, "abc             ;N   0'00.000;E   0'00.000; -2000;200000\r\n"},
        {"\xc3\x9f\xc3\xb1\xc3\x84\xc3\x96\xc3\x9c", 1.0 / 60, 179.999, 0, 20,
         "ssnAeOeUe       ;N   0'01.000;E 179'59.940;     0;    20\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(flytec::dataLine(c.name, c.lat, c.lon, c.alt, c.radius), c.expected) << c.name;
}

TEST(FlytecParser, WaypointListSortedByNameAndStopsAtNoData)
{
    const std::string answer = "B               ;N  46'30.000;E   7'15.000;  2100;    20\r\n"
                               "  A             ;S  10'00.500;W 120'00.000;    -5;   400\r\n"
                               "short;line\r\n"
                               "Done\r\n";
    const auto list = flytec::parseWaypointList(answer);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "A             ");
    EXPECT_NEAR(list[0].latitudeDeg, -(10 + 0.5 / 60), 1e-6);
    EXPECT_DOUBLE_EQ(list[0].longitudeDeg, -120);
    EXPECT_EQ(list[0].altitudeM, -5);
    EXPECT_EQ(list[1].name, "B               ");
    EXPECT_TRUE(flytec::parseWaypointList("No Data\r\n").empty());
    EXPECT_TRUE(flytec::parseWaypointList("").empty());
}

TEST(FlytecParser, ParameterAnswers)
{
    EXPECT_EQ(flytec::decodeParameterNumber("RFA_0A_3412\r\n", 16), 0x1234u);
    EXPECT_EQ(flytec::decodeParameterNumber("RFA_06_78563412\r\n", 32), 0x12345678u);
    EXPECT_EQ(flytec::decodeParameterNumber("RFA_05_FF01\r\n", 8), 0xFFu); // masked to the width
    EXPECT_EQ(flytec::decodeParameterNumber("RFA_0A_\r\n", 16), 0u);       // shorter than 11
    EXPECT_EQ(flytec::decodeParameterNumber("RFA_0A_1G\r\n", 16), 0u);     // not hex
    EXPECT_EQ(flytec::decodeParameterText("RFA_00_50696C6F74202020\r\n"), "Pilot");
    EXPECT_EQ(flytec::decodeParameterText("RFA_00_0A4142\r\n"), "AB"); // line break never enters a text
    EXPECT_EQ(flytec::decodeParameterText("No Par\r\n"), "");
    EXPECT_TRUE(flytec::isNoPar("No Par\r\n"));
}

TEST(FlytecParser, ParameterWrites)
{
    EXPECT_EQ(flytec::writeNumberCommand(0x0A, 0x1234), "WFA_0A_3412\r\n");
    EXPECT_EQ(flytec::writeNumberCommand(0x05, 0x1FF), "WFA_05_FF\r\n");
    EXPECT_EQ(flytec::writeNumberCommand(0x14, -1), "WFA_14_FFFFFFFF\r\n");
    EXPECT_EQ(flytec::writeNumberCommand(0x17, 7), "WFA_17_\r\n"); // an address without width
    EXPECT_EQ(flytec::writeTextCommand(0x00, "Pilot"), "WFA_00_50696C6F74"
                                                       "2020202020202020202020"
                                                       "\r\n");
    EXPECT_EQ(flytec::writeTextCommand(0x01, "ABCDEFGHIJKLMNOPQRST").size(), 7u + 32 + 2);
    EXPECT_EQ(flytec::writeBitFieldCommand(0x03, 0x0281), "WFA_03_8102\r\n");
    EXPECT_TRUE(flytec::parameterWriteAccepted("Done\r\n"));
    EXPECT_FALSE(flytec::parameterWriteAccepted("No Par\r\n"));
    EXPECT_FALSE(flytec::parameterWriteAccepted("not ready\r\n"));
}

TEST(FlytecParser, SpeedUnitChangesBitsSixAndSevenOnly)
{
    const std::uint16_t units = 0xFFFF & ~(3 << 6);
    const std::uint16_t changed = flytec::withBitField(units, flytec::unitSpeed, 2);
    EXPECT_EQ(changed, units | (2 << 6));
    EXPECT_EQ(flytec::bitFieldValue(changed, flytec::unitSpeed), 2);
    EXPECT_EQ(flytec::withBitField(0, flytec::unitCoordinates, 7), 3 << 9); // value cut to its two bits
    EXPECT_EQ(flytec::writeBitFieldCommand(3, flytec::withBitField(0, flytec::unitSpeed, 2)),
              "WFA_03_8000\r\n");
}

TEST(FlytecParser, ParameterTableWidths)
{
    ASSERT_EQ(flytec::parameterAddresses().size(), 26u);
    EXPECT_EQ(flytec::parameterAddresses().back(), 0x22);
    EXPECT_EQ(flytec::parameterWidth(0x06), 32);
    EXPECT_EQ(flytec::parameterWidth(0x1C), 8);
    EXPECT_EQ(flytec::parameterWidth(0x22), 16);
    EXPECT_EQ(flytec::parameterWidth(0x17), 0);
    EXPECT_EQ(flytec::readParameterCommand(0x1A), "RFA_1A\r\n");
}

} // namespace

TEST(FlytecParser, IdentificationAnswerMustLookLikeAName)
{
    struct Case
    {
        std::string answer;
        const char* name; // nullptr: no instrument
    } cases[] = {
        {"Flytec 6015\r\n", "Flytec 6015"},
        {"\r\n  Flytec 6030, SW 1.2 \r\n\r\n", "Flytec 6030, SW 1.2"},
        {"Flytec 6015\n", "Flytec 6015"},
        {"P", nullptr},           // one byte that trickled in
        {"Flytec 6015", nullptr}, // no line end: cut off
        {"\r\n", nullptr},        // nothing but a line end
        {"$GPRMC,103000.00,A,4730.500,N,00715.000,E,012.4,084.4,061226,,,A*6C\r\n", nullptr},
        {"Flytec\r\n6015\r\n", nullptr}, // two lines
        {std::string("Fly\xFE\x01tec\r\n"), nullptr},
        {std::string(65, 'x') + "\r\n", nullptr},
    };
    for (const Case& c : cases) {
        const auto name = flytec::identificationName(c.answer);
        ASSERT_EQ(name.has_value(), c.name != nullptr) << c.answer;
        if (name) {
            EXPECT_EQ(*name, c.name);
        }
    }
}
