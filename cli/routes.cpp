// kalvora-cli routes list|show ID: the routes of the global store as stored.

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <memory>

#include "cli/command.h"
#include "model/route.h"
#include "model/routewaypoint.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::cli {
namespace {

const char* const Usage = "Usage: kalvora-cli routes list\n"
                          "       kalvora-cli routes show ID";

std::unique_ptr<PersistentStore> openStore()
{
    QDir().mkpath(applicationFilesDirectory());
    auto opened = PersistentStore::open(globalStorePath(), ObjectModel::global());
    if (!opened) {
        printError(QStringLiteral("%1: %2").arg(globalStorePath(), QString::fromStdString(opened.error())));
        return nullptr;
    }
    return std::move(*opened);
}

QJsonValue optionalNumber(const QVariant& v)
{
    return v.isValid() ? QJsonValue::fromVariant(v) : QJsonValue(QJsonValue::Null);
}

/** The stored figures of ROUTE; scoring is left to the window and `route score`. */
QJsonObject routeJson(const Route& route, qsizetype points)
{
    return QJsonObject{{"id", route.objectId().uriString()},
                       {"name", route.name()},
                       {"routeType", optionalNumber(route.value(QStringLiteral("routeType")))},
                       {"routeTypeString", route.routeTypeString()},
                       {"distance", optionalNumber(route.value(QStringLiteral("distance")))},
                       {"distanceString", route.distanceString()},
                       {"points", points}};
}

QList<Route*> routesByName(ObjectContext& context)
{
    QList<Route*> routes = context.fetch<Route>();
    std::stable_sort(routes.begin(), routes.end(), [](const Route* a, const Route* b) {
        return a->name().compare(b->name(), Qt::CaseInsensitive) < 0;
    });
    return routes;
}

int runList(ObjectContext& context)
{
    QJsonArray out;
    for (const Route* r : routesByName(context))
        out.append(routeJson(*r, r->sortedWaypoints().size()));
    printJson(out);
    return 0;
}

int runShow(ObjectContext& context, const QString& id)
{
    auto* route = qobject_cast<Route*>(context.existingObject(id));
    if (!route) {
        printError(QStringLiteral("routes show: no route has the identifier %1 (see routes list)").arg(id));
        return 1;
    }
    const QList<RouteWaypoint*> entries = route->sortedWaypoints();
    QJsonObject o = routeJson(*route, entries.size());
    QJsonArray turnpoints;
    for (int k = 1; k <= 5; ++k) {
        const auto [lat, lon] = route->scorePoint(k);
        turnpoints.append(QJsonArray{lat, lon});
    }
    o.insert(QStringLiteral("scorePoints"), turnpoints);
    QJsonArray points;
    for (const RouteWaypoint* e : entries)
        points.append(QJsonObject{{"index", e->index()},
                                  {"name", e->name()},
                                  {"latitude", e->latitude()},
                                  {"longitude", e->longitude()},
                                  {"altitude", e->altitude()},
                                  {"radius", e->radius()},
                                  {"igcLine", QString::fromStdString(e->igcLine())}});
    o.insert(QStringLiteral("entries"), points);
    printJson(o);
    return 0;
}

int runRoutes(const QStringList& args)
{
    const QString sub = args.value(0);
    const bool list = sub == QLatin1String("list") && args.size() == 1;
    const bool show = sub == QLatin1String("show") && args.size() == 2;
    if (!list && !show) {
        printError(QString::fromLatin1(Usage));
        return 2;
    }
    auto store = openStore();
    if (!store)
        return 1;
    return list ? runList(*store->mainContext()) : runShow(*store->mainContext(), args.at(1));
}

RegisterCommand reg{{"routes", "routes list | show ID",
                     "lists the routes of the global store, or shows one route's points in order",
                     &runRoutes}};

} // namespace
} // namespace kalvora::cli
