// Small rules of the windows and the command line, table by table.
#include <QImage>
#include <QLocale>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/launchoptions.h"
#include "ui/datefield.h"
#include "ui/imagereduction.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/toolbarrules.h"
#include "ui/utcoffsetlist.h"
#include "ui/windowplacement.h"

namespace kalvora::test {
namespace {

TEST(UtcOffsetList, FortyLabelsWithMinutesAfterTheDot)
{
    const QStringList labels = utcOffsetLabels();
    ASSERT_EQ(labels.size(), 40);
    const struct
    {
        int row;
        const char* label;
    } cases[] = {{0, "-12"},     {3, "-9:30"},  {9, "-4:30"},  {14, "-1"},   {15, "0"},
                 {16, "+1"},     {19, "+3:30"}, {24, "+5:45"}, {36, "+12:45"}, {38, "+13:45"},
                 {39, "+14"}};
    for (const auto& c : cases)
        EXPECT_EQ(labels.at(c.row), QLatin1String(c.label)) << "row " << c.row;
    EXPECT_EQ(labels.at(kDefaultUtcOffsetRow), QStringLiteral("0"));
}

TEST(ToolbarRules, TagsFollowListAndSelection)
{
    const FlightSelectionState empty{0, 0, false};
    const FlightSelectionState noSelection{3, 0, true};
    const FlightSelectionState oneWithIGC{3, 1, true};
    const FlightSelectionState twoWithIGC{3, 2, true};
    const FlightSelectionState oneWithoutIGC{3, 1, false};
    const struct
    {
        int tag;
        FlightSelectionState state;
        bool enabled;
    } cases[] = {
        {1, empty, false},         {1, noSelection, true},   {3, noSelection, false}, {3, oneWithIGC, true},
        {3, twoWithIGC, true},     {3, oneWithoutIGC, false}, {4, oneWithIGC, true},   {4, twoWithIGC, false},
        {4, noSelection, false},   {4, oneWithoutIGC, true},  {5, oneWithIGC, false},  {0, empty, true},
        {2, empty, true},          {7, empty, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isToolbarItemEnabled(c.tag, c.state), c.enabled)
            << "tag " << c.tag << " flights " << c.state.flightCount << " selected " << c.state.selectedCount;
}

TEST(LaunchOptions, ReadsFilesAndTestHooks)
{
    qunsetenv("KALVORA_QUIT_AFTER_MS");
    const LaunchOptions plain = parseLaunchOptions({QStringLiteral("kalvora")});
    EXPECT_EQ(plain, LaunchOptions{});

    const LaunchOptions options =
        parseLaunchOptions({QStringLiteral("kalvora"), QStringLiteral("--report-windows"), QStringLiteral("/a/b.kalvora"),
                            QStringLiteral("--quit-after-ms"), QStringLiteral("250"), QStringLiteral("--unknown"),
                            QStringLiteral("/c/FLIGHT.IGC")});
    EXPECT_TRUE(options.reportWindows);
    EXPECT_EQ(options.quitAfterMs, 250);
    EXPECT_EQ(options.files, (QStringList{QStringLiteral("/a/b.kalvora"), QStringLiteral("/c/FLIGHT.IGC")}));

    EXPECT_EQ(parseLaunchOptions({QStringLiteral("kalvora"), QStringLiteral("--quit-after-ms=-5")}).quitAfterMs,
              std::nullopt);
    qputenv("KALVORA_QUIT_AFTER_MS", "40");
    EXPECT_EQ(parseLaunchOptions({QStringLiteral("kalvora")}).quitAfterMs, 40);
    qunsetenv("KALVORA_QUIT_AFTER_MS");
}

TEST(KmlApplication, NameFromDesktopId)
{
    EXPECT_EQ(kmlApplicationFromDesktopId("google-earth-pro.desktop\n"), QStringLiteral("google-earth-pro"));
    EXPECT_EQ(kmlApplicationFromDesktopId("Google%20Earth.desktop"), QStringLiteral("Google Earth"));
    EXPECT_EQ(kmlApplicationFromDesktopId(""), std::nullopt);
    EXPECT_EQ(kmlApplicationFromDesktopId("  \n"), std::nullopt);
}

TEST(DateField, DatesAsPilotsTypeThem)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale american(QLocale::English, QLocale::UnitedStates);
    const QDate may12(1985, 5, 12);
    const struct
    {
        const char* text;
        std::optional<QDate> expected;
    } cases[] = {
        {"12May1985", may12},    {"12 May 1985", may12}, {"May 12, 1985", may12}, {"1985-05-12", may12},
        {"12.5.1985", may12},    {"12/05/1985", may12},  {" 12 may 1985 ", may12}, {"12 Mayy 1985", std::nullopt},
        {"31.02.1985", std::nullopt}, {"1899-12-31", std::nullopt}, {"", std::nullopt}, {"yesterday", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseUserDate(QLatin1String(c.text), american), c.expected) << c.text;
    EXPECT_EQ(parseUserDate(QStringLiteral("12.05.85"), german), std::nullopt) << "two-digit years are ambiguous";
    EXPECT_EQ(parseUserDate(QStringLiteral("12.05.1985"), german), may12);
}

TEST(WindowPlacement, FramesAreMovedAndShrunkOntoTheScreen)
{
    const QRect screen(0, 0, 1280, 800);
    const struct
    {
        QRect frame;
        QRect expected;
    } cases[] = {
        {{100, 100, 800, 600}, {100, 100, 800, 600}},    // inside: kept
        {{900, 500, 800, 600}, {480, 200, 800, 600}},    // off the bottom right: moved back
        {{-50, -20, 400, 300}, {0, 0, 400, 300}},        // above and left of the screen
        {{0, 0, 2200, 1300}, {0, 0, 1280, 800}},         // larger than the screen (scale factor 2)
        {{1500, 900, 200, 100}, {1080, 700, 200, 100}},  // on a screen that is gone
    };
    for (const auto& c : cases)
        EXPECT_EQ(clampedGeometry(c.frame, screen), c.expected);
    EXPECT_EQ(clampedGeometry(QRect(), screen), QRect());
    // A work area not at the origin (a panel on the left).
    EXPECT_EQ(clampedGeometry({0, 0, 300, 200}, {48, 0, 1232, 800}), QRect(48, 0, 300, 200));
}

TEST(ImageReduction, ShorterSideMeetsTheBound)
{
    EXPECT_EQ(reducedSize({400, 200}, {120, 120}), QSize(240, 120));
    EXPECT_EQ(reducedSize({100, 300}, {120, 120}), QSize(120, 360));
    EXPECT_EQ(reducedSize({111, 111}, {111, 111}), QSize(111, 111));
    EXPECT_EQ(reducedSize({0, 10}, {111, 111}), QSize());

    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("p.png"));
    QImage picture(400, 200, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(png));
    const auto jpeg = reducedJpeg(png, {111, 111});
    ASSERT_TRUE(jpeg.has_value());
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(*jpeg, "JPEG"));
    EXPECT_EQ(decoded.size(), QSize(222, 111));
    EXPECT_FALSE(reducedJpeg(dir.filePath(QStringLiteral("missing.png")), {111, 111}).has_value());
}

TEST(ImageReduction, SliversTransparencyAndOrientationComeOutAsSeen)
{
    // A 1 x 400 sliver would become 120 x 48000; it stops at ten bounds.
    EXPECT_EQ(reducedSize({1, 400}, {120, 120}), QSize(3, 1200));
    EXPECT_EQ(reducedSize({4000, 10}, {111, 111}), QSize(1110, 3));

    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("clear.png"));
    QImage transparent(200, 200, QImage::Format_ARGB32);
    transparent.fill(Qt::transparent);
    ASSERT_TRUE(transparent.save(png));
    const auto fromPng = reducedJpeg(png, {120, 120});
    ASSERT_TRUE(fromPng.has_value());
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(*fromPng, "JPEG"));
    EXPECT_GT(qGray(decoded.pixel(60, 60)), 240) << "transparent turns white, not black";

    // Stored landscape with an orientation tag that says "turn it upright".
    const QString jpg = dir.filePath(QStringLiteral("portrait.jpg"));
    QImage landscape(400, 200, QImage::Format_RGB32);
    landscape.fill(Qt::blue);
    QImageWriter writer(jpg, "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(landscape)) << writer.errorString().toStdString();
    const auto upright = reducedJpeg(jpg, {120, 120});
    ASSERT_TRUE(upright.has_value());
    ASSERT_TRUE(decoded.loadFromData(*upright, "JPEG"));
    EXPECT_EQ(decoded.size(), QSize(120, 240));
}

} // namespace
} // namespace kalvora::test
