#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "storefixture.h"

namespace kalvora::test {
namespace {

/** Every attribute of every entity is found at its own position, whatever its name hashes to. */
void expectEveryNameFound(const ObjectModel& model)
{
    for (const EntityDescription& e : model.entities) {
        for (qsizetype i = 0; i < e.attributes.size(); ++i) {
            EXPECT_EQ(e.attributeIndex(e.attributes[i].name), i) << qPrintable(e.name + "." + e.attributes[i].name);
            EXPECT_EQ(e.attribute(e.attributes[i].name), &e.attributes[i]);
        }
        // Names that differ only a little from real ones must not be taken for them.
        auto searched = [&e](const QString& key) -> qsizetype {
            for (qsizetype i = 0; i < e.attributes.size(); ++i)
                if (e.attributes[i].name == key)
                    return i;
            return -1;
        };
        for (const AttributeDescription& a : e.attributes)
            for (const QString& near : {a.name.toUpper(), a.name + QLatin1Char('x'), a.name.chopped(1)})
                EXPECT_EQ(e.attributeIndex(near), searched(near)) << qPrintable(near);
        EXPECT_EQ(e.attributeIndex(QString()), -1);
        EXPECT_EQ(e.attribute(QStringLiteral("noSuchAttribute")), nullptr);
    }
}

TEST(AttributeLookup, FindsEveryAttributeOfBothModels)
{
    expectEveryNameFound(ObjectModel::logBook());
    expectEveryNameFound(ObjectModel::global());
    const EntityDescription* waypoint = ObjectModel::global().entity(QStringLiteral("Waypoint"));
    ASSERT_NE(waypoint, nullptr);
    EXPECT_EQ(waypoint->attributeIndex(QStringLiteral("inGPSList")), waypoint->attributes.size() - 1);
    // A relationship is no attribute.
    EXPECT_EQ(waypoint->attributeIndex(QStringLiteral("routeWaypoint")), -1);
}

TEST(AttributeLookup, NameAddedAfterIndexingIsFound)
{
    EntityDescription e;
    e.name = QStringLiteral("Thing");
    e.attributes = {{QStringLiteral("a"), AttributeType::String, false}, {QStringLiteral("b"), AttributeType::Double, false}};
    e.indexNames();
    e.attributes.append({QStringLiteral("c"), AttributeType::Integer, false});
    EXPECT_EQ(e.attributeIndex(QStringLiteral("c")), 2);
    e.indexNames();
    EXPECT_EQ(e.attributeIndex(QStringLiteral("a")), 0);
    EXPECT_EQ(e.attributeIndex(QStringLiteral("c")), 2);
    EXPECT_EQ(e.attributeIndex(QStringLiteral("d")), -1);
}

TEST(AttributeLookup, FirstOfEqualNamesWins)
{
    EntityDescription e;
    e.attributes = {{QStringLiteral("x"), AttributeType::String, false},
                    {QStringLiteral("y"), AttributeType::String, false},
                    {QStringLiteral("x"), AttributeType::Double, false}};
    e.indexNames();
    EXPECT_EQ(e.attributeIndex(QStringLiteral("x")), 0);
    EXPECT_EQ(e.attributeIndex(QStringLiteral("y")), 1);
}

/** Values kept by position: each attribute keeps its own value, absent ones stay absent, across a reread. */
class AttributeValuesTest : public StoreTest
{
};

TEST_F(AttributeValuesTest, EachAttributeKeepsItsOwnValueThroughSaveAndReread)
{
    StoredObject* flight = ctx()->insertObject(QStringLiteral("Flight"));
    ASSERT_NE(flight, nullptr);
    EXPECT_FALSE(flight->value(QStringLiteral("glider")).isValid());
    flight->setValue(QStringLiteral("glider"), QStringLiteral("Delta 4"));
    flight->setValue(QStringLiteral("harness"), QStringLiteral("Lightness"));
    flight->setValue(QStringLiteral("maxAltitude"), 2875.5);
    flight->setValue(QStringLiteral("glidertype"), 3);
    flight->setValue(QStringLiteral("faiDistance"), 41.25);
    flight->setValue(QStringLiteral("harness"), QVariant()); // absent again
    ASSERT_TRUE(ctx()->save().ok());

    reopen();
    auto all = ctx()->fetch(FetchRequest{QStringLiteral("Flight"), {}, {}, 0});
    ASSERT_TRUE(all.ok());
    ASSERT_EQ(all->size(), 1);
    StoredObject* read = all->first();
    EXPECT_EQ(read->stringValue(QStringLiteral("glider")), QStringLiteral("Delta 4"));
    EXPECT_FALSE(read->value(QStringLiteral("harness")).isValid());
    EXPECT_DOUBLE_EQ(read->doubleValue(QStringLiteral("maxAltitude")), 2875.5);
    EXPECT_EQ(read->integerValue(QStringLiteral("glidertype")), 3);
    EXPECT_DOUBLE_EQ(read->doubleValue(QStringLiteral("faiDistance")), 41.25);
    EXPECT_FALSE(read->value(QStringLiteral("minAltitude")).isValid());
    EXPECT_FALSE(read->value(QStringLiteral("noSuchKey")).isValid());
    // An unknown key is not stored anywhere.
    read->setValue(QStringLiteral("noSuchKey"), 5);
    EXPECT_FALSE(read->value(QStringLiteral("noSuchKey")).isValid());
    EXPECT_FALSE(read->hasChanges());
}

// Files written by other programs (or by hand) may keep a value in another
// storage class than ours; it reads as it always did, converted to the
// attribute's type.
TEST_F(AttributeValuesTest, ValuesKeptInAnotherFormReadAsTheAttributesType)
{
    StoredObject* flight = ctx()->insertObject(QStringLiteral("Flight"));
    flight->setValue(QStringLiteral("glider"), QStringLiteral("Delta 4"));
    ASSERT_TRUE(ctx()->save().ok());
    const qint64 row = flight->objectId().key();
    m_store.reset();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("byHand"));
        db.setDatabaseName(path());
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE Flight SET glidertype = '12', maxAltitude = 3, glider = 42, "
                                          "harness = X'4142', validIGC = 2, startUTC = 1700000000, "
                                          "faiDistance = 'far' WHERE Z_PK = %1")
                               .arg(row)))
            << q.lastError().text().toStdString();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("byHand"));

    reopen();
    auto all = ctx()->fetch(FetchRequest{QStringLiteral("Flight"), {}, {}, 0});
    ASSERT_TRUE(all.ok());
    ASSERT_EQ(all->size(), 1);
    const StoredObject* read = all->first();
    EXPECT_EQ(read->value(QStringLiteral("glidertype")), QVariant(qint64(12)));
    EXPECT_EQ(read->value(QStringLiteral("maxAltitude")), QVariant(3.0));
    EXPECT_EQ(read->value(QStringLiteral("glider")), QVariant(QStringLiteral("42")));
    EXPECT_EQ(read->value(QStringLiteral("harness")), QVariant(QStringLiteral("AB")));
    EXPECT_EQ(read->value(QStringLiteral("validIGC")), QVariant(true));
    EXPECT_EQ(read->dateValue(QStringLiteral("startUTC")),
              QDateTime::fromMSecsSinceEpoch(1700000000000LL, Qt::UTC));
    EXPECT_EQ(read->value(QStringLiteral("faiDistance")), QVariant(0.0));
    EXPECT_TRUE(ctx()->readError().isEmpty());
}

// A reader goes over many records of mixed entities (a key sits at another
// position in each) and gives what each record's own typed reads give,
// unsaved changes, absent values and large values read on demand included.
TEST_F(AttributeValuesTest, AReaderGivesWhatEachRecordsTypedReadsGive)
{
    auto global = PersistentStore::open(m_dir.filePath(QStringLiteral("global.storedata")), ObjectModel::global());
    ASSERT_TRUE(global.ok());
    ObjectContext* other = (*global)->mainContext();
    StoredObject* waypoint = other->insertObject(QStringLiteral("Waypoint"));
    waypoint->setValue(QStringLiteral("name"), QStringLiteral("Hohe Salve"));
    waypoint->setValue(QStringLiteral("notice"), QStringLiteral("windy"));
    waypoint->setValue(QStringLiteral("altitude"), 1829);
    waypoint->setValue(QStringLiteral("lastModified"), 1.5e9);
    StoredObject* route = other->insertObject(QStringLiteral("Route"));
    route->setValue(QStringLiteral("name"), QStringLiteral("Triangle"));
    StoredObject* equipment = other->insertObject(QStringLiteral("Equipment"));
    equipment->setValue(QStringLiteral("notice"), QStringLiteral("new lines"));
    StoredObject* empty = other->insertObject(QStringLiteral("Waypoint"));
    ASSERT_TRUE(other->save().ok());
    waypoint->setValue(QStringLiteral("name"), QStringLiteral("Hohe Salve Nord")); // not saved
    StoredObject detached;

    const QList<const StoredObject*> records{waypoint, route, equipment, empty, &detached, waypoint};
    for (const char* key : {"name", "notice", "altitude", "lastModified", "noSuchKey"}) {
        AttributeReader reader{QLatin1String(key)};
        for (const StoredObject* r : records) {
            EXPECT_EQ(reader.string(*r), r->stringValue(QLatin1String(key))) << key;
            EXPECT_EQ(reader.integer(*r), r->integerValue(QLatin1String(key))) << key;
            EXPECT_EQ(reader.number(*r), r->doubleValue(QLatin1String(key))) << key;
        }
    }
    EXPECT_EQ(AttributeReader(QStringLiteral("name")).string(*waypoint), QStringLiteral("Hohe Salve Nord"));
    global->reset();

    reopen();
    StoredObject* flight = ctx()->insertObject(QStringLiteral("Flight"));
    flight->setValue(QStringLiteral("igcData"), QStringLiteral("B1200"));
    ASSERT_TRUE(ctx()->save().ok());
    const QString uri = flight->objectId().uriString();
    reopen();
    flight = ctx()->existingObject(uri);
    ASSERT_NE(flight, nullptr);
    ASSERT_FALSE(flight->isValueLoaded(QStringLiteral("igcData")));
    EXPECT_EQ(AttributeReader(QStringLiteral("igcData")).string(*flight), QStringLiteral("B1200"));
}

} // namespace
} // namespace kalvora::test
