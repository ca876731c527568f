#include "model/route.h"

#include <algorithm>

#include "model/routewaypoint.h"
#include "store/objectcontext.h"
#include "track/igcflight.h"
#include "track/igcscrore.h"

namespace kalvora {
namespace {

const bool registered = registerRecordClass<Route>();

QString latitudeKey(int k)
{
    return QStringLiteral("scorePoint%1Latitude").arg(k);
}

QString longitudeKey(int k)
{
    return QStringLiteral("scorePoint%1Longitude").arg(k);
}

} // namespace

Route::Route(QObject* parent) : StoredObject(parent)
{
    (void)registered;
}

std::optional<qint64> Route::routeType() const
{
    const QVariant v = value(QStringLiteral("routeType"));
    if (!v.isValid())
        return std::nullopt;
    return v.toLongLong();
}

std::optional<double> Route::distance() const
{
    const QVariant v = value(QStringLiteral("distance"));
    if (!v.isValid())
        return std::nullopt;
    return v.toDouble();
}

std::pair<double, double> Route::scorePoint(int k) const
{
    return {doubleValue(latitudeKey(k)), doubleValue(longitudeKey(k))};
}

QList<RouteWaypoint*> Route::sortedWaypoints() const
{
    QList<RouteWaypoint*> entries;
    ObjectContext* ctx = context();
    if (!ctx)
        return entries;
    auto predicate =
        Predicate::parse(QStringLiteral("(route == %@)"), {objectValue(const_cast<Route*>(this))});
    if (!predicate)
        return entries;
    entries = ctx->fetch<RouteWaypoint>(*predicate);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const RouteWaypoint* a, const RouteWaypoint* b) { return a->index() < b->index(); });
    return entries;
}

RouteWaypoint* Route::appendWaypoint(double latitude, double longitude, double altitude, double radius,
                                     const QString& name)
{
    ObjectContext* ctx = context();
    if (!ctx)
        return nullptr;
    const qsizetype count = sortedWaypoints().size();
    auto* entry = ctx->insert<RouteWaypoint>();
    if (!entry)
        return nullptr;
    entry->setIndex(count);
    entry->setAltitude(altitude);
    entry->setRadius(radius);
    entry->setNewName(name);
    entry->setLongitude(longitude);
    entry->setRoute(this);
    // Last, so that the score computed on the latitude change sees the whole entry.
    entry->setLatitude(latitude);
    return entry;
}

std::vector<std::string> Route::fakeIGCLines() const
{
    std::vector<std::string> lines;
    for (const RouteWaypoint* entry : sortedWaypoints())
        lines.push_back(entry->igcLine());
    return lines;
}

RouteScore Route::score(const std::vector<std::string>& igcLines)
{
    RouteScore result;
    // The fixes carry no times; the optimiser spaces them 10 s apart, as for any timeless track.
    const Result<IGCFlight> scored = IGCScrore::scoreRoute(igcLines);
    if (!scored)
        return result;
    const IGCFlight& flight = *scored;
    result.freeKm = flight.freeDistance;
    result.flatKm = flight.flatDistance;
    result.faiKm = flight.faiDistance;
    result.distanceKm = IGCScrore::maxDistance(flight.freeDistance, flight.flatDistance, flight.faiDistance);
    result.routeType = IGCScrore::scoreType(flight.freeDistance, flight.flatDistance, flight.faiDistance);
    for (const XCScorePoint& p : flight.scorePoints)
        result.points.emplace_back(p.latitude, p.longitude);
    return result;
}

void Route::calcDistance()
{
    const RouteScore s = score(fakeIGCLines());
    setValue(QStringLiteral("distance"), s.distanceKm);
    setValue(QStringLiteral("routeType"), qint64(s.routeType));
    for (int k = 1; k <= 5; ++k) {
        const bool have = qsizetype(s.points.size()) >= k;
        setValue(latitudeKey(k), have ? s.points[size_t(k - 1)].first : 0.0);
        setValue(longitudeKey(k), have ? s.points[size_t(k - 1)].second : 0.0);
    }
}

QString Route::distanceString() const
{
    const auto d = distance();
    if (!d)
        return QStringLiteral("n/a");
    return QString::asprintf("%0.2f", *d);
}

QString Route::routeTypeString() const
{
    return routeTypeString(routeType());
}

QString Route::routeTypeString(std::optional<qint64> type)
{
    if (!type)
        return QStringLiteral("n/a");
    switch (*type) {
    case 1:
        return QStringLiteral("Free \u25B2");
    case 2:
        return QStringLiteral("FAI \u25B2");
    case 3:
        return QStringLiteral("calc");
    default:
        return QStringLiteral("Freeflight");
    }
}

QVariant Route::derivedValue(const QString& key) const
{
    if (key == QLatin1String("distanceString"))
        return distanceString();
    if (key == QLatin1String("routeTypeString"))
        return routeTypeString();
    if (key == QLatin1String("calcDistance")) {
        // Reading the value scores the route, as list columns bound to it expect.
        const_cast<Route*>(this)->calcDistance();
        return distance().value_or(0);
    }
    return StoredObject::derivedValue(key);
}

QStringList Route::derivedKeysAffectedBy(const QString& key) const
{
    if (key == QLatin1String("distance"))
        return {QStringLiteral("distanceString")};
    if (key == QLatin1String("routeType"))
        return {QStringLiteral("routeTypeString")};
    return StoredObject::derivedKeysAffectedBy(key);
}

} // namespace kalvora
