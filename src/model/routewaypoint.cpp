#include "model/routewaypoint.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/route.h"
#include "model/waypoint.h"
#include "store/notificationcenter.h"
#include "track/placefinder.h"

namespace kalvora {
namespace {

const bool registered = registerRecordClass<RouteWaypoint>();

} // namespace

RouteWaypoint::RouteWaypoint(QObject* parent) : StoredObject(parent)
{
    (void)registered;
}

Route* RouteWaypoint::route() const
{
    return qobject_cast<Route*>(relatedObject(QStringLiteral("route")));
}

void RouteWaypoint::setRoute(Route* route)
{
    setRelatedObject(QStringLiteral("route"), route);
}

Waypoint* RouteWaypoint::waypoint() const
{
    return qobject_cast<Waypoint*>(relatedObject(QStringLiteral("waypoint")));
}

QString RouteWaypoint::shortenedName(const QString& name)
{
    if (name.size() <= MaxNameLength)
        return name;
    const qsizetype underscore = name.lastIndexOf(QLatin1Char('_'));
    if (underscore < 0)
        return name.left(MaxNameLength);
    const QString tail = name.mid(underscore);
    // A tail that cannot fit by itself: keep the head, as for a name without "_".
    if (tail.size() >= MaxNameLength)
        return name.left(MaxNameLength);
    return name.left(MaxNameLength - tail.size()) + tail;
}

void RouteWaypoint::setNewName(const QString& name)
{
    setName(shortenedName(name));
}

std::string RouteWaypoint::igcLine() const
{
    return igcLineFor(latitude(), longitude(), altitude());
}

std::string RouteWaypoint::igcLineFor(double latitude, double longitude, double alt)
{
    // The altitude fields hold five characters; the scoring does not read them.
    const long long a = std::isfinite(alt) ? static_cast<long long>(std::clamp(alt, -9999.0, 99999.0)) : 0;
    char altitudes[32];
    std::snprintf(altitudes, sizeof altitudes, "%05lld%05lld", a, a);
    return "B000000" + PlaceFinder::igcStringFromLatitude(latitude) +
           PlaceFinder::igcStringFromLongitude(longitude) + "A" + altitudes;
}

void RouteWaypoint::didChangeValue(const QString& key, const QVariant& oldValue, const QVariant& newValue)
{
    StoredObject::didChangeValue(key, oldValue, newValue);
    if (isRefreshing())
        return;
    if (key == QLatin1String("radius") || key == QLatin1String("latitude") ||
        key == QLatin1String("longitude"))
        NotificationCenter::instance().post(QLatin1String(notifications::RouteWaypointChange), this);
    // Either coordinate moves the point; a score kept after a longitude change alone would be wrong.
    if (key == QLatin1String("latitude") || key == QLatin1String("longitude")) {
        if (Route* r = route())
            r->calcDistance();
    }
}

QVariant RouteWaypoint::derivedValue(const QString& key) const
{
    if (key == QLatin1String("newName"))
        return name();
    if (key == QLatin1String("igcLine"))
        return QString::fromStdString(igcLine());
    return StoredObject::derivedValue(key);
}

} // namespace kalvora
