#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "model/flight.h"
#include "model/igcscorepoint.h"
#include "model/pilot.h"
#include "storefixture.h"

namespace kalvora::test {
namespace {

using Op = Predicate::Op;

QDateTime utc(int y, int m, int d, int h, int min, int s = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s), Qt::UTC);
}

class ObjectContextTest : public StoreTest
{
};

TEST_F(ObjectContextTest, ValuesSurviveSaveAndReopen)
{
    auto* f = ctx()->insert<Flight>();
    ASSERT_NE(f, nullptr);
    f->setStartUTC(utc(2024, 6, 1, 10, 15, 30));
    f->setLandingUTC(utc(2024, 6, 1, 12, 0));
    f->setGlider(QStringLiteral("Mentor 7"));
    f->setMaxSpeed(61.25);
    f->setGlidertype(3);
    f->setValidIGC(true);
    f->setIgcData(QStringLiteral("AXXX\nB1015304700000N01100000EA0100001000\n"));
    auto* pilot = ctx()->insert<Pilot>();
    pilot->setFirstname(QStringLiteral("Anna"));
    pilot->setPhoto(QByteArray("\xff\xd8jpeg", 6));
    EXPECT_TRUE(f->objectId().isTemporary());
    ASSERT_TRUE(ctx()->save().ok());
    EXPECT_FALSE(f->objectId().isTemporary());
    const QString uri = f->objectId().uriString();
    EXPECT_TRUE(uri.startsWith(QStringLiteral("x-kalvora://") + m_store->storeId() + QStringLiteral("/Flight/p")));

    reopen();
    auto* back = qobject_cast<Flight*>(ctx()->existingObject(uri));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->startUTC(), utc(2024, 6, 1, 10, 15, 30));
    EXPECT_EQ(back->startUTC().timeSpec(), Qt::UTC);
    EXPECT_EQ(back->glider(), QStringLiteral("Mentor 7"));
    EXPECT_DOUBLE_EQ(back->maxSpeed(), 61.25);
    EXPECT_EQ(back->glidertype(), 3);
    EXPECT_TRUE(back->validIGC());
    EXPECT_TRUE(back->igcData().startsWith(QStringLiteral("AXXX")));
    // Never-set attributes stay absent rather than turning into zeros.
    EXPECT_FALSE(back->hasValue(QStringLiteral("minSpeed")));
    EXPECT_FALSE(back->hasValue(QStringLiteral("notice")));
    auto pilots = ctx()->fetch<Pilot>();
    ASSERT_EQ(pilots.size(), 1);
    EXPECT_EQ(pilots[0]->photo(), QByteArray("\xff\xd8jpeg", 6));
}

TEST_F(ObjectContextTest, DeletedRecordsIdentifierResolvesToNothingAfterRestart)
{
    auto* f = ctx()->insert<Flight>();
    ASSERT_TRUE(ctx()->save().ok());
    const QString uri = f->objectId().uriString();
    ctx()->deleteObject(f);
    ASSERT_TRUE(ctx()->save().ok());
    EXPECT_EQ(ctx()->existingObject(uri), nullptr);
    // A newer record must not inherit the old row and with it the old identifier.
    ctx()->insert<Flight>();
    ASSERT_TRUE(ctx()->save().ok());
    reopen();
    EXPECT_EQ(ctx()->existingObject(uri), nullptr);
}

TEST_F(ObjectContextTest, ForeignAndMalformedIdentifiersResolveToNothing)
{
    auto* f = ctx()->insert<Flight>();
    ASSERT_TRUE(ctx()->save().ok());
    QString other = f->objectId().uriString();
    other.replace(m_store->storeId(), QStringLiteral("00000000-0000-0000-0000-000000000000"));
    for (const QString& uri : {other, QString(), QStringLiteral("x-kalvora://"), QStringLiteral("x-kalvora://a/Flight/q1"),
                               QStringLiteral("x-kalvora://a/Flight/p"), QStringLiteral("http://x/Flight/p1"),
                               QStringLiteral("x-kalvora://") + m_store->storeId() + QStringLiteral("/Nope/p1")})
        EXPECT_EQ(ctx()->existingObject(uri), nullptr) << qPrintable(uri);
}

struct PredicateCase
{
    const char* format;
    QVariantList arguments;
    QStringList expected; // startLocation of the matching flights, in stored order
};

TEST_F(ObjectContextTest, PredicatesMatchExactlyTheRightRecords)
{
    struct Row
    {
        const char* name;
        QVariant free;
    };
    for (const Row& r : {Row{"queued", -2.0}, Row{"fresh", -1.0}, Row{"zero", 0.0}, Row{"scored", 12.5},
                         Row{"absent", QVariant()}}) {
        auto* f = ctx()->insert<Flight>();
        f->setStartLocation(QString::fromLatin1(r.name));
        f->setValue(QStringLiteral("freeDistance"), r.free);
    }
    ASSERT_TRUE(ctx()->save().ok());
    // One unsaved change: fetches must see it.
    auto* pending = ctx()->insert<Flight>();
    pending->setStartLocation(QStringLiteral("pending"));
    pending->setFreeDistance(-2);

    const PredicateCase cases[] = {
        {"(freeDistance < 0)", {}, {"queued", "fresh", "pending"}},
        {"(freeDistance == %@)", {12.5}, {"scored"}},
        {"(freeDistance == %@)", {QVariant()}, {"absent"}},
        {"(freeDistance >= 0)", {}, {"zero", "scored"}},
    };
    for (const PredicateCase& c : cases) {
        auto p = Predicate::parse(QString::fromLatin1(c.format), c.arguments);
        ASSERT_TRUE(p.has_value()) << c.format;
        auto found = ctx()->fetch(FetchRequest{QStringLiteral("Flight"), *p, {}, 0});
        ASSERT_TRUE(found.ok()) << c.format;
        QStringList names;
        for (StoredObject* o : *found)
            names.append(o->stringValue(QStringLiteral("startLocation")));
        EXPECT_EQ(names, c.expected) << c.format;
        auto counted = ctx()->count(FetchRequest{QStringLiteral("Flight"), *p, {}, 0});
        ASSERT_TRUE(counted.ok());
        EXPECT_EQ(*counted, c.expected.size()) << c.format;
    }
}

TEST_F(ObjectContextTest, UnknownKeysAndMalformedPredicatesAreRefused)
{
    EXPECT_FALSE(ctx()->fetch(FetchRequest{QStringLiteral("Flight"),
                                           Predicate::where(QStringLiteral("nope"), Op::Equal, 1), {}, 0})
                     .ok());
    EXPECT_FALSE(ctx()->fetch(FetchRequest{QStringLiteral("Nope"), {}, {}, 0}).ok());
    for (const char* bad : {"", "freeDistance <", "(a == %@)", "(a == 1) OR (b == 2)", "(a == 1); DROP TABLE Flight"})
        EXPECT_FALSE(Predicate::parse(QString::fromLatin1(bad)).has_value()) << bad;
    EXPECT_FALSE(Predicate::parse(QStringLiteral("(a == %@)"), {1, 2}).has_value());
}

TEST_F(ObjectContextTest, ThePredicatesOtherPartsUseAllParse)
{
    auto* f = ctx()->insert<Flight>();
    const struct
    {
        const char* format;
        QVariantList arguments;
        int terms;
    } cases[] = {
        {"(freeDistance < 0)", {}, 1},
        {"(dbID == %@)", {42}, 1},
        {"(latitude == %@) AND (longitude == %@)", {47000000, 11000000}, 2},
        {"(syncOnline == %@) AND (syncStatus== %@)", {1, 0}, 2},
        {"(route == %@)", {objectValue(f)}, 1},
    };
    for (const auto& c : cases) {
        auto p = Predicate::parse(QString::fromLatin1(c.format), c.arguments);
        ASSERT_TRUE(p.has_value()) << c.format;
        EXPECT_EQ(p->terms().size(), c.terms) << c.format;
        EXPECT_EQ(p->terms().last().value, c.arguments.isEmpty() ? QVariant(0LL) : c.arguments.last()) << c.format;
    }
}

TEST_F(ObjectContextTest, RelationshipPredicatesWorkWithRecordsOfAnotherContext)
{
    auto* f = ctx()->insert<Flight>();
    XCData xc{3, 0, 0, {{1, 1}, {2, 2}}};
    f->setXCData(&xc);
    ctx()->insert<Flight>()->setXCData(&xc);
    ASSERT_TRUE(ctx()->save().ok());
    auto other = m_store->newBackgroundContext(); // used on this thread only
    ASSERT_TRUE(other.ok());
    auto found = (*other)->fetch(FetchRequest{QStringLiteral("IGCScorePoint"),
                                              Predicate::where(QStringLiteral("flight"), Op::Equal, objectValue(f)), {}, 0});
    ASSERT_TRUE(found.ok());
    EXPECT_EQ(found->size(), 2);
}

TEST_F(ObjectContextTest, SortOrdersAndCounts)
{
    const double values[] = {5, -1, 30, 5};
    for (int i = 0; i < 4; ++i) {
        auto* f = ctx()->insert<Flight>();
        f->setFreeDistance(values[i]);
        f->setStartLocation(QString::number(i));
    }
    auto* unset = ctx()->insert<Flight>();
    unset->setStartLocation(QStringLiteral("u"));
    ASSERT_TRUE(ctx()->save().ok());
    reopen();
    auto names = [](const QList<Flight*>& flights) {
        QStringList out;
        for (Flight* f : flights)
            out.append(f->startLocation());
        return out;
    };
    const SortDescriptor byFreeDistance{QStringLiteral("freeDistance"), true, false};
    EXPECT_EQ(names(ctx()->fetch<Flight>({}, {byFreeDistance})), (QStringList{"u", "1", "0", "3", "2"}));
    EXPECT_EQ(names(ctx()->fetch<Flight>({}, {{QStringLiteral("freeDistance"), false, false},
                                              {QStringLiteral("startLocation"), false, false}})),
              (QStringList{"2", "3", "0", "1", "u"}));
    EXPECT_EQ(*ctx()->count(FetchRequest{QStringLiteral("Flight"), {}, {}, 0}), 5);
}

TEST_F(ObjectContextTest, ScorePointsFollowTheirFlightAndGoWithIt)
{
    auto* f = ctx()->insert<Flight>();
    XCData xc{20.0, 15.0, 0.0, {{47.1, 11.1}, {47.2, 11.2}, {47.3, 11.3}}};
    f->setXCData(&xc);
    ASSERT_EQ(f->igcScorePoints().size(), 3); // visible before the save
    ASSERT_TRUE(ctx()->save().ok());
    const QString uri = f->objectId().uriString();
    reopen();
    auto* back = qobject_cast<Flight*>(ctx()->existingObject(uri));
    ASSERT_NE(back, nullptr);
    const auto points = back->igcScorePoints();
    ASSERT_EQ(points.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(points[i]->index(), i);
        EXPECT_EQ(points[i]->flight(), back);
    }
    EXPECT_DOUBLE_EQ(points[2]->latitude(), 47.3);

    XCData shorter{5.0, 0.0, 0.0, {{1.0, 2.0}}};
    back->setXCData(&shorter);
    ASSERT_TRUE(ctx()->save().ok());
    EXPECT_EQ(*ctx()->count(FetchRequest{QStringLiteral("IGCScorePoint"), {}, {}, 0}), 1);

    ctx()->deleteObject(back);
    ASSERT_TRUE(ctx()->save().ok());
    EXPECT_EQ(*ctx()->count(FetchRequest{QStringLiteral("IGCScorePoint"), {}, {}, 0}), 0);
}

TEST_F(ObjectContextTest, RollbackForgetsUnsavedWork)
{
    auto* kept = ctx()->insert<Flight>();
    kept->setNotice(QStringLiteral("kept"));
    ASSERT_TRUE(ctx()->save().ok());
    kept->setNotice(QStringLiteral("changed"));
    auto* dropped = ctx()->insert<Flight>();
    ctx()->rollback();
    EXPECT_FALSE(ctx()->hasChanges());
    EXPECT_EQ(kept->notice(), QStringLiteral("kept"));
    EXPECT_TRUE(dropped->isDeleted());
    EXPECT_EQ(ctx()->fetch<Flight>().size(), 1);
}

TEST_F(ObjectContextTest, UndoRestoresAGroupOfAssignments)
{
    auto* f = ctx()->insert<Flight>();
    f->setNotice(QStringLiteral("a"));
    ctx()->beginUndoGroup();
    f->setNotice(QStringLiteral("b"));
    f->setGlider(QStringLiteral("g"));
    ctx()->endUndoGroup();
    ctx()->undo();
    EXPECT_EQ(f->notice(), QStringLiteral("a"));
    EXPECT_FALSE(f->hasValue(QStringLiteral("glider")));
    ctx()->redo();
    EXPECT_EQ(f->notice(), QStringLiteral("b"));
    EXPECT_EQ(f->glider(), QStringLiteral("g"));
}

TEST_F(ObjectContextTest, ValuesAreBoundNotPastedIntoSql)
{
    auto* f = ctx()->insert<Flight>();
    const QString nasty = QStringLiteral("x'); DROP TABLE \"Flight\"; --");
    f->setStartLocation(nasty);
    ASSERT_TRUE(ctx()->save().ok());
    auto found = ctx()->fetch(FetchRequest{QStringLiteral("Flight"),
                                           Predicate::where(QStringLiteral("startLocation"), Op::Equal, nasty), {}, 0});
    ASSERT_TRUE(found.ok());
    EXPECT_EQ(found->size(), 1);
}

TEST_F(ObjectContextTest, LargeValuesAreReadOnDemandAndCanBeReleased)
{
    auto* f = ctx()->insert<Flight>();
    f->setIgcData(QString(100000, QLatin1Char('B')));
    ASSERT_TRUE(ctx()->save().ok());
    const QString uri = f->objectId().uriString();
    reopen();
    auto* back = qobject_cast<Flight*>(ctx()->existingObject(uri));
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(back->isValueLoaded(QStringLiteral("igcData")));
    // Asking whether it is there does not read it.
    EXPECT_TRUE(back->hasValue(QStringLiteral("igcData")));
    EXPECT_FALSE(back->isValueLoaded(QStringLiteral("igcData")));
    EXPECT_EQ(back->igcData().size(), 100000);
    EXPECT_TRUE(back->isValueLoaded(QStringLiteral("igcData")));
    ctx()->releaseLargeValues(back);
    EXPECT_FALSE(back->isValueLoaded(QStringLiteral("igcData")));
    EXPECT_EQ(back->igcData().size(), 100000);
    back->setIgcData(QStringLiteral("changed"));
    ctx()->releaseLargeValues(back); // an unsaved change is not let go
    EXPECT_EQ(back->igcData(), QStringLiteral("changed"));

    auto* without = ctx()->insert<Flight>();
    ASSERT_TRUE(ctx()->save().ok());
    const QString withoutUri = without->objectId().uriString();
    reopen();
    without = qobject_cast<Flight*>(ctx()->existingObject(withoutUri));
    ASSERT_NE(without, nullptr);
    EXPECT_FALSE(without->hasValue(QStringLiteral("igcData")));
}

} // namespace
} // namespace kalvora::test
