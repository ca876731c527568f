#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "export/printtemplate.h"
#include "model/flight.h"
#include "model/pilot.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora {
namespace {

/** Runs the test body in a zone west of UTC, where stored midnights fall on the day before. */
class WestOfUTC : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        m_oldTz = tz ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "America/Los_Angeles", 1);
        tzset();
        ASSERT_TRUE(m_dir.isValid());
        auto opened = PersistentStore::open(m_dir.filePath("book.kalvora"), ObjectModel::logBook());
        ASSERT_TRUE(opened.ok());
        m_store = std::move(*opened);
    }
    void TearDown() override
    {
        if (m_oldTz)
            setenv("TZ", m_oldTz->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<PersistentStore> m_store;
    std::optional<std::string> m_oldTz;
};

TEST_F(WestOfUTC, CalendarDatesAndLocalTimesPrintAsTheyWereFlown)
{
    ObjectContext* ctx = m_store->mainContext();
    auto* pilot = ctx->insert<Pilot>();
    pilot->setBirth(QDateTime(QDate(1980, 3, 1), QTime(0, 0), QTimeZone::utc()));
    pilot->setLicensedate(QDateTime(QDate(2001, 7, 15), QTime(0, 0), QTimeZone::utc()));
    const PrintPilot p = printPilot(*pilot);
    EXPECT_EQ(p.birth, QDate(1980, 3, 1));
    EXPECT_EQ(p.licenseDate, QDate(2001, 7, 15));

    auto* flight = ctx->insert<Flight>();
    flight->setStartUTC(QDateTime(QDate(2024, 6, 1), QTime(23, 0), QTimeZone::utc()));
    flight->setLandingUTC(QDateTime(QDate(2024, 6, 2), QTime(0, 30), QTimeZone::utc()));
    flight->setUtcOffset(2);
    flight->setFreeDistance(-2); // still being computed
    flight->setFlatDistance(-1);
    flight->setFaiDistance(-1);
    const PrintFlight f = printFlight(*flight);
    EXPECT_EQ(f.date, QDate(2024, 6, 2));
    EXPECT_EQ(f.startUTC, QTime(23, 0));
    EXPECT_EQ(f.startLocal, QTime(1, 0));
    EXPECT_EQ(f.landingLocal, QTime(2, 30));
    EXPECT_EQ(f.flightTime, QStringLiteral("01:30:00"));
    EXPECT_FALSE(f.distance.has_value());

    flight->setFreeDistance(45.9);
    flight->setFlatDistance(0);
    flight->setFaiDistance(0);
    EXPECT_DOUBLE_EQ(printFlight(*flight).distance.value_or(-1), 45.9);
}

} // namespace
} // namespace kalvora
