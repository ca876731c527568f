#include <gtest/gtest.h>

#include "instruments/braeuniger/braeunigermemory.h"

using namespace kalvora;
using Span = BraeunigerMemory::WriteSpan;

TEST(BraeunigerMemoryMap, WidthsSignsAndBigEndian)
{
    BraeunigerMemory m;
    m.setByte(0x036, 0xFF);
    m.setByte(0x037, 0xF8);
    EXPECT_EQ(m.value("qnhCorrA1"), -8);
    m.setByte(0x020, 0x12);
    m.setByte(0x021, 0x34);
    EXPECT_EQ(m.value("lcdContrast"), 0x1234);
    EXPECT_EQ(m.value("displayPlus"), 0x12);
    m.setByte(0x05C, 0xFE);
    EXPECT_EQ(m.value("utcOffset"), -2);
    m.setByte(0x08D, 0b101110);
    EXPECT_EQ(m.value("altitudeUnit"), 0);
    EXPECT_EQ(m.value("varioUnit"), 1);
    EXPECT_EQ(m.value("speedUnit"), 3);
    EXPECT_EQ(m.value("temperatureUnit"), 0);
    EXPECT_EQ(m.value("distanceUnit"), 1);
    EXPECT_FALSE(m.value("noSuchSetting"));
}

TEST(BraeunigerMemoryMap, SettersEncodeAndNameTheBytesToWrite)
{
    BraeunigerMemory m;
    EXPECT_EQ(m.setValue("qnhCorrA2", -300), (Span{0x093, 2}));
    EXPECT_EQ(m.byte(0x093), 0xFE);
    EXPECT_EQ(m.byte(0x094), 0xD4);
    EXPECT_EQ(m.setValue("baseVolume", 999), (Span{0x04A, 2}));
    EXPECT_EQ(m.value("baseVolume"), 255) << "clamped to the byte";
    EXPECT_EQ(m.setValue("speedUnit", 2), (Span{0x08D, 2}));
    m.setValue("altitudeUnit", 1);
    EXPECT_EQ(m.byte(0x08D), 0b1001);
    EXPECT_EQ(m.setValue("cTRAlarm3", 1), (Span{0x214, 2}));
    EXPECT_EQ(m.byte(0x215), 0b1000);
    EXPECT_EQ(m.setValue("cTRAlarm9", 1), (Span{0x214, 2}));
    EXPECT_EQ(m.byte(0x214), 0b10);
    EXPECT_EQ(m.value("cTRAlarm9"), 1);
}

TEST(BraeunigerMemoryMap, UserPageChoosesTheOffset)
{
    BraeunigerMemory m;
    m.setByte(0x09C, 1);
    m.setByte(0x14D, 42);
    EXPECT_EQ(m.value("userItem3"), 42);
    EXPECT_EQ(m.setValue("userItem3", 7), (Span{0x14D, 2}));
    m.setByte(0x096, 2);
    m.setByte(0x0BF, 9);
    EXPECT_EQ(m.value("userFieldp"), 9);
    m.setByte(0x1A0, 5);
    EXPECT_EQ(m.value("userItem3p"), 5);
    m.setByte(0x09C, 3);
    EXPECT_EQ(m.value("userItem3"), 0) << "pages beyond 2 read 0";
    EXPECT_FALSE(m.setValue("userItem3", 1)) << "and write nothing";
}

TEST(BraeunigerMemoryMap, PolarFollowsPolareUsage)
{
    BraeunigerMemory m;
    m.setByte(0x07A, 120);
    m.setByte(0x055, 80);
    EXPECT_EQ(m.value("polSink0Of1"), -120);
    const BraeunigerMemory before = m;
    EXPECT_FALSE(m.setValue("polSink0Of1", -50));
    EXPECT_EQ(m, before) << "the first polar is not written through the setter";
    m.setByte(0x07F, 1);
    EXPECT_EQ(m.value("polSink0Of1"), -80);
    EXPECT_EQ(m.setValue("polSink0Of1", -50), (Span{0x055, 2}));
    EXPECT_EQ(m.byte(0x055), 50);
    EXPECT_EQ(m.setValue("polAltitudeOf1", 3), (Span{0x05B, 2}));
}

TEST(BraeunigerMemoryMap, TextsAreNulPaddedSixteenBytes)
{
    BraeunigerMemory m;
    EXPECT_EQ(m.setText("gliderType", "Advance Sigma 10 and more"), (Span{0x0C0, 16}));
    EXPECT_EQ(m.text("gliderType"), "Advance Sigma 10");
    m.setText("owner", "Jo");
    EXPECT_EQ(m.text("owner"), "Jo");
    EXPECT_EQ(m.byte(0x002), 0);
    EXPECT_FALSE(m.text("pilot"));
}

TEST(BraeunigerTransformers, DisplayValues)
{
    using namespace braeuniger::transform;
    EXPECT_EQ(centiMeterToMeter(150), 1.5);
    EXPECT_EQ(dezimeterToMeter(15), 1.5);
    EXPECT_EQ(halfDezimeterToMeter(15), 3);
    EXPECT_EQ(mulWith100(0.5), 50);
    EXPECT_EQ(acousticIntegration(50), 2);
    EXPECT_EQ(divBy2(3), "1.500000");
    EXPECT_EQ(cmsToKmh(1000), "36.000000");
    EXPECT_EQ(minutesToTimeString(135), "02:15");
    EXPECT_EQ(qnh(-16), 1011);
    EXPECT_EQ(baseVolume(75), 3);
    EXPECT_EQ(baseVolume(70), 0);
    EXPECT_EQ(baseVolumeReverse(4), 100);
    EXPECT_EQ(baseVolumeReverse(5), 0);
}
