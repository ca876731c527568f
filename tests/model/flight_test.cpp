#include <QDateTime>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include "model/equipment.h"
#include "model/flight.h"
#include "model/igcscorepoint.h"
#include "model/pilot.h"
#include "model/settings.h"
#include "model/utcoffsets.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::test {
namespace {

QDateTime utc(int y, int m, int d, int h, int min, int s = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s), Qt::UTC);
}

class FlightTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto opened = PersistentStore::open(m_dir.filePath(QStringLiteral("f.kalvora")), ObjectModel::logBook());
        ASSERT_TRUE(opened.ok());
        m_store = std::move(opened.value());
        m_flight = ctx()->insert<Flight>();
        Settings::setCurrentUnits(UnitSettings{});
    }
    void TearDown() override { Settings::setCurrentUnits(std::nullopt); }

    ObjectContext* ctx() { return m_store->mainContext(); }

    QTemporaryDir m_dir;
    std::unique_ptr<PersistentStore> m_store;
    Flight* m_flight = nullptr;
};

TEST_F(FlightTest, FlightTimeText)
{
    struct Case
    {
        qint64 seconds; // -1: landing absent
        const char* expected;
    };
    const Case cases[] = {{-1, "00:00:00"}, {0, "00:00:00"},     {3723, "01:02:03"},
                          {86400, "24:00:00"}, {86401, "Invalid"}, {-60, "Invalid"}};
    for (const Case& c : cases) {
        m_flight->setStartUTC(utc(2024, 5, 1, 8, 0));
        m_flight->setValue(QStringLiteral("landingUTC"),
                           c.seconds == -1 ? QVariant() : QVariant(utc(2024, 5, 1, 8, 0).addSecs(c.seconds)));
        EXPECT_EQ(m_flight->flightTimeString(), QString::fromLatin1(c.expected)) << c.seconds;
    }
    m_flight->setValue(QStringLiteral("startUTC"), QVariant());
    EXPECT_EQ(m_flight->flightTime(), 0);
    // Half a second rounds to the nearest second.
    m_flight->setStartUTC(utc(2024, 5, 1, 8, 0));
    m_flight->setLandingUTC(utc(2024, 5, 1, 8, 0).addMSecs(59500));
    EXPECT_EQ(m_flight->flightTimeString(), QStringLiteral("00:01:00"));
}

TEST_F(FlightTest, LocalTimesAreShiftedInstants)
{
    m_flight->setStartUTC(utc(2024, 5, 1, 8, 0));
    EXPECT_EQ(m_flight->startLocal(), m_flight->startUTC()); // no offset
    m_flight->setUtcOffset(5.75);
    m_flight->setStartLocal(utc(2024, 5, 1, 14, 0));
    EXPECT_EQ(m_flight->startUTC(), utc(2024, 5, 1, 8, 15));
    EXPECT_EQ(m_flight->startLocal(), utc(2024, 5, 1, 14, 0));
    m_flight->setUtcOffset(-9.5);
    m_flight->setLandingLocal(utc(2024, 5, 1, 0, 30));
    EXPECT_EQ(m_flight->landingUTC(), utc(2024, 5, 1, 10, 0));
}

TEST_F(FlightTest, ChangingTheTakeOffDateMovesTheLandingWithIt)
{
    struct Case
    {
        QDateTime start, landing, newStart, expectedLanding;
    };
    const Case cases[] = {
        // Same-day flight moved three days on: the landing keeps its time of day.
        {utc(2024, 5, 1, 10, 0), utc(2024, 5, 1, 12, 30), utc(2024, 5, 4, 9, 0), utc(2024, 5, 4, 12, 30)},
        // Landing after 00:00 UTC: it stays on the day after the take-off, not before it.
        {utc(2024, 5, 1, 23, 0), utc(2024, 5, 2, 1, 15), utc(2024, 6, 10, 23, 0), utc(2024, 6, 11, 1, 15)},
        {utc(2024, 5, 1, 23, 0), utc(2024, 5, 2, 1, 15), utc(2024, 4, 28, 23, 30), utc(2024, 4, 29, 1, 15)},
        // Only the time of day changed: the landing stays.
        {utc(2024, 5, 1, 10, 0), utc(2024, 5, 1, 12, 30), utc(2024, 5, 1, 11, 0), utc(2024, 5, 1, 12, 30)},
    };
    for (const Case& c : cases) {
        m_flight->setStartUTC(c.start);
        m_flight->setLandingUTC(c.landing);
        m_flight->setStartUTC(c.newStart);
        EXPECT_EQ(m_flight->landingUTC(), c.expectedLanding) << qPrintable(c.newStart.toString(Qt::ISODate));
        EXPECT_GT(m_flight->landingUTC(), m_flight->startUTC());
    }
}

TEST_F(FlightTest, UndoingADateChangeRestoresBothTimesInOneStep)
{
    m_flight->setStartUTC(utc(2024, 5, 1, 23, 0));
    m_flight->setLandingUTC(utc(2024, 5, 2, 1, 15));
    m_flight->setStartUTC(utc(2024, 5, 7, 23, 0));
    ASSERT_EQ(m_flight->landingUTC(), utc(2024, 5, 8, 1, 15));
    ctx()->undo();
    EXPECT_EQ(m_flight->startUTC(), utc(2024, 5, 1, 23, 0));
    EXPECT_EQ(m_flight->landingUTC(), utc(2024, 5, 2, 1, 15));
    ctx()->redo();
    EXPECT_EQ(m_flight->startUTC(), utc(2024, 5, 7, 23, 0));
    EXPECT_EQ(m_flight->landingUTC(), utc(2024, 5, 8, 1, 15));
}

TEST_F(FlightTest, FirstTakeOffPutsTheLandingOnItsDateOrTheNext)
{
    m_flight->setLandingUTC(utc(2000, 1, 1, 12, 0));
    m_flight->setStartUTC(utc(2024, 5, 1, 10, 0));
    EXPECT_EQ(m_flight->landingUTC(), utc(2024, 5, 1, 12, 0));

    auto* late = ctx()->insert<Flight>();
    FlightValues values;
    values.startUTC = utc(2024, 5, 1, 23, 30);
    values.landingUTC = utc(2024, 5, 2, 0, 45);
    late->initFromFlightData(values);
    EXPECT_EQ(late->landingUTC(), utc(2024, 5, 2, 0, 45));
}

TEST_F(FlightTest, InitFromFlightDataAndClearFlight)
{
    m_flight->setNotice(QStringLiteral("keep me"));
    m_flight->setPhotoDirectory(QStringLiteral("/photos"));
    FlightValues v;
    v.glider = QStringLiteral("Mentor");
    v.maxSpeed = 55.0;
    v.startUTC = utc(2024, 5, 1, 10, 0);
    v.landingUTC = utc(2024, 5, 1, 11, 0);
    v.utcOffset = 2;
    v.validIGC = true;
    v.glidertype = 4;
    m_flight->initFromFlightData(v);
    EXPECT_EQ(m_flight->glider(), QStringLiteral("Mentor"));
    EXPECT_EQ(m_flight->notice(), QStringLiteral("keep me"));
    EXPECT_EQ(m_flight->photoDirectory(), QStringLiteral("/photos"));
    EXPECT_FALSE(m_flight->hasValue(QStringLiteral("startWaypointLatitude")));
    for (const char* key : {"freeDistance", "flatDistance", "faiDistance"})
        EXPECT_EQ(m_flight->doubleValue(QString::fromLatin1(key)), -1) << key;
    EXPECT_EQ(m_flight->glidertype(), 4);

    XCData xc{10, 0, 0, {{1, 1}}};
    m_flight->setXCData(&xc);
    m_flight->clearFlight();
    for (const char* key : {"startUTC", "landingUTC", "glider", "notice", "photoDirectory", "maxSpeed", "utcOffset"})
        EXPECT_FALSE(m_flight->hasValue(QString::fromLatin1(key))) << key;
    EXPECT_TRUE(m_flight->hasValue(QStringLiteral("validIGC")));
    EXPECT_FALSE(m_flight->validIGC());
    EXPECT_EQ(m_flight->freeDistance(), 10);
    EXPECT_EQ(m_flight->glidertype(), 4);
    EXPECT_EQ(m_flight->igcScorePoints().size(), 1);
    m_flight->setXCData(nullptr); // nothing
    EXPECT_EQ(m_flight->igcScorePoints().size(), 1);
}

TEST_F(FlightTest, DistancesPointsAndType)
{
    struct Case
    {
        double f, t, a;
        int xcPointsType;
        double points;
        double distance;
        const char* type;
    };
    const Case cases[] = {
        {10, 9, 8, 0, 11.2, 10, "FAI \u25B2"},
        {10, 9, 8, 1, 16, 10, "FAI \u25B2"},
        {20, 9, 8, 0, 20, 20, "Freeflight"},
        {10, 9, 1, 0, 10.8, 10, "Free \u25B2"},
        {-1, -1, -1, 0, -1, -1, "n/a"},
        {-2, -1, -1, 0, -2, -1, "calc"},
        {0, 5, 3, 0, 0, 0, "n/a"},
    };
    for (const Case& c : cases) {
        Settings::setCurrentUnits(UnitSettings{0, 0, 0, 0, c.xcPointsType});
        m_flight->setFreeDistance(c.f);
        m_flight->setFlatDistance(c.t);
        m_flight->setFaiDistance(c.a);
        EXPECT_NEAR(m_flight->xcPoints(), c.points, 1e-9) << c.f << " " << c.t << " " << c.a;
        EXPECT_DOUBLE_EQ(m_flight->distance(), c.distance);
        EXPECT_EQ(m_flight->flightType(), QString::fromUtf8(c.type));
    }
    Settings::setCurrentUnits(std::nullopt); // no settings: the second system
    m_flight->setFreeDistance(10);
    m_flight->setFlatDistance(9);
    m_flight->setFaiDistance(8);
    EXPECT_DOUBLE_EQ(m_flight->xcPoints(), 16);
    EXPECT_EQ(scoreTypeOf(0, 50, 50), ScoreType::FreeDistance);
}

TEST_F(FlightTest, EquipmentAndNames)
{
    m_flight->setHarness(QStringLiteral("Lightness"));
    EXPECT_EQ(m_flight->equipment(), QStringLiteral("Lightness"));
    m_flight->setGlider(QStringLiteral("Mentor"));
    EXPECT_EQ(m_flight->equipment(), QStringLiteral("Mentor / Lightness"));
    m_flight->setHarness(QString());
    EXPECT_EQ(m_flight->equipment(), QStringLiteral("Mentor"));

    auto* pilot = ctx()->insert<Pilot>();
    EXPECT_EQ(pilot->mergedName(), QString());
    pilot->setLastname(QStringLiteral("Meier"));
    EXPECT_EQ(pilot->mergedName(), QStringLiteral("Meier"));
    pilot->setFirstname(QStringLiteral("Eva"));
    EXPECT_EQ(pilot->value(QStringLiteral("mergedName")).toString(), QStringLiteral("Eva Meier"));
}

TEST_F(FlightTest, AltitudeTexts)
{
    EXPECT_EQ(Flight::altitudeString(0), QString());
    EXPECT_EQ(Flight::altitudeString(1234.4), QStringLiteral("1234"));
    EXPECT_EQ(Flight::altitudeFromString(QStringLiteral("1500")), 1500.0);
    EXPECT_FALSE(Flight::altitudeFromString(QString()).has_value());
    EXPECT_FALSE(Flight::altitudeFromString(QStringLiteral("high")).has_value());
    Settings::setCurrentUnits(UnitSettings{1, 0, 0, 0, 0});
    EXPECT_EQ(Flight::altitudeString(0), QString());
    EXPECT_EQ(Flight::altitudeString(1000), QStringLiteral("3281"));
    EXPECT_NEAR(*Flight::altitudeFromString(QStringLiteral("3280.8")), 1000.0, 1e-9);
}

TEST_F(FlightTest, WatchedChangesAreAnnounced)
{
    QSignalSpy posted(&NotificationCenter::instance(), &NotificationCenter::notified);
    QSignalSpy changed(m_flight, &StoredObject::valueChanged);
    m_flight->setNotice(QStringLiteral("not watched"));
    EXPECT_EQ(posted.count(), 0);
    m_flight->setFreeDistance(3);
    ASSERT_EQ(posted.count(), 1);
    EXPECT_EQ(posted.at(0).at(0).toString(), QStringLiteral("KalvoraFlightChanged"));
    EXPECT_EQ(posted.at(0).at(1).value<QObject*>(), m_flight);
    XCData xc{5, 0, 0, {{1, 1}, {2, 2}}};
    m_flight->setXCData(&xc);
    EXPECT_GE(posted.count(), 4); // three distances and the score points
    QStringList keys;
    for (const auto& args : changed)
        keys.append(args.at(0).toString());
    EXPECT_TRUE(keys.contains(QStringLiteral("xcPoints")));
    EXPECT_TRUE(keys.contains(QStringLiteral("igcScorePoints")));
}

TEST(UtcOffsets, TableAndIndexes)
{
    EXPECT_EQ(UtcOffsets.size(), 40u);
    EXPECT_EQ(utcOffsetAt(UtcOffsetZeroIndex), 0.0);
    EXPECT_EQ(utcOffsetIndex(5.75), 24);
    EXPECT_EQ(utcOffsetIndex(-12), 0);
    EXPECT_EQ(utcOffsetIndex(14), 39);
    EXPECT_FALSE(utcOffsetIndex(1.25).has_value());
    EXPECT_FALSE(utcOffsetAt(40).has_value());
    EXPECT_FALSE(utcOffsetAt(-1).has_value());
    EXPECT_TRUE(std::is_sorted(UtcOffsets.begin(), UtcOffsets.end()));
}

TEST(EquipmentRecord, NewItemsAreBoughtNowNotSoldAndSortByPurchase)
{
    QTemporaryDir dir;
    auto store = PersistentStore::open(dir.filePath(QStringLiteral("g.storedata")), ObjectModel::global());
    ASSERT_TRUE(store.ok());
    const double before = double(QDateTime::currentSecsSinceEpoch()) - 1;
    auto* e = (*store)->mainContext()->insert<Equipment>();
    EXPECT_GE(e->boughtDate(), before);
    EXPECT_FALSE(e->hasValue(QStringLiteral("soldDate"))) << "new equipment is not sold the day it is bought";
    EXPECT_FALSE((*store)->mainContext()->canUndo()); // the defaults are no edit
    e->setBoughtDate(0);
    EXPECT_EQ(e->sortDate(), QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC));
    e->setModel(QStringLiteral("Mentor 7"));
    EXPECT_EQ(e->displayName(), QStringLiteral("Mentor 7"));
    e->setManufacturer(QStringLiteral("Nova"));
    EXPECT_EQ(e->displayName(), QStringLiteral("Mentor 7, Nova"));
}

} // namespace
} // namespace kalvora::test
