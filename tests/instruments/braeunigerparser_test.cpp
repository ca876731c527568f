#include <gtest/gtest.h>

#include "instruments/braeuniger/braeunigerparser.h"
#include "instruments/flytectextformatter.h"

using namespace kalvora;
using namespace kalvora::braeuniger;

TEST(BraeunigerIdentify, ModelFieldDecides)
{
    struct Case
    {
        const char* answer;
        std::optional<Identification> expected;
    } cases[] = {
        {"$PBRSNP,compeo+,0042,1.4*00\r\n", Identification{"Bräuniger Compeo+", DeviceType::CompeoPlus}},
        {"$PBRSNP,Galileo,1*00", Identification{"Bräuniger Galileo", DeviceType::Compeo}},
        {"$PBRSNP,5020,1*00", Identification{"Flytec 5020", DeviceType::Competino}},
        {"$PBRSNP,COMPEO ,1*00", std::nullopt},
        {"$PBRSNP,COMPEO*00", std::nullopt},
        {"$PBRSNP,UNKNOWN,1*00", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseIdentification(c.answer), c.expected) << c.answer;
}

TEST(BraeunigerTrackList, TwoSentencesInOrderAndShortOnesSkipped)
{
    const std::string answer = "$PBRTL,3,01,12.05.15,10:30:12,01:29:48*3C\r\n"
                               "$PBRTL,3,02,13.05.15*00\r\n"
                               "$PBRTL,3,03,01.01.99,23:59:59,100:00:00*11\r\n";
    const std::vector<Track> tracks = parseTrackList(splitAtHead(answer, "$PBRTL,"));
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].trackNumber, 1);
    EXPECT_EQ(isoUtcString(tracks[0].utcDateTime), "2015-05-12T10:30:12Z");
    EXPECT_EQ(tracks[0].flightTime, 5388);
    EXPECT_EQ(tracks[1].trackNumber, 3);
    EXPECT_EQ(isoUtcString(tracks[1].utcDateTime), "1999-01-01T23:59:59Z");
}

TEST(BraeunigerTrackList, ImpossibleDatesAreSkipped)
{
    for (const char* piece : {"1,01,31.02.15,10:00:00,01:00:00", "1,01,12.13.15,10:00:00,01:00:00",
                              "1,01,12.05.15,25:00:00,01:00:00", "1,01,ab.05.15,10:00:00,01:00:00"})
        EXPECT_TRUE(parseTrackList({piece}).empty()) << piece;
}

TEST(BraeunigerWaypoints, FieldsSortingAndRouteMarks)
{
    const std::string answer = "$PBRWPS,4730.500,N,00830.000,E,BBBBBB,B                ,1234*0D\r\n"
                               "$PBRWPS,3330.000,S,07015.000,W,AAAAAA,A                ,0012*0D\r\n"
                               "$PBRWPS,4730.500,N,00830.000,E,short*00\r\n";
    DeviceRoute route;
    DeviceWayPoint member;
    member.shortName = "A                ";
    route.waypoints.push_back(member);
    const auto list = parseWaypointList(splitAtHead(answer, "$PBRWPS,"), {route});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].shortName, "A                ");
    EXPECT_TRUE(list[0].routeWaypoint);
    EXPECT_DOUBLE_EQ(list[0].latitude, -33.5);
    EXPECT_DOUBLE_EQ(list[0].longitude, -70.25);
    EXPECT_EQ(list[0].altitudeString, "  12");
    EXPECT_EQ(list[1].shortName, "B                ");
    EXPECT_FALSE(list[1].routeWaypoint);
    EXPECT_NEAR(list[1].latitude, 47.508333, 1e-6);
    EXPECT_EQ(list[1].latitudeString, "47.508");
    EXPECT_EQ(list[1].altitude, 1234);
    EXPECT_EQ(list[1].gpsaltitude, 1234);
    EXPECT_EQ(list[1].radius, 0);
}

TEST(BraeunigerWaypoints, EqualNamesKeepAnswerOrder)
{
    const auto list = parseWaypointList({"4700.000,N,00800.000,E,X,Same,1", "4600.000,N,00800.000,E,X,Same,2"}, {});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].altitude, 1);
    EXPECT_EQ(list[1].altitude, 2);
}

TEST(BraeunigerRoutes, HeadersAndPoints)
{
    const std::string answer = "$PBRRTS,01,03,00,Route one        *00\r\n"
                               "$PBRRTS,01,03,01,S1,Start            *00\r\n"
                               "$PBRRTS,01,03,02,S2,Goal             *00\r\n"
                               "$PBRRTS,02,01,00,Empty*00\r\n";
    std::vector<DeviceRoute> finished;
    const auto routes = parseRouteList(splitAtHead(answer, "$PBRRTS,"), finished);
    ASSERT_TRUE(routes);
    ASSERT_EQ(routes->size(), 2u);
    EXPECT_EQ((*routes)[0].name, "Route one        ");
    ASSERT_EQ((*routes)[0].waypoints.size(), 2u);
    EXPECT_EQ((*routes)[0].waypoints[1].shortName, "Goal             ");
    EXPECT_TRUE((*routes)[1].waypoints.empty());
    EXPECT_EQ(finished, *routes);
}

TEST(BraeunigerRoutes, UnreadablePieceVoidsTheListButKeepsFinishedRoutes)
{
    struct Case
    {
        std::vector<std::string> pieces;
        std::size_t finished;
    } cases[] = {
        {{"01,01,00,A,cs", "02,02,01,B,cs"}, 1},          // header with point number 1
        {{"01,02,00,A,cs", "01,02,01,S,cs"}, 0},          // point with 5 fields
        {{"01,03,00,A,cs", "01,03,01,S,L,cs"}, 0},        // points missing
        {{"01,01,00,A,extra,cs"}, 0},                     // header with 6 fields
    };
    for (const Case& c : cases) {
        std::vector<DeviceRoute> finished;
        EXPECT_FALSE(parseRouteList(c.pieces, finished));
        EXPECT_EQ(finished.size(), c.finished);
    }
}

TEST(BraeunigerMemoryAnswer, EightHexBytesAtFixedPositions)
{
    const auto bytes = parseMemoryAnswer("$PBRMEMR,0048,00,1E,32,00,05,64,03,FD*52\r\n", 0x48);
    ASSERT_TRUE(bytes);
    EXPECT_EQ((*bytes)[1], 0x1E);
    EXPECT_EQ((*bytes)[7], 0xFD);
    EXPECT_FALSE(parseMemoryAnswer("$PBRMEMR,0048,00,1E,32,00,05,64,03,FD*52", 0x50)) << "other address";
    EXPECT_FALSE(parseMemoryAnswer("$PBRMEMR,0048,00,1E,32,00,05,64,03", 0x48)) << "too short";
    EXPECT_FALSE(parseMemoryAnswer("$PBRMEMR,0048,00,1E,32,0G,05,64,03,FD*52", 0x48)) << "not hex";
}

TEST(BraeunigerFields, CoordinatesNamesAndAltitudeClamps)
{
    EXPECT_EQ(latitudeToString(47.25), "4715.000,N");
    EXPECT_EQ(latitudeToString(-33.5), "3330.000,S");
    EXPECT_EQ(longitudeToString(7.5), "00730.000,E");
    EXPECT_EQ(longitudeToString(-122.0125), "12200.750,W");
    EXPECT_EQ(nameField("Müller Spitze Südhang"), "Mueller Spitze Su");
    EXPECT_EQ(nameField("Ä!ñ"), "Aen              ");

    DeviceWayPoint w;
    w.latitude = 47.25;
    w.longitude = 7.5;
    w.shortName = "Top";
    w.gpsaltitude = 12000;
    EXPECT_EQ(writeWaypointCommand(w), "$PBRWPR,4715.000,N,00730.000,E,,Top              ,9999");
    const auto altitudeField = [&] {
        const std::string c = writeWaypointCommand(w);
        return c.substr(c.rfind(',') + 1);
    };
    w.gpsaltitude = -20;
    EXPECT_EQ(altitudeField(), "0000");
    w.gpsaltitude = 1234.9;
    EXPECT_EQ(altitudeField(), "1234");
}

TEST(BraeunigerFields, MemoryWriteSentencePadsWithZeros)
{
    const std::uint8_t bytes[8] = {0x41, 0x0a, 0xff};
    EXPECT_EQ(memoryWriteCommand(0x4A, bytes, 3), "$PBRMEMW,004a,3,41,0a,ff,00,00,00,00,00");
}

TEST(BraeunigerDownload, CompleteRecordCheck)
{
    EXPECT_TRUE(looksLikeCompleteIgc("AXXX\r\nB1\r\nG1\r\n"));
    EXPECT_TRUE(looksLikeCompleteIgc("AXXX\r\nB1\r\nGABC")) << "no line break after the signature";
    EXPECT_FALSE(looksLikeCompleteIgc("AXXX\r\nB1\r\nB12")) << "cut inside a fix";
    EXPECT_FALSE(looksLikeCompleteIgc("\xFE garbage\nB"));
    EXPECT_FALSE(looksLikeCompleteIgc("AXXX\r\nHFDTE010101\r\n")) << "no fix";
    EXPECT_FALSE(looksLikeCompleteIgc(""));
}

TEST(InstrumentTextGuard, Edits)
{
    EXPECT_TRUE(isAcceptableInstrumentEdit("abc", "ab"));
    EXPECT_TRUE(isAcceptableInstrumentEdit("abc", "abcd"));
    EXPECT_FALSE(isAcceptableInstrumentEdit("abc", "abc!"));
    EXPECT_FALSE(isAcceptableInstrumentEdit("abcdefghijklmnop", "abcdefghijklmnopq"));
    EXPECT_TRUE(isAcceptableInstrumentEdit("", "XYZ"));
    EXPECT_FALSE(isAcceptableInstrumentEdit("", "ZYX")) << "added text must be one piece of the list";
}
