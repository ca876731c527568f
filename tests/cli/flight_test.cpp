#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "clirunner.h"
#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::test {
namespace {

/** kalvora-cli flight add|edit on a logbook in a fresh home. */
class CliFlight : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("HOME"), m_home.path());
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        auto store = PersistentStore::open(logbook(), ObjectModel::logBook());
        ASSERT_TRUE(store.ok());
        ObjectContext* ctx = (*store)->mainContext();
        for (int day : {2, 1}) {
            auto* flight = ctx->insert<Flight>();
            flight->setStartUTC(QDateTime(QDate(2024, 8, day), QTime(10, 0), Qt::UTC));
            flight->setLandingUTC(QDateTime(QDate(2024, 8, day), QTime(11, 0), Qt::UTC));
            flight->setStartLocation(QStringLiteral("Day %1").arg(day));
            flight->setFreeDistance(5);
        }
        ASSERT_TRUE(ctx->save().ok());
    }

    QString logbook() const { return m_home.filePath(QStringLiteral("flights.kalvora")); }

    /** The flights the command printed; fails the test on a non-zero exit. */
    QJsonArray run(const QStringList& args)
    {
        const CliRun result = runCli(QStringList{QStringLiteral("flight")} + args, m_env);
        EXPECT_EQ(result.exitCode, 0) << result.err.constData();
        return QJsonDocument::fromJson(result.out).object().value(QStringLiteral("flights")).toArray();
    }

    QList<Flight*> stored(std::unique_ptr<PersistentStore>& holder)
    {
        auto store = PersistentStore::open(logbook(), ObjectModel::logBook(), PersistentStore::OpenMode::MustExist);
        EXPECT_TRUE(store.ok());
        holder = std::move(store.value());
        return holder->mainContext()->fetch<Flight>({}, {SortDescriptor{QStringLiteral("startUTC")}});
    }

    QTemporaryDir m_home;
    QProcessEnvironment m_env;
};

TEST_F(CliFlight, AddEntersAFlightByHandWithItsValues)
{
    const QJsonArray added =
        run({QStringLiteral("add"), logbook(), QStringLiteral("startUTC=2024-08-03T09:30:00Z"),
             QStringLiteral("landingUTC=2024-08-03T10:45:00Z"), QStringLiteral("startLocation=Niesen"),
             QStringLiteral("utcOffset=+2"), QStringLiteral("notice=first of the season")});
    ASSERT_EQ(added.size(), 1);
    const QJsonObject flight = added.first().toObject();
    EXPECT_EQ(flight.value(QStringLiteral("position")).toInt(), 3);
    EXPECT_EQ(flight.value(QStringLiteral("startLocal")).toString(), QStringLiteral("2024-08-03T11:30:00Z"));

    std::unique_ptr<PersistentStore> holder;
    const QList<Flight*> flights = stored(holder);
    ASSERT_EQ(flights.size(), 3);
    const Flight* byHand = flights.last();
    EXPECT_EQ(byHand->startLocation(), QStringLiteral("Niesen"));
    EXPECT_EQ(byHand->flightTimeString(), QStringLiteral("01:15:00"));
    EXPECT_EQ(byHand->notice(), QStringLiteral("first of the season"));
    EXPECT_FALSE(byHand->validIGC());
    EXPECT_EQ(byHand->freeDistance(), -1) << "nothing to score, and never left at \"calc\"";
    EXPECT_EQ(byHand->flightType(), QStringLiteral("n/a"));
}

TEST_F(CliFlight, EditChangesSeveralFlightsAndLocalTimesFollowTheOffset)
{
    run({QStringLiteral("edit"), logbook(), QStringLiteral("1,2"), QStringLiteral("glider=Mentor 7 (Nova)"),
         QStringLiteral("utcOffset=+5:45"), QStringLiteral("glidertype=1")});
    run({QStringLiteral("edit"), logbook(), QStringLiteral("1"), QStringLiteral("startLocal=2024-08-01T12:00:00"),
         QStringLiteral("startAltitude=1520"), QStringLiteral("startLocation=")});
    std::unique_ptr<PersistentStore> holder;
    const QList<Flight*> flights = stored(holder);
    ASSERT_EQ(flights.size(), 2);
    for (const Flight* flight : flights) {
        EXPECT_EQ(flight->glider(), QStringLiteral("Mentor 7 (Nova)"));
        EXPECT_DOUBLE_EQ(flight->utcOffset(), 5.75);
        EXPECT_EQ(flight->glidertype(), 1);
        EXPECT_EQ(flight->freeDistance(), 5) << "no IGC record: the distance stays, nothing is queued";
    }
    EXPECT_EQ(flights.first()->startUTC(), QDateTime(QDate(2024, 8, 1), QTime(6, 15), Qt::UTC));
    EXPECT_EQ(flights.first()->startAltitude(), 1520);
    EXPECT_FALSE(flights.first()->hasValue(QStringLiteral("startLocation"))) << "an empty value clears";
}

TEST_F(CliFlight, BadArgumentsChangeNothing)
{
    const struct
    {
        QStringList args;
        const char* message;
    } cases[] = {
        {{QStringLiteral("edit"), logbook(), QStringLiteral("3"), QStringLiteral("notice=x")}, "no flight 3"},
        {{QStringLiteral("edit"), logbook(), QStringLiteral("1"), QStringLiteral("maxAltitude=9")}, "not a value"},
        {{QStringLiteral("edit"), logbook(), QStringLiteral("1"), QStringLiteral("utcOffset=+5:30:00")}, "utcOffset"},
        {{QStringLiteral("edit"), logbook(), QStringLiteral("1"), QStringLiteral("utcOffset=3.25")}, "utcOffset"},
        {{QStringLiteral("edit"), logbook(), QStringLiteral("1"), QStringLiteral("validIGC=true")}, "validIGC"},
        {{QStringLiteral("edit"), logbook(), QStringLiteral("1"), QStringLiteral("glidertype=7")}, "glidertype"},
        {{QStringLiteral("edit"), logbook(), QStringLiteral("1"), QStringLiteral("startUTC=yesterday")}, "startUTC"},
        {{QStringLiteral("edit"), logbook(), QStringLiteral("1"), QStringLiteral("notice")}, "KEY=VALUE"},
        {{QStringLiteral("edit"), logbook(), QStringLiteral("1")}, "usage"},
        {{QStringLiteral("add"), m_home.filePath(QStringLiteral("missing.kalvora"))}, ""},
    };
    for (const auto& c : cases) {
        const CliRun result = runCli(QStringList{QStringLiteral("flight")} + c.args, m_env);
        EXPECT_NE(result.exitCode, 0) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(result.err.contains(c.message)) << result.err.constData();
        EXPECT_TRUE(result.out.isEmpty());
    }
    std::unique_ptr<PersistentStore> holder;
    const QList<Flight*> flights = stored(holder);
    ASSERT_EQ(flights.size(), 2);
    EXPECT_FALSE(flights.first()->hasValue(QStringLiteral("notice")));
    EXPECT_FALSE(flights.first()->hasValue(QStringLiteral("utcOffset")));
}

} // namespace
} // namespace kalvora::test
