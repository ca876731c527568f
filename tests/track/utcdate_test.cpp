#include <gtest/gtest.h>

#include <cstdlib>

#include "track/utcdate.h"

using namespace kalvora::utc;
using namespace std::chrono;

namespace {

TEST(UTCDates, ParsesPatternsStrictly)
{
    const auto instant = parse("020715103012", "ddMMyyHHmmss");
    ASSERT_TRUE(instant);
    EXPECT_EQ(*instant, sys_days{year{2015} / 7 / 2} + hours{10} + minutes{30} + seconds{12});
    EXPECT_EQ(parse("1995-07-02 00:00:00", "yyyy-MM-dd HH:mm:ss"), sys_seconds{sys_days{year{1995} / 7 / 2}});
    EXPECT_EQ(parse("020795000000", "ddMMyyHHmmss"), sys_seconds{sys_days{year{1995} / 7 / 2}});
    EXPECT_EQ(parse("290224000000", "ddMMyyHHmmss"), sys_seconds{sys_days{year{2024} / 2 / 29}});
    for (const char* bad :
         {"290223000000", "020715243012", "02071510301", "0207151030123", "0207a5103012", ""})
        EXPECT_FALSE(parse(bad, "ddMMyyHHmmss")) << bad;
}

TEST(UTCDates, FormatsIndependentOfTheMachineTimeZone)
{
    setenv("TZ", "Pacific/Kiritimati", 1);
    const sys_seconds instant = sys_days{year{2026} / 12 / 6} + hours{13} + minutes{40} + seconds{5};
    EXPECT_EQ(toIso8601(instant), "2026-12-06T13:40:05Z");
    EXPECT_EQ(format(instant, "ddMMyyHHmmss"), "061226134005");
    EXPECT_EQ(fullDateShortTime(instant), "Sunday, December 6, 2026 at 1:40 PM");
    EXPECT_EQ(fullDateShortTime(sys_days{year{1970} / 1 / 1}), "Thursday, January 1, 1970 at 12:00 AM");
    unsetenv("TZ");
}

TEST(UTCDates, CivilDaysRoundTrip)
{
    for (const std::int64_t days : {-719468LL, -1LL, 0LL, 11016LL, 20000LL, 2932896LL}) {
        const CivilDate date = civilFromDays(days);
        EXPECT_TRUE(isValidDate(date));
        EXPECT_EQ(daysFromCivil(date), days);
    }
}

} // namespace
