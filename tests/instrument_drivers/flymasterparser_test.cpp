#include <limits>
#include <gtest/gtest.h>

#include "instruments/flymaster/flymasterparser.h"

using namespace kalvora;
using flymaster::Block;

namespace {

constexpr std::int64_t kDec6_2026 = 1796515200; // 2026-12-06 00:00:00 UTC
constexpr std::uint32_t kDec6_2026Since2000 = 1796515200 - 946684800;

Block block(std::uint8_t marker, const std::string& data)
{
    Block b(2, static_cast<char>(marker));
    b.push_back(static_cast<char>(data.size()));
    return b + data;
}

std::string le(std::int64_t v, int bytes)
{
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF));
    return s;
}

Block keyFix(std::int32_t lat, std::int32_t lonWest, std::int16_t alt, std::int16_t pressure,
             std::uint32_t time, std::uint8_t flags = 3)
{
    return block(0xA1, std::string(1, static_cast<char>(flags)) + le(lat, 4) + le(lonWest, 4) + le(alt, 2) +
                           le(pressure, 2) + le(time, 4));
}

Block infoBlock()
{
    std::string data = {2, 3, 1, 10};
    data.resize(16, '\0');
    for (std::string text : {"Pilot Name", "Glider\r\nBx", "D-1234"}) {
        text.resize(15, '\0');
        data += text;
    }
    return block(0xA0, data);
}

TEST(FlymasterParser, IdentificationTable)
{
    struct Case
    {
        const char* answer;
        const char* model; // nullptr: not identified
        flymaster::DeviceType type;
    };
    const Case cases[] = {
        {"$PFMSNP,GpsSD,0,104233,2.03h,*4A", "GpsSD", flymaster::DeviceType::GpsNavLive},
        {"$PFMSNP,NavSD,0,1,2,*00", "NavSD", flymaster::DeviceType::GpsNavLive},
        {"$PFMSNP,LiveSD,0,1,2,*00", "LiveSD", flymaster::DeviceType::GpsNavLive},
        {"$PFMSNP,B1NAV,0,1,2,*00", "B1NAV", flymaster::DeviceType::B1Nav},
        {"$PFMSNP,B1NAV Gps,0*00", "B1NAV Gps", flymaster::DeviceType::B1Nav},
        {"$PFMSNP,Live,Gps,*00", "Live", flymaster::DeviceType::GpsNavLive}, // the earliest name wins
        {"$PFMSNP,GpsSD*00", nullptr, flymaster::DeviceType::GpsNavLive},    // no comma after the model
        {"$PBRSNP,COMPEO,*00", nullptr, flymaster::DeviceType::GpsNavLive},
        // Only the identification sentence counts, not NMEA or noise around it.
        {"$GPGGA,103000,4730.500,N,Gps,*00", nullptr, flymaster::DeviceType::GpsNavLive},
        {"xNavy,$GPRMC,1*00", nullptr, flymaster::DeviceType::GpsNavLive},
        {"$GPGSV,Nav,1*00$PFMSNP,LiveSD,0*00", "LiveSD", flymaster::DeviceType::GpsNavLive},
        {"$PFMSNP,SD*00$GPTXT,Gps,1*00", nullptr, flymaster::DeviceType::GpsNavLive},
        {"", nullptr, flymaster::DeviceType::GpsNavLive},
    };
    for (const Case& c : cases) {
        const auto id = flymaster::identify(c.answer);
        ASSERT_EQ(id.has_value(), c.model != nullptr) << c.answer;
        if (id) {
            EXPECT_EQ(id->model, c.model);
            EXPECT_EQ(id->type, c.type);
            EXPECT_EQ(id->descriptor(), std::string("Flymaster ") + c.model);
        }
    }
}

TEST(FlymasterParser, TrackListSentences)
{
    const auto tracks = flymaster::parseTrackList("$PFMLST,003,001,06.12.26,10:30:00,01:30:05*5C"
                                                  "$PFMLST,003,002,06.12.26,14:00:00*11"
                                                  "$PFMLST,003,003,31.12.99,23:59:59,00:00:01*11");
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0], (flymaster::TrackEntry{1, kDec6_2026 + 37800, 5405}));
    EXPECT_EQ(tracks[1].number, 3);
    EXPECT_EQ(flymaster::downloadCommand(kDec6_2026 + 37800), "$PFMDNL,261206103000,");
}

TEST(FlymasterParser, PacketReaderSkipsNoiseAndEnds)
{
    flymaster::PacketReader reader;
    const std::string stream =
        std::string("\x01\xA1\x55", 3) + block(0xA1, "abc") + "X" + std::string("\xA3\xA3", 2);
    std::vector<Block> blocks;
    bool ended = false;
    for (char c : stream) {
        switch (reader.add(static_cast<std::uint8_t>(c))) {
        case flymaster::PacketReader::Event::Packet:
            blocks.push_back(reader.takeBlock());
            break;
        case flymaster::PacketReader::Event::End:
            ended = true;
            break;
        case flymaster::PacketReader::Event::None:
            break;
        }
    }
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], block(0xA1, "abc")); // "X" was the check byte
    EXPECT_TRUE(ended);
}

TEST(FlymasterParser, KeyFixOfTheExample)
{
    const std::vector<Block> blocks{infoBlock(),
                                    keyFix(2835000, -450000, 1234, 10132, kDec6_2026Since2000 + 3661)};
    const auto fixes = flymaster::fixesFromBlocks(blocks);
    ASSERT_TRUE(fixes && fixes->size() == 1);
    const flymaster::Fix& f = fixes->front();
    EXPECT_EQ(f.latitude, 2835000);
    EXPECT_EQ(f.longitude, 450000);
    EXPECT_EQ(f.secondsOfDay(), 3661);
    EXPECT_NEAR(f.pressureAltitudeM(), 0.0, 1.0);
    EXPECT_TRUE(f.is3D);

    const std::string igc = flymaster::igcText(blocks, *fixes, kDec6_2026, "Flymaster GpsSD");
    EXPECT_NE(igc.find("HFDTE061226\r\n"), std::string::npos);
    EXPECT_NE(igc.find("HFPLTPILOT:Pilot Name\r\n"), std::string::npos);
    EXPECT_NE(igc.find("HFGTYGLIDERTYPE:GliderBx\r\n"), std::string::npos); // no line break injected
    EXPECT_NE(igc.find("HFRFWFIRMWAREVERSION:2.03\r\nHFRHWHARDWAREVERSION:1.10\r\n"), std::string::npos);
    EXPECT_NE(igc.find("HFFTYFRTYPE:Flymaster GpsSD\r\n"), std::string::npos);
    EXPECT_NE(igc.find("B0101014715000N00730000EA0000001234\r\n"), std::string::npos) << igc;
}

TEST(FlymasterParser, DifferenceRecords)
{
    std::string diffs;
    diffs += std::string{3, static_cast<char>(-3), 2, 5, static_cast<char>(-1), 1};
    diffs += std::string{0, 1, 1, 1, 1, 2};
    diffs += std::string{3, 1, 1, 1, 1}; // a partial record at the end is not read
    const std::vector<Block> blocks{infoBlock(), keyFix(600000, -60000, 100, 9000, 100), block(0xA2, diffs)};
    const auto fixes = flymaster::fixesFromBlocks(blocks);
    ASSERT_TRUE(fixes);
    ASSERT_EQ(fixes->size(), 3u);
    EXPECT_EQ((*fixes)[1].latitude, 600000 - 3);
    EXPECT_EQ((*fixes)[1].longitude, 60000 - 2); // west-positive difference subtracted
    EXPECT_EQ((*fixes)[1].gpsAltitudeM, 105);
    EXPECT_EQ((*fixes)[1].pressure, 8999);
    EXPECT_EQ((*fixes)[1].time, 101u);
    EXPECT_FALSE((*fixes)[2].is3D);
    EXPECT_EQ((*fixes)[2].time, 103u);

    const std::string igc = flymaster::igcText(blocks, *fixes, kDec6_2026, "Flymaster GpsSD");
    EXPECT_NE(igc.find("B0001430959998N00059997EV"), std::string::npos) << igc;
}

TEST(FlymasterParser, DifferencesOnExtremeKeyFixesWrapAndAreNotWrittenAsFixes)
{
    // Garbage from the line: a key fix at the ends of the 32-bit range, then differences past them.
    const std::string diffs{1, 127, static_cast<char>(-128), 127, 127, 1};
    const std::vector<Block> blocks{infoBlock(),
                                    keyFix(std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max(),
                                           32767, 32767, 100),
                                    block(0xA2, diffs)};
    const auto fixes = flymaster::fixesFromBlocks(blocks);
    ASSERT_TRUE(fixes);
    ASSERT_EQ(fixes->size(), 2u);
    EXPECT_EQ((*fixes)[1].latitude, std::numeric_limits<std::int32_t>::min() + 126);
    EXPECT_EQ((*fixes)[1].time, 101u);
    const std::string igc = flymaster::igcText(blocks, *fixes, kDec6_2026, "Flymaster GpsSD");
    EXPECT_EQ(igc.find("\r\nB"), std::string::npos) << "no position off the globe becomes a fix: " << igc;
}

TEST(FlymasterParser, DifferenceBeforeKeyFixAndMissingInfo)
{
    EXPECT_FALSE(flymaster::fixesFromBlocks({infoBlock(), block(0xA2, std::string(6, '\1'))}));
    const std::vector<Block> noInfo{keyFix(1, 1, 1, 1, 1)};
    EXPECT_EQ(flymaster::igcText(noInfo, *flymaster::fixesFromBlocks(noInfo), 0, "x"), "");
    EXPECT_EQ(flymaster::igcText({}, {}, 0, "x"), "");
    // A key fix too short to hold a position is no fix.
    EXPECT_TRUE(flymaster::fixesFromBlocks({block(0xA1, "abc")})->empty());
}

TEST(FlymasterParser, ImpossiblePositionsAreNotWritten)
{
    const std::vector<Block> blocks{infoBlock(), keyFix(91 * 60000, 0, 0, 10000, 0),
                                    keyFix(-90 * 60000, 180 * 60000, -20000, 32767, 86399)};
    const auto fixes = flymaster::fixesFromBlocks(blocks);
    const std::string igc = flymaster::igcText(blocks, *fixes, kDec6_2026, "F");
    EXPECT_EQ(igc.find("B000000"), std::string::npos);
    EXPECT_NE(igc.find("B2359599000000S18000000WA"), std::string::npos) << igc;
    // Every B record keeps the fixed columns.
    const auto at = igc.find("\r\nB");
    EXPECT_EQ(igc.find("\r\n", at + 2) - at - 2, 35u);
}

TEST(FlymasterParser, WaypointSentences)
{
    const auto list = flymaster::parseWaypointList("$PFMWPL,47.250000,N,7.500000,W,2100,ZETA,1*00"
                                                   "$PFMWPL,4715.000,S,00730.000,E,100,ALPHA,1*00"
                                                   "$PFMWPL,1,N,1,E,1,SKIPPED,2*00"
                                                   "$PFMWPL,1,N,1,E,1,SHORT*00");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "ALPHA");
    EXPECT_DOUBLE_EQ(list[0].latitudeDeg, -47.25); // the NMEA form is read as such
    EXPECT_DOUBLE_EQ(list[0].longitudeDeg, 7.5);
    EXPECT_EQ(list[1].name, "ZETA");
    EXPECT_DOUBLE_EQ(list[1].longitudeDeg, -7.5);
    EXPECT_EQ(list[1].altitudeM, 2100);
}

TEST(FlymasterParser, WriteWaypointSentence)
{
    EXPECT_EQ(flymaster::writeWaypointCommand("Gr\xc3\xbcn*tal", 47.25, -7.5, 12000.7),
              "$PFMWPR,4715.000,N,00730.000,W,,GRUENTAL         ,9999,1");
    EXPECT_EQ(flymaster::writeWaypointCommand("x", -33.5, 0, -4),
              "$PFMWPR,3330.000,S,00000.000,E,,X                ,0000,1");
}

} // namespace
