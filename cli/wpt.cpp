// kalvora-cli wpt read FILE: the waypoints of a WPT file as a JSON array.

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "cli/command.h"
#include "waypoints/wptimporter.h"

namespace kalvora::cli {
namespace {

int runWpt(const QStringList& args)
{
    if (args.size() != 2 || args.first() != QLatin1String("read")) {
        printError(QStringLiteral("Usage: kalvora-cli wpt read FILE"));
        return 2;
    }
    const QString path = args.at(1);
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        printError(QStringLiteral("%1: cannot read the file").arg(path));
        return 1;
    }
    QJsonArray out;
    for (const WaypointRecord& r : WPTImporter(path).getDeviceWaypoints()) {
        out.append(QJsonObject{{"shortName", r.shortName},
                               {"latitude", r.latitude},
                               {"longitude", r.longitude},
                               {"altitude", r.altitude},
                               {"gpsaltitude", r.gpsaltitude},
                               {"radius", r.radius}});
    }
    printJson(out);
    return 0;
}

RegisterCommand reg{{"wpt", "wpt read FILE", "the waypoints of a WPT file as JSON records", &runWpt}};

} // namespace
} // namespace kalvora::cli
