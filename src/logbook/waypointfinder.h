#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kalvora {

class ObjectContext;

/** A stored waypoint as the flight derivation uses it; coordinates as stored [1e-6 deg]. */
struct StoredPlace
{
    QString name;
    QString country;
    qint64 latitudeE6 = 0;
    qint64 longitudeE6 = 0;
    bool operator==(const StoredPlace&) const = default;
};

/** Finds the stored waypoint nearest to a point. */
class WaypointFinder
{
public:
    virtual ~WaypointFinder() = default;
    /**
     * The nearest waypoint to (latitudeE6, longitudeE6) [1e-6 deg] and its
     * distance [m] (great circle, whole metres); nullopt without waypoints.
     */
    virtual std::optional<std::pair<StoredPlace, qint64>> nearest(qint64 latitudeE6, qint64 longitudeE6) const = 0;
};

/** A WaypointFinder over a list read once; any thread. */
class WaypointListFinder final : public WaypointFinder
{
public:
    explicit WaypointListFinder(QList<StoredPlace> places) : m_places(std::move(places)) {}

    /**
     * The waypoints of the global store reachable through CONTEXT (entity
     * "Waypoint": name, country, latitude, longitude); empty when it cannot be read.
     * CONTEXT's thread.
     */
    [[nodiscard]] static QList<StoredPlace> readStoredPlaces(ObjectContext& context);

    std::optional<std::pair<StoredPlace, qint64>> nearest(qint64 latitudeE6, qint64 longitudeE6) const override;
    qsizetype size() const { return m_places.size(); }

private:
    QList<StoredPlace> m_places;
};

} // namespace kalvora
