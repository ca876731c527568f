#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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

// A port that never falls silent: every read brings bytes, so only the limits end
// the exchange, which then keeps what came and tries no second attempt.
TEST(ExchangeLimits, ALineThatNeverFallsSilentEndsAtTheByteCap)
{
    const auto streaming = [](ScriptedLink& link) {
        link.onRead = [&link](int) { link.reads.push_back("$GPGGA,1*00\r\n"); };
    };
    ScriptedLink braeuniger;
    streaming(braeuniger);
    ExchangeOptions options = braeunigerExchange();
    options.limits.maxBytes = 1000;
    const auto answer = serialCommand(braeuniger, "/dev/x", "$PBRSNP,", options);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->size(), 1000u);
    EXPECT_EQ(braeuniger.writes.size(), 1u);

    ScriptedLink flymaster;
    streaming(flymaster);
    const auto text = flymasterSerialCommand(flymaster, "/dev/x", "$PFMSNP,", {100, std::chrono::minutes(1)});
    ASSERT_TRUE(text);
    EXPECT_EQ(flymaster.readCalls, 100);
    EXPECT_FALSE(flymaster.isOpen());
}

TEST(ExchangeLimits, TheDeadlineCountsFromTheFirstWriteOverAllAttempts)
{
    // A silent line whose reads take their whole time: three attempts of 100 ms
    // would take 300 ms, the deadline of 150 ms ends the second one.
    class SlowSilence final : public SerialLink
    {
    public:
        int writes = 0;
        Result<Done> open(const std::string&) override { return Done{}; }
        void close() override {}
        bool isOpen() const override { return true; }
        bool write(std::string_view) override { return ++writes, true; }
        std::optional<std::string> read(std::size_t, std::chrono::milliseconds timeout) override
        {
            std::this_thread::sleep_for(timeout);
            return std::string();
        }
        bool drain() override { return true; }
        bool setBaud(int) override { return true; }
        std::chrono::milliseconds silentRead() const override { return std::chrono::milliseconds(100); }
    } link;
    ExchangeOptions options = braeunigerExchange();
    options.limits = identificationLimits(3, std::chrono::milliseconds(50));
    EXPECT_EQ(options.limits.maxBytes, kMaxIdentificationBytes);
    EXPECT_FALSE(serialCommand(link, "/dev/x", "$PBRSNP,", options));
    EXPECT_GE(link.writes, 1);
    EXPECT_LT(link.writes, 3);
}
