#include "cli/waypointfileread.h"

#include <QJsonArray>
#include <QJsonObject>

#include "cli/command.h"
#include "waypoints/waypointfile.h"

namespace kalvora::cli {

int runWaypointFileRead(const QStringList& args, const char* usage)
{
    const auto usageError = [usage] {
        printError(QString::fromLatin1(usage));
        return 2;
    };
    if (args.value(0) != QLatin1String("read"))
        return usageError();
    WaypointReadOptions options;
    QString path;
    for (const QString& arg : args.mid(1)) {
        if (arg == QLatin1String("--routes"))
            options.routePointsAsWaypoints = true;
        else if (arg.startsWith(QLatin1String("--")) || !path.isEmpty())
            return usageError();
        else
            path = arg;
    }
    if (path.isEmpty())
        return usageError();
    const auto reading = readWaypointFile(path, options);
    if (!reading) {
        printError(QString::fromStdString(reading.error()));
        return 1;
    }
    QJsonArray out;
    for (const WaypointRecord& r : reading->waypoints) {
        out.append(QJsonObject{{"shortName", r.shortName},
                               {"latitude", r.latitude},
                               {"longitude", r.longitude},
                               {"altitude", r.altitude},
                               {"gpsaltitude", r.gpsaltitude},
                               {"radius", r.radius}});
    }
    printJson(out);
    QString summary = waypointReadingSummary(path, *reading);
    if (reading->routePointsNotRead > 0)
        summary += QStringLiteral(" (--routes reads them)");
    printError(summary);
    return 0;
}

} // namespace kalvora::cli
