#include <gtest/gtest.h>

#include <chrono>

#include "instruments/serialexchange.h"
#include "scriptedlink.h"

using namespace kalvora;
using kalvora::test::ScriptedLink;

TEST(SentenceFraming, ChecksumIsXorAfterTheFirstByte)
{
    struct Case
    {
        std::string command, framed;
    } cases[] = {
        {"$PBRSNP,", "$PBRSNP,*21\r\n"},
        {"$PFMSNP,", "$PFMSNP,*3A\r\n"},
        {"ACT_BD_DD\r\n", "ACT_BD_DD\r\n*16\r\n"},
        {"", "*00\r\n"},
        {"$", "$*00\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(addCheckSum(c.command), c.framed) << c.command;
}

TEST(BraeunigerExchange, RemovesXonXoffAndReadsUntilSilence)
{
    ScriptedLink link;
    link.reads = {"$PBR\x13SNP,", "COM\x11PEO,1*00\r\n", ""};
    const auto answer = serialCommand(link, "/dev/x", "$PBRSNP,", braeunigerExchange());
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, "$PBRSNP,COMPEO,1*00\r\n");
    EXPECT_EQ(link.writes, std::vector<std::string>{"$PBRSNP,*21\r\n"});
    EXPECT_TRUE(link.isOpen()) << "the line stays open after success";
}

TEST(BraeunigerExchange, ThreeSilentAttemptsGiveNothingAndCloseTheLine)
{
    ScriptedLink link;
    EXPECT_FALSE(serialCommand(link, "/dev/x", "$PBRSNP,", braeunigerExchange()));
    EXPECT_EQ(link.writes.size(), 3u);
    EXPECT_FALSE(link.isOpen());
}

TEST(BraeunigerExchange, FailedWriteCountsAsAFailedAttempt)
{
    ScriptedLink link;
    link.writeFailsAt = 0;
    link.reads = {"answer", ""};
    const auto answer = serialCommand(link, "/dev/x", "$PBRTL,", braeunigerExchange());
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, "answer");
    EXPECT_EQ(link.writes.size(), 2u);
}

TEST(BraeunigerExchange, LineThatCannotOpenGivesNothingAtOnce)
{
    ScriptedLink link;
    link.openFails = true;
    EXPECT_FALSE(serialCommand(link, "/dev/x", "$PBRSNP,", braeunigerExchange()));
    EXPECT_TRUE(link.writes.empty());
}

TEST(ExchangeCancel, BraeunigerLeavesTheLineOpenFlytecClosesIt)
{
    for (const bool flytec : {false, true}) {
        ScriptedLink link;
        link.reads = {"part", "more", ""};
        link.onRead = [&](int call) {
            if (call == 0)
                link.setCanceled(true);
        };
        EXPECT_FALSE(serialCommand(link, "/dev/x", "X", flytec ? flytecExchange() : braeunigerExchange()));
        EXPECT_EQ(link.isOpen(), !flytec);
        EXPECT_EQ(link.writes.size(), 1u) << "a cancelled exchange is not retried";
    }
}

TEST(FlytecExchange, KeepsXonXoff)
{
    ScriptedLink link;
    link.reads = {"Done\x11\r\n", ""};
    EXPECT_EQ(serialCommand(link, "/dev/x", "ACT_22_00\r\n", flytecExchange()), std::string("Done\x11\r\n"));
}

TEST(MemoryWriterExchange, UsesTheOpenLineAndWaitsBeforeReading)
{
    ScriptedLink link;
    link.reads = {"$PBRMEMW,0048,8*00\r\n", ""};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(serialCommand(link, "/dev/x", "$PBRMEMW,0048,8", memoryWriterExchange()));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(link.opens, 0);
    EXPECT_EQ(link.closes, 0);
}

TEST(FlymasterLineAssembly, KeepsSentencesOnly)
{
    struct Case
    {
        std::string bytes, text;
    } cases[] = {
        {"noise$PFMSNP,GpsSD,1*3A\r\n", "$PFMSNP,GpsSD,1*3A"},
        {"$PFMLST,1*00\r\n$PFMLST,2*00\r\n", "$PFMLST,1*00$PFMLST,2*00"},
        {"$PFMLST,1*00\r\njunk$PFMLST,2*00\r\n", "$PFMLST,1*00$PFMLST,2*00"},
        {"$PFMLS$PFMLST,2*00\r\n", "$PFMLST,2*00"},
        {"$PFMLST,1*00\r\ntrailing", "$PFMLST,1*00"},
    };
    for (const Case& c : cases) {
        FlymasterLineAssembler a;
        for (char b : c.bytes)
            a.add(b);
        EXPECT_TRUE(a.hasData());
        EXPECT_EQ(a.text(), c.text) << c.bytes;
    }
}

TEST(FlymasterLineAssembly, StopsStoringWhenFull)
{
    FlymasterLineAssembler a;
    for (int i = 0; i < 10000; ++i)
        a.add('x');
    EXPECT_EQ(a.text().size(), FlymasterLineAssembler::kCapacity - 1);
}

TEST(FlymasterExchange, SilentLineEndsAfterFiveSilentReadsAndClosesTheLine)
{
    ScriptedLink link;
    EXPECT_FALSE(flymasterSerialCommand(link, "/dev/x", "$PFMSNP,"));
    EXPECT_EQ(link.readCalls, 5) << "1.0 s of silence before the answer starts";
    EXPECT_FALSE(link.isOpen());

    ScriptedLink answering;
    answering.reads = {"$", "P", "F", "M", "\r", "\n"};
    EXPECT_EQ(flymasterSerialCommand(answering, "/dev/x", "$PFMSNP,"), std::string("$PFM"));
    EXPECT_EQ(answering.readCalls, 6 + 4) << "0.8 s of silence ends the answer";
}
