#pragma once

#include <QString>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "store/storedobject.h"

namespace kalvora {

class RouteWaypoint;

/** How a route scores: the optimiser's result for its fixes. */
struct RouteScore
{
    double distanceKm = 0; ///< the largest of the three distances (0 when the free distance is 0)
    int routeType = 0;     ///< 0 free flight, 1 flat triangle, 2 FAI triangle
    double freeKm = 0;
    double flatKm = 0;
    double faiKm = 0;
    /** The five scoring turnpoints [deg] (latitude, longitude); none when not searched. */
    std::vector<std::pair<double, double>> points;
};

/**
 * A route of the global store: named, ordered entries (RouteWaypoint, ordered
 * by `index`) and how it would score as a cross-country flight. The score is
 * stored: `distance` [km], `routeType` (0 free flight, 1 flat triangle, 2 FAI
 * triangle) and up to five turnpoints [deg], all absent until calcDistance()
 * runs. Used on the thread of its context only.
 */
class Route final : public StoredObject
{
    Q_OBJECT

public:
    static constexpr const char* EntityName = "Route";

    explicit Route(QObject* parent = nullptr);

    QString name() const { return stringValue(QStringLiteral("name")); }
    void setName(const QString& v) { setValue(QStringLiteral("name"), v); }
    std::optional<qint64> routeType() const;
    std::optional<double> distance() const; ///< [km]
    /** The turnpoint K (1..5) as (latitude, longitude) [deg]; 0, 0 for one the score does not have. */
    std::pair<double, double> scorePoint(int k) const;

    /** The entries sorted by `index`; empty when they cannot be fetched. */
    QList<RouteWaypoint*> sortedWaypoints() const;
    /** Adds a new entry at the end (index = number of entries) in the route's context. */
    RouteWaypoint* appendWaypoint(double latitude, double longitude, double altitude, double radius,
                                  const QString& name);

    /**
     * Scores the route: its fixes (fakeIGCLines()) go through the XC optimiser,
     * and `distance`, `routeType` and the five turnpoints are stored. A route
     * without entries scores distance 0, type 0, every turnpoint 0.
     */
    void calcDistance();

    /** The entries as IGC fixes without times, ordered by `index`. */
    std::vector<std::string> fakeIGCLines() const;

    /** `distance` as "%0.2f"; "n/a" while absent. */
    QString distanceString() const;
    /** "Freeflight", "Free ▲", "FAI ▲", "calc"; "n/a" while absent. */
    QString routeTypeString() const;

    /** Scores IGC fixes without times (see calcDistance()). Pure; any thread. */
    static RouteScore score(const std::vector<std::string>& igcLines);

    /** The text for a route type; nullopt stands for "never computed". */
    static QString routeTypeString(std::optional<qint64> type);

protected:
    QVariant derivedValue(const QString& key) const override;
    QStringList derivedKeysAffectedBy(const QString& key) const override;
};

} // namespace kalvora
