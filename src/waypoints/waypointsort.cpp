#include "waypoints/waypointsort.h"

#include <QStringView>

#include <algorithm>
#include <vector>

#include "model/waypoint.h"
#include "track/placefinder.h"
#include "track/vectorstate.h"

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

/**
 * By name ignoring case, then exactly; equal names keep their order. The
 * folded names are laid end to end in one buffer, so that the many
 * comparisons of a sort read neighbouring memory instead of 100 000 texts
 * spread over the heap; each is folded once, not again for every pair.
 */
void sortWaypointsByName(QList<Waypoint*>& waypoints)
{
    struct Entry
    {
        qsizetype start;
        qsizetype length;
        Waypoint* waypoint;
    };
    AttributeReader name(QStringLiteral("name"));
    std::vector<char16_t> folded;
    folded.reserve(size_t(waypoints.size()) * 16);
    std::vector<Entry> entries;
    entries.reserve(size_t(waypoints.size()));
    for (Waypoint* w : waypoints) {
        const QString text = name.string(*w);
        const qsizetype start = qsizetype(folded.size());
        // Most names are ASCII, whose folding is lower case; others fold as Qt folds them.
        bool ascii = true;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u >= 0x80) {
                ascii = false;
                break;
            }
            folded.push_back(u >= u'A' && u <= u'Z' ? char16_t(u + (u'a' - u'A')) : u);
        }
        if (!ascii) {
            folded.resize(size_t(start));
            const QString key = text.toCaseFolded();
            folded.insert(folded.end(), key.utf16(), key.utf16() + key.size());
        }
        entries.push_back({start, qsizetype(folded.size()) - start, w});
    }
    const QStringView keys(folded.data(), qsizetype(folded.size()));
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        const int c = keys.mid(a.start, a.length).compare(keys.mid(b.start, b.length));
        if (c != 0)
            return c < 0;
        return a.waypoint != b.waypoint && name.string(*a.waypoint) < name.string(*b.waypoint);
    });
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
    AttributeReader latitude(QStringLiteral("latitude"));
    AttributeReader longitude(QStringLiteral("longitude"));
    // The AVX-512 copies before this leave the vector unit in a state that makes
    // every sine and cosine of the distances about three times slower.
    clearUpperVectorState();
    sortByKey<qint64>(
        waypoints,
        [&](const Waypoint& w) {
            return PlaceFinder::gpsDistance(from.latitude, from.longitude, double(latitude.integer(w)),
                                            double(longitude.integer(w)));
        },
        [descending](qint64 a, qint64 b) { return descending ? b < a : a < b; });
}

void sortWaypoints(QList<Waypoint*>& waypoints, WaypointSortType type, std::optional<MicroPoint> from)
{
    switch (type) {
    case WaypointSortType::Name:
        sortWaypointsByName(waypoints);
        return;
    case WaypointSortType::Distance:
        sortWaypointsByDistance(waypoints, from.value_or(MicroPoint{}));
        return;
    case WaypointSortType::Changed: {
        AttributeReader lastModified(QStringLiteral("lastModified"));
        sortByKey<double>(
            waypoints, [&](const Waypoint& w) { return lastModified.number(w); },
            [](double a, double b) { return a > b; });
        return;
    }
    }
}

} // namespace kalvora
