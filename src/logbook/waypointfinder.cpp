#include "logbook/waypointfinder.h"

#include "store/objectcontext.h"
#include "store/storedobject.h"
#include "track/placefinder.h"

namespace kalvora {

QList<StoredPlace> WaypointListFinder::readStoredPlaces(ObjectContext& context)
{
    QList<StoredPlace> places;
    const auto found = context.fetch(FetchRequest{QStringLiteral("Waypoint"), {}, {}, 0});
    if (!found)
        return places;
    for (const StoredObject* waypoint : *found) {
        places.append({waypoint->stringValue(QStringLiteral("name")), waypoint->stringValue(QStringLiteral("country")),
                       waypoint->integerValue(QStringLiteral("latitude")),
                       waypoint->integerValue(QStringLiteral("longitude"))});
    }
    return places;
}

std::optional<std::pair<StoredPlace, qint64>> WaypointListFinder::nearest(qint64 latitudeE6, qint64 longitudeE6) const
{
    std::optional<std::pair<StoredPlace, qint64>> best;
    for (const StoredPlace& place : m_places) {
        const qint64 distance = PlaceFinder::gpsDistance(static_cast<double>(latitudeE6), static_cast<double>(longitudeE6),
                                                         static_cast<double>(place.latitudeE6),
                                                         static_cast<double>(place.longitudeE6));
        if (!best || distance < best->second)
            best = std::pair{place, distance};
    }
    return best;
}

} // namespace kalvora
