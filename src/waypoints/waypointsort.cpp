#include "waypoints/waypointsort.h"

#include <algorithm>
#include <vector>

#include "model/waypoint.h"
#include "track/placefinder.h"

namespace kalvora {
namespace {

/** Sorts WAYPOINTS by keys read once each; LESS compares two keys. */
template <typename Key, typename ReadKey, typename Less>
void sortByKey(QList<Waypoint*>& waypoints, ReadKey readKey, Less less)
{
    struct Entry
    {
        Key key;
        Waypoint* waypoint;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(waypoints.size()));
    for (Waypoint* w : waypoints)
        entries.push_back({readKey(*w), w});
    std::stable_sort(entries.begin(), entries.end(),
                     [&less](const Entry& a, const Entry& b) { return less(a.key, b.key); });
    for (qsizetype i = 0; i < waypoints.size(); ++i)
        waypoints[i] = entries[size_t(i)].waypoint;
}

} // namespace

std::optional<WaypointSortType> waypointSortTypeFrom(int number)
{
    switch (number) {
    case 0:
        return WaypointSortType::Name;
    case 1:
        return WaypointSortType::Distance;
    case 2:
        return WaypointSortType::Changed;
    default:
        return std::nullopt;
    }
}

std::optional<WaypointSortType> waypointSortTypeFrom(const QString& word)
{
    if (word == QLatin1String("name"))
        return WaypointSortType::Name;
    if (word == QLatin1String("distance"))
        return WaypointSortType::Distance;
    if (word == QLatin1String("changed"))
        return WaypointSortType::Changed;
    return std::nullopt;
}

qint64 distanceToWaypoint(const MicroPoint& from, const Waypoint& waypoint)
{
    return PlaceFinder::gpsDistance(from.latitude, from.longitude, double(waypoint.latitude()),
                                    double(waypoint.longitude()));
}

void sortWaypointsByDistance(QList<Waypoint*>& waypoints, const MicroPoint& from, bool descending)
{
    sortByKey<qint64>(
        waypoints, [&from](const Waypoint& w) { return distanceToWaypoint(from, w); },
        [descending](qint64 a, qint64 b) { return descending ? b < a : a < b; });
}

void sortWaypoints(QList<Waypoint*>& waypoints, WaypointSortType type, std::optional<MicroPoint> from)
{
    switch (type) {
    case WaypointSortType::Name:
        // Folded once per waypoint: comparing folded texts is a plain comparison, many times cheaper than a
        // case-insensitive one made again for every pair the sort looks at.
        sortByKey<std::pair<QString, QString>>(
            waypoints,
            [](const Waypoint& w) {
                QString name = w.name();
                return std::pair{name.toCaseFolded(), name};
            },
            [](const std::pair<QString, QString>& a, const std::pair<QString, QString>& b) { return a < b; });
        return;
    case WaypointSortType::Distance:
        sortWaypointsByDistance(waypoints, from.value_or(MicroPoint{}));
        return;
    case WaypointSortType::Changed:
        sortByKey<double>(
            waypoints, [](const Waypoint& w) { return w.lastModified(); },
            [](double a, double b) { return a > b; });
        return;
    }
}

} // namespace kalvora
