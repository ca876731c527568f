#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "clirunner.h"
#include "model/flight.h"
#include "model/settings.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::test {
namespace {

class CliList : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("HOME"), m_home.path());
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    }

    QString logbook() const { return m_home.filePath(QStringLiteral("flights.kalvora")); }

    void writeLogbook()
    {
        auto store = PersistentStore::open(logbook(), ObjectModel::logBook());
        ASSERT_TRUE(store.ok());
        ObjectContext* ctx = (*store)->mainContext();
        auto* later = ctx->insert<Flight>();
        later->setStartUTC(QDateTime(QDate(2024, 8, 2), QTime(11, 0), Qt::UTC));
        later->setLandingUTC(QDateTime(QDate(2024, 8, 2), QTime(12, 30, 15), Qt::UTC));
        later->setStartLocation(QStringLiteral("Säntis \"Nord\""));
        later->setFreeDistance(10);
        later->setFlatDistance(9);
        later->setFaiDistance(8);
        later->setGlidertype(2);
        later->setValidIGC(true);
        auto* earlier = ctx->insert<Flight>();
        earlier->setStartUTC(QDateTime(QDate(2024, 8, 1), QTime(9, 0), Qt::UTC));
        earlier->setFreeDistance(-2);
        ASSERT_TRUE(ctx->save().ok());
    }

    QJsonArray list(int expectedExit = 0)
    {
        const CliRun run = runCli({QStringLiteral("list"), logbook()}, m_env);
        EXPECT_EQ(run.exitCode, expectedExit) << run.err.constData();
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(run.out, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.constData();
        return doc.array();
    }

    QTemporaryDir m_home;
    QProcessEnvironment m_env;
};

TEST_F(CliList, PrintsEveryAttributeAndTheDerivedValues)
{
    writeLogbook();
    const QJsonArray flights = list();
    ASSERT_EQ(flights.size(), 2);
    const QJsonObject first = flights[0].toObject();
    const QJsonObject second = flights[1].toObject();
    // In take-off order.
    EXPECT_EQ(first[QStringLiteral("startUTC")].toString(), QStringLiteral("2024-08-01T09:00:00Z"));
    EXPECT_TRUE(first[QStringLiteral("landingUTC")].isNull());
    EXPECT_EQ(first[QStringLiteral("flightTime")].toDouble(), 0);
    EXPECT_EQ(first[QStringLiteral("flightTimeString")].toString(), QStringLiteral("00:00:00"));
    EXPECT_EQ(first[QStringLiteral("flightType")].toString(), QStringLiteral("calc"));
    EXPECT_EQ(second[QStringLiteral("startLocation")].toString(), QStringLiteral("Säntis \"Nord\""));
    EXPECT_EQ(second[QStringLiteral("landingUTC")].toString(), QStringLiteral("2024-08-02T12:30:15Z"));
    EXPECT_EQ(second[QStringLiteral("flightTime")].toDouble(), 5415);
    EXPECT_EQ(second[QStringLiteral("flightTimeString")].toString(), QStringLiteral("01:30:15"));
    EXPECT_EQ(second[QStringLiteral("glidertype")].toInteger(), 2);
    EXPECT_EQ(second[QStringLiteral("validIGC")].toBool(), true);
    EXPECT_EQ(second[QStringLiteral("distance")].toDouble(), 10);
    EXPECT_EQ(second[QStringLiteral("flightType")].toString(), QString::fromUtf8("FAI \u25B2"));
    // No settings yet: made as at the application's first start, with the first points system.
    EXPECT_NEAR(second[QStringLiteral("xcPoints")].toDouble(), 11.2, 1e-9);
    for (const char* key : {"notice", "maxSpeed", "utcOffset", "startWaypointLatitude", "photoDirectory"}) {
        ASSERT_TRUE(second.contains(QString::fromLatin1(key))) << key;
        EXPECT_TRUE(second[QString::fromLatin1(key)].isNull()) << key;
    }
    // Every stored attribute but the IGC record, and the five derived values.
    EXPECT_FALSE(second.contains(QStringLiteral("igcData")));
    EXPECT_EQ(second.size(), 32 + 5);
}

TEST_F(CliList, UsesTheXCPointsSystemOfTheSettingsInTheDataFolder)
{
    writeLogbook();
    const QString folder = m_home.filePath(QStringLiteral("data/Kalvora"));
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        auto store = PersistentStore::open(folder + QStringLiteral("/Kalvora.storedata"), ObjectModel::global());
        ASSERT_TRUE(store.ok());
        auto* settings = (*store)->mainContext()->insert<Settings>();
        settings->setXcPointsType(1);
        settings->chooseVarioUnit(0);
        ASSERT_TRUE((*store)->mainContext()->save().ok());
    }
    const QJsonArray flights = list();
    ASSERT_EQ(flights.size(), 2);
    EXPECT_NEAR(flights[1].toObject()[QStringLiteral("xcPoints")].toDouble(), 16, 1e-9);
}

TEST_F(CliList, FailuresGoToStderrWithANonZeroExit)
{
    struct Case
    {
        QStringList args;
        const char* message;
    };
    QFile junk(m_home.filePath(QStringLiteral("junk.kalvora")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a logbook at all, just text that is long enough to look like a header........");
    junk.close();
    const Case cases[] = {
        {{QStringLiteral("list")}, "usage"},
        {{QStringLiteral("list"), m_home.filePath(QStringLiteral("missing.kalvora"))}, "does not exist"},
        {{QStringLiteral("list"), junk.fileName()}, "not a Kalvora data file"},
        {{QStringLiteral("list"), m_home.path()}, "not a file"},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli(c.args, m_env);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.constData();
    }
    EXPECT_FALSE(QFile::exists(m_home.filePath(QStringLiteral("missing.kalvora"))));
}

TEST_F(CliList, AnEmptyLogbookIsAnEmptyArray)
{
    {
        auto store = PersistentStore::open(logbook(), ObjectModel::logBook());
        ASSERT_TRUE(store.ok());
    }
    EXPECT_TRUE(list().isEmpty());
}

} // namespace
} // namespace kalvora::test
