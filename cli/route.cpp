// kalvora-cli route score LAT,LON[,ALT] ...: how a route of points scores as an XC flight.

#include <QJsonArray>
#include <QJsonObject>

#include "cli/command.h"
#include "model/route.h"
#include "model/routewaypoint.h"
#include "track/georange.h"

namespace kalvora::cli {
namespace {

int runRoute(const QStringList& args)
{
    if (args.isEmpty() || args.first() != QLatin1String("score")) {
        printError(QStringLiteral("Usage: kalvora-cli route score LAT,LON[,ALT] ..."));
        return 2;
    }
    std::vector<std::string> lines;
    for (const QString& arg : args.mid(1)) {
        const QStringList parts = arg.split(QLatin1Char(','));
        bool okLat = false;
        bool okLon = false;
        bool okAlt = true;
        const double lat = parts.value(0).toDouble(&okLat);
        const double lon = parts.value(1).toDouble(&okLon);
        const double alt = parts.size() > 2 ? parts.at(2).toDouble(&okAlt) : 0.0;
        if (parts.size() < 2 || parts.size() > 3 || !okLat || !okLon || !okAlt || !geo::isLatitude(lat) ||
            !geo::isLongitude(lon) || !geo::isAltitude(alt)) {
            printError(QStringLiteral("route score: \"%1\" is not a point LAT,LON[,ALT]: latitude -90..90 and "
                                      "longitude -180..180 degrees, altitude %2..%3 m")
                           .arg(arg)
                           .arg(geo::minAltitudeM)
                           .arg(geo::maxAltitudeM));
            return 2;
        }
        lines.push_back(RouteWaypoint::igcLineFor(lat, lon, alt));
    }
    const RouteScore score = Route::score(lines);
    QJsonArray points;
    for (const auto& [lat, lon] : score.points)
        points.append(QJsonArray{lat, lon});
    printJson(QJsonObject{{"distanceKm", score.distanceKm},
                          {"routeType", score.routeType},
                          {"routeTypeString", Route::routeTypeString(score.routeType)},
                          {"freeKm", score.freeKm},
                          {"flatKm", score.flatKm},
                          {"faiKm", score.faiKm},
                          {"points", points}});
    return 0;
}

RegisterCommand reg{{"route", "route score LAT,LON[,ALT] ...",
                     "scores a route of points (degrees) as a free flight or triangle", &runRoute}};

} // namespace
} // namespace kalvora::cli
