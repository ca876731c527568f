#include <gtest/gtest.h>

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

} // namespace
} // namespace kalvora::test
