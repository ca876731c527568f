#include <gtest/gtest.h>

#include "track/igc.h"
#include "track/securityrecord.h"

using kalvora::SecurityStamp;
using kalvora::SHA256;
using kalvora::Strings;

namespace {

// Digests below were computed independently (Python hashlib) from the framing
// S1 + A record + lines + S2 and S2 + A record + lines + S1.
constexpr const char* kG1 = "G763462b175e607bdbbec164fe8aaec10539068ca117d13aee68e2e8fc7b6b980";
constexpr const char* kG2 = "Gaf265e439573dbd005cbd39accb77c1c0b25b93a7d322a5fe8f74a5bab97f472";

SecurityStamp stamp()
{
    SecurityStamp s;
    s.versionText = SecurityStamp::makeVersionText("1.0", 42);
    s.writtenAt = "Sunday, December 6, 2026 at 1:40 PM";
    return s;
}

std::vector<std::string> lines(const std::string& text)
{
    const auto views = kalvora::IGC::getICGLines(text);
    return {views.begin(), views.end()};
}

TEST(SHA256Digest, KnownVectors)
{
    EXPECT_EQ(SHA256::encrypt(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(SHA256::encrypt("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(SecurityRecord, MarksTheRecordWithOwnAandLandGRecords)
{
    // LF input with L, F, E, K records and an empty line: none of them is digested.
    const std::string input =
        "HFDTE020715\nLXXXcomment\nB1101355206343N00006198EA0058700558\nF110135\nE1101\nK1101\n";
    const auto marked = Strings::getDestString(input, false, stamp());
    ASSERT_TRUE(marked);
    EXPECT_EQ(
        *marked,
        "AXKV Kalvora Software Version 1.0\r\n"
        "HFDTE020715\r\nLXXXcomment\r\nB1101355206343N00006198EA0058700558\r\nF110135\r\nE1101\r\nK1101\r\n"
        "LXKV Kalvora v1.0r0042\r\n"
        "LXKV Sunday, December 6, 2026 at 1:40 PM\r\n" +
            std::string(kG1) + "\r\n" + kG2 + "\r\n");
}

TEST(SecurityRecord, OldAandGRecordsStayOrAreReplaced)
{
    const std::string input =
        "AOLD123\r\nHFDTE020715\r\nB1101355206343N00006198EA0058700558\r\nGOLDDIGEST\r\n";
    const auto kept = Strings::getDestString(input, false, stamp());
    ASSERT_TRUE(kept);
    const auto keptLines = lines(*kept);
    ASSERT_EQ(keptLines.size(), 9u);
    EXPECT_EQ(keptLines[0], Strings::aRecord);
    EXPECT_EQ(keptLines[1], "AOLD123");
    EXPECT_EQ(keptLines[4], "GOLDDIGEST");
    // The old A record is part of the digest input; the old G record is not.
    EXPECT_EQ(keptLines[7], "G6bf47dbc97dba554a5109e07c58bc3adfa2027b262e7635da94984012494d78b");

    const auto replaced = Strings::getDestString(input, true, stamp());
    ASSERT_TRUE(replaced);
    const auto replacedLines = lines(*replaced);
    ASSERT_EQ(replacedLines.size(), 7u);
    EXPECT_EQ(replacedLines[5], kG1);
    EXPECT_EQ(replacedLines[6], kG2);
}

TEST(SecurityRecord, NothingWithoutLines)
{
    EXPECT_FALSE(Strings::getDestString("", false, stamp()));
    EXPECT_FALSE(Strings::getDestString("\r\n\r\n", true, stamp()));
}

TEST(SecurityRecord, VersionText)
{
    EXPECT_EQ(SecurityStamp::makeVersionText("2.3", 7), "v2.3r0007");
}

} // namespace
