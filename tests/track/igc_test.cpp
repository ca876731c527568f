#include <gtest/gtest.h>

#include <set>

#include "igcbuilder.h"
#include "track/igc.h"
#include "track/igctextfilter.h"
#include "track/utcdate.h"

using kalvora::IGC;
using kalvora::IGCTrackPoint;
using namespace std::chrono;

namespace {

std::vector<std::string> split(std::string_view text)
{
    const auto views = IGC::getICGLines(text);
    return {views.begin(), views.end()};
}

TEST(IGCLines, SplitsAtTheLineEndsAndDropsShortLines)
{
    struct Case
    {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"A\r\nBC\r\nHFDTE020715", {"HFDTE020715"}},
        {"A\r\nBC\r\nHFDTE020715\r\n", {"HFDTE020715"}},
        {"AB\nC\nDEF\n", {"AB", "DEF"}},
        {"X", {"X"}},
        {"ABC\r\n\r\nDEF", {"ABC", "DEF"}},
        // A CR LF further on wins: the LF-ended stretch before it is one line.
        {"AB\nCD\r\nEF\nGH", {"AB\nCD", "EF", "GH"}},
        // CR-only line ends are no line ends: the whole text is one line.
        {"ABC\rDEF\r", {"ABC\rDEF\r"}},
        {std::string("B1\0\0\nXYZ", 8), {std::string("B1\0\0", 4), "XYZ"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(split(c.text), c.lines) << c.text;
}

TEST(IGCLines, LongTextsSplitInOnePass)
{
    // 200 000 LF lines and one CR LF at the very end: must not search the rest
    // once per line.
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += "B123456\n";
    text += "END\r\n";
    EXPECT_EQ(IGC::getICGLines(text).size(), 1u);
    text.resize(text.size() - 5);
    EXPECT_EQ(IGC::getICGLines(text).size(), 200000u);
}

TEST(IGCDates, BothHeaderFormsAreRead)
{
    using kalvora::IGCDate;
    EXPECT_EQ(IGC::dateFromHeaderLine("HFDTE020715"), (IGCDate{2, 7, 15}));
    EXPECT_EQ(IGC::dateFromHeaderLine("HFDTEDATE:020715,01"), (IGCDate{2, 7, 15}));
    EXPECT_EQ(IGC::dateFromHeaderLine("HFDTEDATE:020715"), (IGCDate{2, 7, 15}));
    EXPECT_EQ(IGC::dateFromHeaderLine("hpdtedate:311299"), (IGCDate{31, 12, 99}));
    EXPECT_FALSE(IGC::dateFromHeaderLine("HFDTE0207"));
    EXPECT_FALSE(IGC::dateFromHeaderLine("HFDTEDATE:02x715"));
    EXPECT_FALSE(IGC::dateFromHeaderLine("HFPLTPILOT:020715"));
    EXPECT_EQ((IGCDate{2, 7, 95}.civil()), (kalvora::utc::CivilDate{1995, 7, 2}));
    EXPECT_FALSE((IGCDate{30, 2, 15}.civil()));
}

std::string summaryText(const std::string& dateLine, const std::vector<long>& times)
{
    std::vector<std::string> lines{"AXXX001", dateLine};
    for (const long t : times)
        lines.push_back(kalvora::test::bRecord(t, 46.5, 7.5, 1000, 1000));
    return kalvora::test::igcText(lines);
}

TEST(IGCTrackSummary, StartAndFlightTime)
{
    const long start = 10 * 3600 + 30 * 60 + 12;
    const long end = 12 * 3600;
    const std::string expectedStart = "2015-07-02T10:30:12Z";
    for (const std::string dateLine : {"HFDTE020715", "HFDTEDATE:020715,01"}) {
        const std::string text = summaryText(dateLine, {start, start + 60, end});
        const auto summary = IGC::getTrackFromIGCData(text);
        ASSERT_TRUE(summary) << dateLine;
        EXPECT_EQ(kalvora::utc::toIso8601(summary->startUTC), expectedStart);
        EXPECT_EQ(summary->flightTimeS, 5388);
        EXPECT_EQ(summary->trackNumber, 0);
        EXPECT_EQ(summary->igcData, text);
    }
}

TEST(IGCTrackSummary, NothingWithoutADurationOrADate)
{
    EXPECT_FALSE(IGC::getTrackFromIGCData(summaryText("HFDTE020715", {36000})));
    EXPECT_FALSE(IGC::getTrackFromIGCData(summaryText("HFDTE020715", {36000, 36000})));
    EXPECT_FALSE(IGC::getTrackFromIGCData(summaryText("HFPLTPILOT:X", {36000, 36100})));
    EXPECT_FALSE(IGC::getTrackFromIGCData(summaryText("HFDTE0207XX", {36000, 36100})));
    EXPECT_FALSE(IGC::getTrackFromIGCData(summaryText("HFDTE310215", {36000, 36100})));
    EXPECT_FALSE(IGC::getTrackFromIGCData(""));
    EXPECT_FALSE(IGC::getTrackFromIGCData(std::string(1000, '\0')));
}

TEST(IGCTrackSummary, AFlightOverMidnightKeepsAPositiveFlightTime)
{
    const auto summary =
        IGC::getTrackFromIGCData(summaryText("HFDTE311215", {23 * 3600 + 50 * 60, 86399, 20 * 60}));
    ASSERT_TRUE(summary);
    EXPECT_EQ(kalvora::utc::toIso8601(summary->startUTC), "2015-12-31T23:50:00Z");
    EXPECT_EQ(summary->flightTimeS, 30 * 60);
}

TEST(IGCTrackSummary, OnlyFixesForwardInTimeAndOnTheGlobeCount)
{
    // Written backwards: the last fix is hours before the first, which is no
    // crossing of midnight (it gave a flight of 21.6 hours).
    EXPECT_FALSE(IGC::getTrackFromIGCData(summaryText("HFDTE020715", {50000, 45000, 41360})));
    // Small steps back inside a forward record are fixes out of order, not days.
    const auto jitter = IGC::getTrackFromIGCData(summaryText("HFDTE020715", {36000, 36010, 36005, 36600}));
    ASSERT_TRUE(jitter);
    EXPECT_EQ(jitter->flightTimeS, 600);

    // Out-of-range fixes neither start nor end the track; one fix left is none.
    const std::string text = "AXXX001\r\nHFDTE020715\r\n"
                             "B9999994630000N00730000EA0100001000\r\n"
                             "B1000004630000N00730000EA0100001000\r\n"
                             "B1010009959999N00730000EA0100001000\r\n"
                             "B1020004630000N00730000EA0100001000\r\n"
                             "B1030004630000N99999999EA0100001000\r\n";
    const auto summary = IGC::getTrackFromIGCData(text);
    ASSERT_TRUE(summary);
    EXPECT_EQ(kalvora::utc::toIso8601(summary->startUTC), "2015-07-02T10:00:00Z");
    EXPECT_EQ(summary->flightTimeS, 1200);
    EXPECT_FALSE(IGC::getTrackFromIGCData("AXXX001\r\nHFDTE020715\r\n"
                                          "B1000004630000N00730000EA0100001000\r\n"
                                          "B1010009959999N00730000EA0100001000\r\n"));
    const auto points = IGC::getWaypoints(text, false);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1].timeS, 10 * 3600 + 20 * 60);
}

TEST(IGCPointList, ReadsFixesAndFillsGapsPerSecond)
{
    using kalvora::test::bRecord;
    const std::string text =
        kalvora::test::igcText({"HFDTE020715", bRecord(36000, 47.1234, 11.376, 1000, 990),
                                bRecord(36005, 47.1234, 11.376, 1010, 995)});
    const auto raw = IGC::getWaypoints(text, false);
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0].latitudeE6, 47123400);
    EXPECT_EQ(raw[0].longitudeE6, 11376000);
    EXPECT_EQ(raw[0].altitudeM, 990);
    EXPECT_EQ(raw[0].gpsAltitudeM, 1000);
    EXPECT_EQ(raw[0].timeS, 36000);

    const auto filled = IGC::getWaypoints(text, true);
    ASSERT_EQ(filled.size(), 6u);
    for (std::size_t i = 0; i < filled.size(); ++i) {
        EXPECT_EQ(filled[i].timeS, 36000 + static_cast<long>(i));
        EXPECT_FLOAT_EQ(filled[i].gpsAltitudeM, 1000 + 2 * static_cast<double>(i));
        EXPECT_EQ(filled[i].altitudeM, i < 5 ? 990 : 995);
        EXPECT_EQ(filled[i].latitudeE6, 47123400);
    }
}

TEST(IGCPointList, SkipsLinesWithoutValidFlagOrCoordinates)
{
    using kalvora::test::bRecord;
    const std::string text = kalvora::test::igcText(
        {bRecord(36000, 47.1, 11.3, 1000, 990, 'V'), bRecord(36001, 0, 11.3, 1000, 990),
         "B1000024707404N01122560EA00990", bRecord(36003, 47.1, 11.3, 1000, 990)});
    const auto points = IGC::getWaypoints(text, false);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].timeS, 36003);
}

TEST(IGCFileName, ShortNameFromDateLoggerAndNumber)
{
    const auto start = sys_days{year{2014} / 11 / 23} + hours{12};
    const std::string igc = "AXXX\r\nB1\r\nG4F2A9C00\r\nG1234567\r\n";
    std::set<std::string> taken;
    const auto isTaken = [&](const std::string& name) { return taken.count(name) > 0; };
    EXPECT_EQ(IGC::getIGCFilename(igc, start, isTaken), "4BN4F2A1.igc");
    taken = {"4BN4F2A1.igc", "4BN4F2A2.igc"};
    EXPECT_EQ(IGC::getIGCFilename(igc, start, isTaken), "4BN4F2A3.igc");
    EXPECT_FALSE(IGC::getIGCFilename(igc, start, [](const std::string&) { return true; }));
    EXPECT_FALSE(IGC::getIGCFilename("AXXX\r\nGABC\r\n", start, isTaken));

    // The G record is the file's bytes: nothing in it may lead the name out of its folder.
    struct Case
    {
        std::string gRecord;
        std::string name;
    } hostile[] = {
        {"G../..xxx", "4BN____1.igc"},
        {"G/etc/passwd", "4BN_etc1.igc"},
        {"Ga\\b\x01zz", "4BNa_b_1.igc"},
        {"G\xc3\xa9\xc3\xa9x", "4BN____1.igc"},
    };
    for (const Case& c : hostile) {
        const auto name = IGC::getIGCFilename("AXXX\r\n" + c.gRecord + "\r\n", start, isTaken);
        ASSERT_TRUE(name) << c.gRecord;
        EXPECT_EQ(*name, c.name) << c.gRecord;
        EXPECT_EQ(name->find('/'), std::string::npos);
        EXPECT_EQ(name->find(".."), std::string::npos);
    }
}

TEST(IGCNumberCharacters, BothDirections)
{
    EXPECT_EQ(IGC::igcStringFromInt(0), "0");
    EXPECT_EQ(IGC::igcStringFromInt(9), "9");
    EXPECT_EQ(IGC::igcStringFromInt(10), "A");
    EXPECT_EQ(IGC::igcStringFromInt(35), "Z");
    EXPECT_FALSE(IGC::igcStringFromInt(36));
    EXPECT_EQ(IGC::igcStringFromInt(-3), "-3");
    EXPECT_EQ(IGC::igcIntFromString("C"), 12);
    EXPECT_EQ(IGC::igcIntFromString("7"), 7);
    EXPECT_EQ(IGC::igcIntFromString("Z9"), 35);
}

TEST(IGCTextFilter, LongerTextsOnlyWithIGCCharacters)
{
    EXPECT_TRUE(kalvora::igcTextEditAccepted("Ozone", "Ozone Zeno 2"));
    EXPECT_TRUE(kalvora::igcTextEditAccepted("", "A&B (x+y)-1./:<=>_z"));
    EXPECT_FALSE(kalvora::igcTextEditAccepted("Ozone", "Ozone,"));
    EXPECT_FALSE(kalvora::igcTextEditAccepted("", "Zeno\xc3\xa9"));
    EXPECT_FALSE(kalvora::igcTextEditAccepted("A", "A*"));
    // Deleting or replacing without growing is never refused.
    EXPECT_TRUE(kalvora::igcTextEditAccepted("Ozone,", "Ozone"));
    EXPECT_TRUE(kalvora::igcTextEditAccepted("abc", "*%$"));
}

} // namespace

namespace {

TEST(IGCPointList, TimesJumpingBackAndForthAreNotFilled)
{
    using kalvora::test::bRecord;
    std::vector<std::string> lines;
    for (int i = 0; i < 2000; ++i)
        lines.push_back(bRecord(i % 2 == 0 ? 0 : 86399, 46.5, 7.5, 1000, 1000));
    const auto points = IGC::getWaypoints(kalvora::test::igcText(lines), true);
    // The first jump forward is filled once; the rest are jumps back and forth.
    EXPECT_EQ(points.size(), 2000u + 86398u);
}

} // namespace
