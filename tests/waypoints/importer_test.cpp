#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QThread>

#include <deque>

#include "model/waypoint.h"
#include "storefixture.h"
#include "track/placefinder.h"
#include "waypoints/addresslookup.h"
#include "waypoints/waypointimporter.h"

using namespace kalvora;
using kalvora::test::GlobalStoreTest;

namespace {

/** Answers from a script and records what was asked. */
class ScriptedQuestion final : public DuplicateQuestion
{
public:
    std::deque<Answer> answers;
    QStringList asked;
    Answer ask(const QString& newName, const QString& existingName) override
    {
        asked.append(newName + QLatin1String(" ~ ") + existingName);
        if (answers.empty())
            return {CancelChoice, false};
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
};

class FixedAddress final : public WaypointAddressLookup
{
public:
    std::optional<WaypointAddress> lookup(double, double) override
    {
        ++calls;
        return WaypointAddress{QStringLiteral("Söll"), QStringLiteral("Kufstein"), QStringLiteral("Tirol"),
                               QStringLiteral("Austria")};
    }
    std::atomic<int> calls{0};
};

/** An address service as slow as a network one, so that a run can be stopped halfway. */
class SlowAddress final : public WaypointAddressLookup
{
public:
    std::optional<WaypointAddress> lookup(double, double) override
    {
        QThread::msleep(20);
        return std::nullopt;
    }
};

constexpr qint64 BaseLat = 47000000;
constexpr qint64 BaseLon = 11000000;

/** The north offset [1e-6 deg] from the base point that lies exactly METRES away. */
qint64 offsetFor(qint64 metres)
{
    for (qint64 d = 0; d < 10000; ++d) {
        if (PlaceFinder::gpsDistance(BaseLat, BaseLon, double(BaseLat + d), BaseLon) == metres)
            return d;
    }
    return -1;
}

WaypointRecord recordAt(const QString& name, qint64 latMicro, qint64 lonMicro)
{
    // A little above the whole micro-degree, so that truncation lands on it.
    return WaypointRecord{name, (double(latMicro) + 0.3) / 1e6, (double(lonMicro) + 0.3) / 1e6, 100, 120, 0};
}

class ImporterTest : public GlobalStoreTest
{
protected:
    QList<ObjectId> run(std::vector<WaypointRecord> records, ScriptedQuestion& question)
    {
        WaypointImporter importer(*m_store, std::move(records), question, &address);
        QSignalSpy finished(&importer, &WaypointImporter::finished);
        importer.import();
        EXPECT_TRUE(finished.count() == 1 || finished.wait(20000));
        EXPECT_TRUE(importer.wait(20000));
        return finished.isEmpty() ? QList<ObjectId>() : finished.first().first().value<QList<ObjectId>>();
    }
    qsizetype stored() { return main().fetch<Waypoint>().size(); }

    FixedAddress address;
};

} // namespace

TEST_F(ImporterTest, DuplicatesAreWithin250Metres)
{
    const qint64 at250 = offsetFor(250);
    const qint64 at251 = offsetFor(251);
    ASSERT_GT(at250, 0);
    ASSERT_GT(at251, 0);
    EXPECT_EQ(WaypointImporter::waypointIntersects(main(), BaseLat, BaseLon), nullptr);
    addWaypoint(QStringLiteral("Stored"), BaseLat, BaseLon);

    ScriptedQuestion question;
    question.answers = {{DuplicateQuestion::KeepChoice, false}};
    const auto ids = run({recordAt(QStringLiteral("Near"), BaseLat + at250, BaseLon),
                          recordAt(QStringLiteral("Far"), BaseLat + at251, BaseLon)},
                         question);
    EXPECT_EQ(question.asked, QStringList{QStringLiteral("Near ~ Stored")});
    EXPECT_EQ(ids.size(), 2);
    EXPECT_EQ(stored(), 3);
}

TEST_F(ImporterTest, ChoicesAndApplyToAll)
{
    addWaypoint(QStringLiteral("Stored"), BaseLat, BaseLon);
    const auto dup = [](const char* name) {
        return recordAt(QString::fromLatin1(name), BaseLat + 10, BaseLon);
    };
    const WaypointRecord fresh = recordAt(QStringLiteral("Fresh"), BaseLat + 100000, BaseLon);

    struct Case
    {
        const char* what;
        std::deque<DuplicateQuestion::Answer> answers;
        int asked;
        int inserted;
    } cases[] = {
        {"skip each", {{3, false}, {3, false}, {3, false}}, 3, 1},
        {"skip all after one question", {{3, true}}, 1, 1},
        {"keep all after one question", {{1, true}}, 1, 4},
        {"choice 2 keeps too", {{2, false}, {3, false}, {1, false}}, 3, 3},
        {"cancel imports nothing", {{3, false}, {0, false}}, 2, 0},
        {"unknown choice cancels", {{9, true}}, 1, 0},
    };
    for (const Case& c : cases) {
        const qsizetype before = stored();
        ScriptedQuestion question;
        question.answers = c.answers;
        const auto ids = run({dup("a"), fresh, dup("b"), dup("c")}, question);
        EXPECT_EQ(question.asked.size(), c.asked) << c.what;
        EXPECT_EQ(ids.size(), c.inserted) << c.what;
        EXPECT_EQ(stored() - before, c.inserted) << c.what;
        // Clean up so each case meets the same store.
        for (const ObjectId& id : ids)
            main().deleteObject(main().existingObject(id));
        ASSERT_TRUE(main().save().ok());
    }
}

TEST_F(ImporterTest, EqualRecordsWithoutStoredNeighboursAreBothImported)
{
    ScriptedQuestion question;
    const auto ids = run({recordAt(QStringLiteral("Twin"), BaseLat, BaseLon),
                          recordAt(QStringLiteral("Twin"), BaseLat, BaseLon)},
                         question);
    EXPECT_TRUE(question.asked.isEmpty());
    EXPECT_EQ(ids.size(), 2);
}

TEST_F(ImporterTest, InsertedWaypointsCarryTheRecordAndTheAddressAndReachTheMainContext)
{
    ScriptedQuestion question;
    WaypointRecord r{QStringLiteral("  Hohe Salve\n"), -33.5000003, 151.2500009, 1000, 1829.9, 400.7};
    const double before = Waypoint::now();
    const auto ids = run({r}, question);
    ASSERT_EQ(ids.size(), 1);
    EXPECT_FALSE(ids.first().isTemporary());

    auto* w = qobject_cast<Waypoint*>(main().existingObject(ids.first()));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->name(), QStringLiteral("Hohe Salve"));
    EXPECT_EQ(w->shortName(), QStringLiteral("  Hohe Salve\n"));
    EXPECT_EQ(w->latitude(), -33500000);
    EXPECT_EQ(w->longitude(), 151250000);
    EXPECT_EQ(w->altitude(), 1829);
    EXPECT_EQ(w->radius(), 400);
    EXPECT_EQ(w->city(), QStringLiteral("Söll"));
    EXPECT_EQ(w->county(), QStringLiteral("Kufstein"));
    EXPECT_EQ(w->state(), QStringLiteral("Tirol"));
    EXPECT_EQ(w->country(), QStringLiteral("Austria"));
    EXPECT_EQ(w->street(), QString());
    EXPECT_EQ(w->syncOnline(), 0);
    EXPECT_FALSE(w->dbID().has_value());
    EXPECT_GE(w->lastModified(), before);
    EXPECT_EQ(address.calls, 1);
}

TEST_F(ImporterTest, DuplicatesAreFoundInEveryDirectionAtAnyLatitude)
{
    // Only waypoints near the new one are read; near the poles a degree of longitude
    // is short and near the date line the neighbours' longitudes change sign.
    struct Place
    {
        const char* name;
        qint64 lat;
        qint64 lon;
    };
    const Place places[] = {{"Alps", 47000000, 11000000},       {"Equator", 100, -100},
                            {"Lapland", 69500000, 25000000},    {"SouthPole", -89990000, 45000000},
                            {"Dateline", -17000000, 179999900}, {"OtherSide", 65000000, -179999950}};
    // The longitude offset that lies METRES east of a place (bisection: distance grows with it).
    auto eastOffset = [](qint64 lat, qint64 lon, qint64 metres) {
        qint64 lo = 0;
        qint64 hi = 90000000;
        while (lo < hi) {
            const qint64 mid = (lo + hi) / 2;
            if (PlaceFinder::gpsDistance(double(lat), double(lon), double(lat), double(lon + mid)) < metres)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    auto wrap = [](qint64 lon) { return lon > 180000000 ? lon - 360000000 : (lon < -180000000 ? lon + 360000000 : lon); };
    for (const Place& p : places) {
        SCOPED_TRACE(p.name);
        addWaypoint(QString::fromLatin1(p.name), p.lat, p.lon);
        const qint64 near = eastOffset(p.lat, p.lon, 240);
        const qint64 far = eastOffset(p.lat, p.lon, 260);
        for (const qint64 sign : {1, -1}) {
            Waypoint* found = WaypointImporter::waypointIntersects(main(), p.lat, wrap(p.lon + sign * near));
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(found->name(), QString::fromLatin1(p.name));
            EXPECT_EQ(WaypointImporter::waypointIntersects(main(), p.lat, wrap(p.lon + sign * far)), nullptr);
        }
        const qint64 north = std::min<qint64>(offsetFor(240), 90000000 - p.lat);
        EXPECT_NE(WaypointImporter::waypointIntersects(main(), p.lat + (p.lat > 0 ? -north : north), p.lon), nullptr);
    }
}

TEST_F(ImporterTest, StoppingKeepsWhatWasInserted)
{
    ScriptedQuestion question;
    std::vector<WaypointRecord> many;
    for (int i = 0; i < 50; ++i)
        many.push_back(recordAt(QStringLiteral("P%1").arg(i), BaseLat + i * 100000, BaseLon));
    SlowAddress slow;
    WaypointImporter importer(*m_store, many, question, &slow);
    QSignalSpy finished(&importer, &WaypointImporter::finished);
    QObject::connect(&importer, &WaypointImporter::progress, &importer, [&](int done, int) {
        if (done >= 3)
            importer.stop();
    });
    importer.import();
    ASSERT_TRUE(finished.wait(20000));
    const auto ids = finished.first().first().value<QList<ObjectId>>();
    EXPECT_GE(ids.size(), 3);
    EXPECT_LT(ids.size(), 50);
    EXPECT_EQ(stored(), ids.size());
}
