#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "model/waypoint.h"
#include "storefixture.h"
#include "waypoints/waypointsort.h"

using namespace kalvora;
using kalvora::test::GlobalStoreTest;

namespace {

/** The name order by its definition: case folded first, then exactly; equal names keep their order. */
QList<Waypoint*> byNameAsDefined(QList<Waypoint*> waypoints)
{
    std::stable_sort(waypoints.begin(), waypoints.end(), [](const Waypoint* a, const Waypoint* b) {
        return std::pair(a->name().toCaseFolded(), a->name()) < std::pair(b->name().toCaseFolded(), b->name());
    });
    return waypoints;
}

} // namespace

// Names that fold alike, names beyond ASCII, an empty name and two equal
// names, one of them renamed and not saved yet: the list sorts what it shows.
TEST_F(GlobalStoreTest, NameOrderFoldsCaseThenComparesExactlyAndKeepsEqualNamesInTheirOrder)
{
    QList<Waypoint*> waypoints;
    for (const char* name : {"bravo", "Alpha", "alpha", "ALPHA", "\u00c4rger", "\u00e4rger", "Zulu", "", "alpha",
                             "Stra\u00dfe", "STRASSE", "\u00e9clair", "Eclair", "\u0391\u03b8\u03ae\u03bd\u03b1",
                             "alp", "alpha2"})
        waypoints << addWaypoint(QString::fromUtf8(name), 47000000, 11000000);
    waypoints[6]->setName(QStringLiteral("aLpHa")); // Zulu, renamed in the form
    // Stored in another order than they were made.
    std::reverse(waypoints.begin(), waypoints.end());

    QList<Waypoint*> sorted = waypoints;
    sortWaypoints(sorted, WaypointSortType::Name);
    EXPECT_EQ(sorted, byNameAsDefined(waypoints));
    QStringList names;
    for (const Waypoint* w : sorted)
        names << w->name();
    EXPECT_EQ(names.mid(0, 7), (QStringList{"", "alp", "ALPHA", "Alpha", "aLpHa", "alpha", "alpha"}));
    // The two equal names keep the order they came in.
    const qsizetype first = sorted.indexOf(waypoints[7]);
    const qsizetype second = sorted.indexOf(waypoints[13]);
    ASSERT_EQ(waypoints[7]->name(), waypoints[13]->name());
    EXPECT_LT(first, second);
}

TEST_F(GlobalStoreTest, DistanceAndChangeOrdersReadTheCurrentValues)
{
    Waypoint* far = addWaypoint(QStringLiteral("Far"), 48000000, 11000000);
    Waypoint* near = addWaypoint(QStringLiteral("Near"), 47010000, 11000000);
    Waypoint* tieA = addWaypoint(QStringLiteral("Tie A"), 47100000, 11000000);
    Waypoint* tieB = addWaypoint(QStringLiteral("Tie B"), 47100000, 11000000);
    Waypoint* moved = addWaypoint(QStringLiteral("Moved"), 49000000, 11000000);
    moved->setLatitude(47000000); // on the reference point now, not saved
    const MicroPoint from{47000000, 11000000};

    QList<Waypoint*> list{far, tieB, near, moved, tieA};
    sortWaypoints(list, WaypointSortType::Distance, from);
    EXPECT_EQ(list, (QList<Waypoint*>{moved, near, tieB, tieA, far}));
    sortWaypointsByDistance(list, from, true);
    EXPECT_EQ(list, (QList<Waypoint*>{far, tieB, tieA, near, moved}));
    // Without a point the order measures from 0, 0.
    sortWaypoints(list, WaypointSortType::Distance);
    EXPECT_EQ(list.first(), moved);

    far->setValue(QStringLiteral("lastModified"), 300.0);
    near->setValue(QStringLiteral("lastModified"), 100.0);
    tieA->setValue(QStringLiteral("lastModified"), 200.0);
    tieB->setValue(QStringLiteral("lastModified"), 200.0);
    moved->setValue(QStringLiteral("lastModified"), 400.0);
    list = {near, tieB, far, tieA, moved};
    sortWaypoints(list, WaypointSortType::Changed);
    EXPECT_EQ(list, (QList<Waypoint*>{moved, far, tieB, tieA, near}));
}
