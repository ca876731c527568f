#include "waypoints/timezonefinder.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace kalvora;

namespace {

#define REQUIRE_ZONEINFO()                                                                                   \
    do {                                                                                                     \
        if (TimeZoneFinder::system().zoneCount() == 0 || !QTimeZone(QByteArray("Europe/Vienna")).isValid())  \
            GTEST_SKIP() << "no time-zone database under /usr/share/zoneinfo; skipping";                     \
    } while (false)

QDateTime utc(int year, int month, int day, int hour = 12)
{
    return QDateTime(QDate(year, month, day), QTime(hour, 0), QTimeZone::utc());
}

struct PlaceCase
{
    const char* name;
    double latitude;
    double longitude;
    const char* hint;
    QDateTime instant;
    const char* zone;
    double offsetH;
};

class SystemZones : public ::testing::TestWithParam<PlaceCase>
{
};

TEST_P(SystemZones, GiveTheZoneAndTheOffsetOnThatDay)
{
    REQUIRE_ZONEINFO();
    const PlaceCase& c = GetParam();
    const auto answer =
        TimeZoneFinder::system().find(c.latitude, c.longitude, QString::fromLatin1(c.hint), c.instant);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->zoneId, QByteArray(c.zone));
    EXPECT_DOUBLE_EQ(answer->utcOffset, c.offsetH);
}

// Offsets hand-checked against the zones' published rules.
INSTANTIATE_TEST_SUITE_P(
    Places, SystemZones,
    ::testing::Values(
        PlaceCase{"InnsbruckSummer", 47.2692, 11.4041, "at", utc(2024, 7, 15), "Europe/Vienna", 2},
        PlaceCase{"InnsbruckWinter", 47.2692, 11.4041, "AT", utc(2024, 1, 15), "Europe/Vienna", 1},
        // The clocks went forward at 01:00 UTC on 31 March 2024.
        PlaceCase{"InnsbruckJustBeforeTheChange", 47.2692, 11.4041, "at", utc(2024, 3, 31, 0),
                  "Europe/Vienna", 1},
        PlaceCase{"InnsbruckJustAfterTheChange", 47.2692, 11.4041, "at", utc(2024, 3, 31, 1), "Europe/Vienna",
                  2},
        PlaceCase{"Kathmandu", 27.7172, 85.3240, "", utc(2024, 7, 15), "Asia/Kathmandu", 5.75},
        PlaceCase{"SydneySummer", -33.8688, 151.2093, "", utc(2024, 1, 15), "Australia/Sydney", 11},
        PlaceCase{"SydneyWinter", -33.8688, 151.2093, "", utc(2024, 7, 15), "Australia/Sydney", 10},
        PlaceCase{"StJohnsWinter", 47.5615, -52.7126, "", utc(2024, 1, 15), "America/St_Johns", -3.5},
        // Badajoz lies nearer to Lisbon than to Madrid; the country decides.
        PlaceCase{"BadajozWithSpainsCode", 38.8794, -6.9707, "es", utc(2024, 7, 15), "Europe/Madrid", 2},
        // No zone lists "zz": the hint is ignored, not fatal.
        PlaceCase{"UnknownCountryIsNearestOverall", 27.7172, 85.3240, "zz", utc(2024, 7, 15),
                  "Asia/Kathmandu", 5.75}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SystemZones, NoAnswerForBadInput)
{
    REQUIRE_ZONEINFO();
    const TimeZoneFinder& finder = TimeZoneFinder::system();
    EXPECT_FALSE(finder.find(47.27, 11.40, {}, QDateTime()).has_value());
    EXPECT_FALSE(finder.find(std::nan(""), 11.40, {}, utc(2024, 7, 1)).has_value());
    EXPECT_FALSE(finder.find(47.27, INFINITY, {}, utc(2024, 7, 1)).has_value());
}

TEST(Iso6709, ReadsBothFormsAndRejectsTheRest)
{
    const auto vienna = TimeZoneFinder::parseIso6709(u"+4813+01620");
    ASSERT_TRUE(vienna.has_value());
    EXPECT_NEAR(vienna->first, 48 + 13 / 60.0, 1e-9);
    EXPECT_NEAR(vienna->second, 16 + 20 / 60.0, 1e-9);

    const auto london = TimeZoneFinder::parseIso6709(u"+513030-0000731");
    ASSERT_TRUE(london.has_value());
    EXPECT_NEAR(london->first, 51 + 30 / 60.0 + 30 / 3600.0, 1e-9);
    EXPECT_NEAR(london->second, -(7 / 60.0 + 31 / 3600.0), 1e-9);

    const auto sydney = TimeZoneFinder::parseIso6709(u"-3352+15113");
    ASSERT_TRUE(sydney.has_value());
    EXPECT_NEAR(sydney->first, -(33 + 52 / 60.0), 1e-9);
    EXPECT_NEAR(sydney->second, 151 + 13 / 60.0, 1e-9);

    for (const char16_t* bad :
         {u"", u"+4813", u"4813+01620", u"+481+01620", u"+48130+01620", u"+4813+0162", u"+4813+016200",
          u"+4860+01620", u"+4813+01660", u"+481360+0162000", u"+9100+00000", u"+4500+18100", u"+4813+0162x",
          u"+4813 +01620", u"++4813+01620"}) {
        SCOPED_TRACE(QString::fromUtf16(bad).toStdString());
        EXPECT_FALSE(TimeZoneFinder::parseIso6709(bad).has_value());
    }
}

class ZoneTableFile : public ::testing::Test
{
protected:
    QString write(const char* name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QTemporaryDir m_dir;
};

TEST_F(ZoneTableFile, SkipsBadRowsAndUsesTheGoodOnes)
{
    const QString table = write("zone1970.tab", "# comment\n"
                                                "\n"
                                                "AT\t+4813+01620\tEurope/Vienna\n"
                                                "XX\t+4813\tBroken/NoLongitude\n"
                                                "XX\t+4813+01620\n"
                                                "XX\t+4813+01620\t\n"
                                                "XX\tnonsense\tBroken/Coordinates\n"
                                                "XX\t+4899+01620\tBroken/Minutes\n"
                                                "CH,DE,LI\t+4723+00832\tEurope/Zurich\tBüsingen\r\n"
                                                "\xff\xfe\x00\x01 binary tail");
    const TimeZoneFinder finder({table});
    EXPECT_EQ(finder.zoneCount(), 2u);
    // Innsbruck: Zurich is nearer, Vienna is Austria's.
    EXPECT_EQ(finder.zoneId(47.2692, 11.4041, {}), QByteArray("Europe/Zurich"));
    EXPECT_EQ(finder.zoneId(47.2692, 11.4041, QStringLiteral("at")), QByteArray("Europe/Vienna"));
    // A country listed second on a row counts as well.
    EXPECT_EQ(finder.zoneId(48.2, 16.3, QStringLiteral("de")), QByteArray("Europe/Zurich"));
}

TEST_F(ZoneTableFile, FallsBackToTheNextTableWhenOneGivesNoZones)
{
    const QString empty = write("zone1970.tab", "# only comments\n");
    const QString older = write("zone.tab", "NP\t+2743+08519\tAsia/Kathmandu\n");
    const TimeZoneFinder finder({m_dir.filePath("missing.tab"), empty, older});
    EXPECT_EQ(finder.zoneId(0, 0, {}), QByteArray("Asia/Kathmandu"));
}

TEST_F(ZoneTableFile, MissingBrokenOrUnknownZonesGiveNothing)
{
    const QDateTime july = utc(2024, 7, 1);
    const TimeZoneFinder missing({m_dir.filePath("missing.tab")});
    EXPECT_EQ(missing.zoneCount(), 0u);
    EXPECT_FALSE(missing.find(47.27, 11.40, QStringLiteral("at"), july).has_value());

    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 37) % 256);
    const TimeZoneFinder broken({write("garbage.tab", garbage)});
    EXPECT_FALSE(broken.find(47.27, 11.40, {}, july).has_value());

    // A table newer than the zone data: the zone is chosen but has no rules here.
    const TimeZoneFinder unknown({write("future.tab", "AT\t+4813+01620\tEurope/Nowhere_Yet\n")});
    EXPECT_EQ(unknown.zoneId(47.27, 11.40, {}), QByteArray("Europe/Nowhere_Yet"));
    EXPECT_FALSE(unknown.find(47.27, 11.40, {}, july).has_value());
}

TEST_F(ZoneTableFile, ManyThreadsReadingTheTableAtOnceAgree)
{
    // Unique points: latitude i / 180, longitude i % 180 degrees.
    QByteArray rows;
    for (int i = 0; i < 2000; ++i)
        rows += QString::asprintf("XX\t+%02d00+%03d00\tZone/N%d\n", i / 180, i % 180, i).toLatin1();
    const TimeZoneFinder finder({write("big.tab", rows)});
    std::vector<std::optional<QByteArray>> found(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < found.size(); ++t)
        threads.emplace_back([&, t] { found[t] = finder.zoneId(0, 10, {}); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(finder.zoneCount(), 2000u);
    for (const auto& id : found)
        EXPECT_EQ(id, QByteArray("Zone/N10"));
}

} // namespace
