// kalvora-cli device: the instrument drivers from a terminal.
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimeZone>

#include <memory>
#include <optional>

#include "cli/command.h"
#include "cli/importsetup.h"
#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "store/objectcontext.h"
#include "instruments/devices.h"
#include "instruments/gpsdevice.h"
#include "track/georange.h"

namespace kalvora::cli {
namespace {

constexpr const char* kUsage =
    "device scan|tracks|download NUMBER -o FILE.igc|waypoints|routes|settings|write-waypoint|delete-waypoints|"
    "delete-routes|delete-tracks|import LOGBOOK NUMBER... [--overlap import|replace|skip] [--offline] [--port PATH]";

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

struct Options
{
    QString port;
    QString output;
    QStringList positional;
    QStringList names;
    bool all = false;
    std::optional<double> latitude, longitude, altitude, radius;
    QString name;
    QString overlap = QStringLiteral("skip");
    bool offline = false;
};

std::optional<Options> parseOptions(const QStringList& args)
{
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto next = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        const auto number = [&]() -> std::optional<double> {
            const std::optional<QString> v = next();
            bool ok = false;
            const double d = v ? v->toDouble(&ok) : 0.0;
            return ok ? std::optional<double>(d) : std::nullopt;
        };
        if (a == QLatin1String("--port")) {
            const auto v = next();
            if (!v)
                return std::nullopt;
            o.port = *v;
        } else if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
            const auto v = next();
            if (!v)
                return std::nullopt;
            o.output = *v;
        } else if (a == QLatin1String("--overlap")) {
            const auto v = next();
            if (!v)
                return std::nullopt;
            o.overlap = *v;
        } else if (a == QLatin1String("--offline")) {
            o.offline = true;
        } else if (a == QLatin1String("--all")) {
            o.all = true;
        } else if (a == QLatin1String("--name")) {
            const auto v = next();
            if (!v)
                return std::nullopt;
            o.name = *v;
        } else if (a == QLatin1String("--lat")) {
            if (!(o.latitude = number()))
                return std::nullopt;
        } else if (a == QLatin1String("--lon")) {
            if (!(o.longitude = number()))
                return std::nullopt;
        } else if (a == QLatin1String("--alt")) {
            if (!(o.altitude = number()))
                return std::nullopt;
        } else if (a == QLatin1String("--radius")) {
            if (!(o.radius = number()))
                return std::nullopt;
        } else if (a.startsWith(QLatin1String("--"))) {
            return std::nullopt;
        } else {
            o.positional << a;
        }
    }
    return o;
}

/** The instrument on --port, or the one the scan finds; prints why there is none. */
std::unique_ptr<GpsDevice> findDevice(const Options& o)
{
    Devices devices;
    std::vector<std::string> ports;
    if (!o.port.isEmpty())
        ports.push_back(o.port.toStdString());
    ScanResult result = devices.scan(ports);
    if (!result.device) {
        for (const std::string& problem : result.problems)
            printError(q(problem));
        printError(o.port.isEmpty() ? QStringLiteral("No instrument found.")
                                    : QStringLiteral("No instrument answered on %1.").arg(o.port));
    }
    return std::move(result.device);
}

QJsonObject trackJson(const Track& t)
{
    return QJsonObject{{QStringLiteral("number"), qint64(t.trackNumber)},
                       {QStringLiteral("utcDateTime"), q(isoUtcString(t.utcDateTime))},
                       {QStringLiteral("flightTime"), t.flightTime},
                       {QStringLiteral("durationString"), q(durationString(t))}};
}

QJsonObject waypointJson(const DeviceWayPoint& w)
{
    return QJsonObject{{QStringLiteral("shortName"), q(w.shortName)},
                       {QStringLiteral("latitude"), w.latitude},
                       {QStringLiteral("longitude"), w.longitude},
                       {QStringLiteral("altitude"), w.altitude},
                       {QStringLiteral("radius"), w.radius}};
}

int missing(const char* what)
{
    printError(QStringLiteral("This instrument does not offer %1.").arg(QLatin1String(what)));
    return 1;
}

int reportResult(const Result<Done>& result)
{
    if (!result) {
        printError(q(result.error()));
        return 1;
    }
    printJson(QJsonObject{{QStringLiteral("ok"), true}});
    return 0;
}

/**
 * Downloads the tracks numbered in O into the logbook O.positional[0] through
 * the import the logbook window uses: overlap check by the --overlap answer
 * (default skip, so only new flights come in), each flight derived and
 * inserted in turn, replaced flights deleted only when their replacement
 * became a flight, every new flight scored before the summary is printed.
 */
int importTracks(GpsDevice& device, const Options& o)
{
    if (!device.has(DeviceOperation::TrackList) || !device.has(DeviceOperation::IgcTrack))
        return missing("track downloads");
    const std::vector<Track> onInstrument = device.tracks();
    QList<InstrumentTrack> chosen;
    for (const QString& text : o.positional.mid(1)) {
        const qint64 number = text.toLongLong();
        const auto it = std::find_if(onInstrument.begin(), onInstrument.end(),
                                     [&](const Track& t) { return t.trackNumber == number; });
        if (it == onInstrument.end()) {
            printError(QStringLiteral("The instrument has no track %1.").arg(number));
            return 1;
        }
        Track track = *it;
        InstrumentTrack entry;
        entry.name = q(utcDateString(track)) + QLatin1Char(' ') + q(utcTimeString(track));
        entry.startUTC = QDateTime::fromSecsSinceEpoch(track.utcDateTime.time_since_epoch().count(), QTimeZone::utc());
        entry.flightTimeS = qint64(track.flightTime);
        entry.download = [&device, track]() mutable -> std::optional<QString> {
            if (!device.igcTrack(track) || track.igcData.empty())
                return std::nullopt;
            return QString::fromLatin1(track.igcData.data(), qsizetype(track.igcData.size()));
        };
        chosen.append(entry);
    }

    std::optional<ImportSetup> setup =
        openImportSetup(o.positional.first(), PersistentStore::OpenMode::CreateIfMissing, o.offline);
    if (!setup)
        return 1;
    PersistentStore& logbook = *setup->logbook;
    const OverlapChoice choice = o.overlap == QLatin1String("import")    ? OverlapChoice::ImportAsWell
                                 : o.overlap == QLatin1String("replace") ? OverlapChoice::Replace
                                                                         : OverlapChoice::Skip;
    FixedOverlapAnswer question(choice);
    ImportSummary summary;
    {
        XCQueue queue(logbook);
        FlightImporter importer(logbook, queue, question, setup->services());
        ScoredWait wait(queue);
        QObject::connect(&importer, &FlightImporter::finished, &importer, [&](const ImportSummary& s) {
            summary = s;
            wait.finished();
        });
        importer.startTracks(chosen);
        wait.exec();
    }
    QJsonArray flights;
    for (const ObjectId& id : summary.newFlights)
        if (auto* flight = qobject_cast<Flight*>(logbook.mainContext()->existingObject(id)))
            flights.append(flightSummaryJson(*flight));
    QJsonArray failed;
    for (const ImportFileFailure& failure : summary.failed)
        failed.append(QJsonObject{{QStringLiteral("track"), failure.path}, {QStringLiteral("reason"), failure.reason}});
    printJson(QJsonObject{
        {QStringLiteral("imported"), QJsonArray::fromStringList(summary.imported)},
        {QStringLiteral("skipped"), QJsonArray::fromStringList(summary.skipped)},
        {QStringLiteral("replaced"), summary.replaced},
        {QStringLiteral("failed"), failed},
        {QStringLiteral("flights"), flights},
    });
    return failed.isEmpty() ? 0 : 1;
}

int runDevice(const QStringList& args)
{
    if (args.isEmpty()) {
        printError(QStringLiteral("usage: kalvora-cli %1").arg(QLatin1String(kUsage)));
        return 2;
    }
    const QString sub = args.first();
    const std::optional<Options> parsed = parseOptions(args.mid(1));
    if (!parsed) {
        printError(QStringLiteral("usage: kalvora-cli %1").arg(QLatin1String(kUsage)));
        return 2;
    }
    const Options& o = *parsed;
    static const QStringList known{"scan", "tracks", "download", "waypoints", "routes", "settings",
                                   "write-waypoint", "delete-waypoints", "delete-routes", "delete-tracks",
                                   "import"};
    if (!known.contains(sub)) {
        printError(QStringLiteral("unknown device command: %1").arg(sub));
        return 2;
    }
    if (sub == QLatin1String("download") && (o.positional.size() != 1 || o.output.isEmpty())) {
        printError(QStringLiteral("usage: kalvora-cli device download NUMBER -o FILE.igc [--port PATH]"));
        return 2;
    }
    if (sub == QLatin1String("write-waypoint") && (o.name.isEmpty() || !o.latitude || !o.longitude)) {
        printError(QStringLiteral("usage: kalvora-cli device write-waypoint --name NAME --lat DEG --lon DEG "
                                  "[--alt M] [--radius M] [--port PATH]"));
        return 2;
    }

    if (sub == QLatin1String("import")) {
        const QStringList overlaps{"import", "replace", "skip"};
        if (o.positional.size() < 2 || !overlaps.contains(o.overlap)) {
            printError(QStringLiteral("usage: kalvora-cli device import LOGBOOK NUMBER... "
                                      "[--overlap import|replace|skip] [--offline] [--port PATH]"));
            return 2;
        }
        for (const QString& number : o.positional.mid(1)) {
            bool ok = false;
            number.toLongLong(&ok);
            if (!ok) {
                printError(QStringLiteral("NUMBER must be a track number: %1").arg(number));
                return 2;
            }
        }
    }

    // Checked before any port is opened: an instrument stores whatever it is sent.
    if (sub == QLatin1String("write-waypoint")) {
        QStringList bad;
        if (!geo::isLatitude(*o.latitude))
            bad << QStringLiteral("--lat must be a latitude from -90 to 90 degrees");
        if (!geo::isLongitude(*o.longitude))
            bad << QStringLiteral("--lon must be a longitude from -180 to 180 degrees");
        if (o.altitude && !geo::isAltitude(*o.altitude))
            bad << QStringLiteral("--alt must be an altitude from %1 to %2 m").arg(geo::minAltitudeM).arg(geo::maxAltitudeM);
        if (o.radius && !geo::isRadius(*o.radius))
            bad << QStringLiteral("--radius must be from 0 to %1 m").arg(geo::maxRadiusM);
        if (!bad.isEmpty()) {
            printError(bad.join(QLatin1Char('\n')));
            return 2;
        }
    }

    std::unique_ptr<GpsDevice> device = findDevice(o);
    if (!device)
        return 1;

    if (sub == QLatin1String("scan")) {
        printJson(QJsonObject{{QStringLiteral("name"), q(device->name())},
                              {QStringLiteral("port"), q(device->portPath())},
                              {QStringLiteral("driver"), q(device->driverId())}});
        return 0;
    }
    if (sub == QLatin1String("tracks")) {
        if (!device->has(DeviceOperation::TrackList))
            return missing("a track list");
        QJsonArray out;
        for (const Track& t : device->tracks())
            out.append(trackJson(t));
        printJson(out);
        return 0;
    }
    if (sub == QLatin1String("download")) {
        bool ok = false;
        const qint64 number = o.positional.first().toLongLong(&ok);
        if (!ok) {
            printError(QStringLiteral("NUMBER must be a track number: %1").arg(o.positional.first()));
            return 2;
        }
        // Drivers address tracks by more than the number (Flymaster: the start time),
        // so the track comes from the instrument's own list.
        std::vector<Track> tracks = device->tracks();
        auto it = std::find_if(tracks.begin(), tracks.end(), [&](const Track& t) { return t.trackNumber == number; });
        if (it == tracks.end()) {
            printError(QStringLiteral("The instrument has no track %1.").arg(number));
            return 1;
        }
        Track track = *it;
        if (!device->igcTrack(track) || track.igcData.empty()) {
            printError(QStringLiteral("The track %1 could not be downloaded.").arg(number));
            return 1;
        }
        QFile file(o.output);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(track.igcData.data(), qint64(track.igcData.size())) != qint64(track.igcData.size()) ||
            !file.flush()) {
            printError(QStringLiteral("Cannot write %1: %2").arg(o.output, file.errorString()));
            return 1;
        }
        QJsonObject out = trackJson(track);
        out.insert(QStringLiteral("file"), o.output);
        out.insert(QStringLiteral("bytes"), qint64(track.igcData.size()));
        printJson(out);
        return 0;
    }
    if (sub == QLatin1String("import"))
        return importTracks(*device, o);
    if (sub == QLatin1String("waypoints")) {
        if (!device->has(DeviceOperation::WaypointList))
            return missing("a waypoint list");
        QJsonArray out;
        for (const DeviceWayPoint& w : device->waypoints())
            out.append(waypointJson(w));
        printJson(out);
        return 0;
    }
    if (sub == QLatin1String("routes")) {
        if (!device->has(DeviceOperation::RouteList))
            return missing("a route list");
        const std::optional<std::vector<DeviceRoute>> routes = device->routes();
        if (!routes) {
            printError(QStringLiteral("The instrument's route list could not be read."));
            return 1;
        }
        QJsonArray out;
        for (const DeviceRoute& r : *routes) {
            QJsonArray points;
            for (const DeviceWayPoint& w : r.waypoints)
                points.append(q(w.shortName));
            out.append(QJsonObject{{QStringLiteral("name"), q(r.name)}, {QStringLiteral("waypoints"), points}});
        }
        printJson(out);
        return 0;
    }
    if (sub == QLatin1String("settings")) {
        if (!device->has(DeviceOperation::GetSettings))
            return missing("settings");
        if (!device->readSettings()) {
            printError(QStringLiteral("The instrument's settings could not be read."));
            return 1;
        }
        QJsonObject out;
        for (const DeviceSetting& s : device->settingsValues()) {
            if (const double* d = std::get_if<double>(&s.value))
                out.insert(q(s.key), *d);
            else
                out.insert(q(s.key), q(std::get<std::string>(s.value)));
        }
        printJson(out);
        return 0;
    }
    if (sub == QLatin1String("write-waypoint")) {
        if (!device->has(DeviceOperation::WriteWaypoint))
            return missing("waypoint writing");
        DeviceWayPoint w;
        w.shortName = o.name.toStdString();
        w.latitude = *o.latitude;
        w.longitude = *o.longitude;
        w.altitude = w.gpsaltitude = o.altitude.value_or(0.0);
        w.radius = o.radius.value_or(0.0);
        return reportResult(device->writeWaypoint(w));
    }
    if (sub == QLatin1String("delete-waypoints")) {
        if (o.all) {
            if (!device->has(DeviceOperation::DeleteAllWaypoints))
                return missing("deleting all waypoints");
            return reportResult(device->deleteAllWaypoints());
        }
        if (o.positional.isEmpty()) {
            printError(QStringLiteral("usage: kalvora-cli device delete-waypoints --all | NAME... [--port PATH]"));
            return 2;
        }
        if (!device->has(DeviceOperation::DeleteWaypoints))
            return missing("deleting single waypoints");
        // The instrument's own records, so that names match exactly (padding included).
        std::vector<DeviceWayPoint> chosen;
        for (const DeviceWayPoint& w : device->waypoints())
            if (o.positional.contains(q(w.shortName).trimmed()))
                chosen.push_back(w);
        if (chosen.empty()) {
            printError(QStringLiteral("None of these waypoints is on the instrument."));
            return 1;
        }
        return reportResult(device->deleteWaypoints(chosen));
    }
    if (sub == QLatin1String("delete-routes")) {
        if (!device->has(DeviceOperation::DeleteRoutes) && !device->has(DeviceOperation::DeleteAllRoutes))
            return missing("deleting routes");
        const std::vector<DeviceRoute> routes = device->routes().value_or(std::vector<DeviceRoute>{});
        if (o.all && device->has(DeviceOperation::DeleteAllRoutes))
            return reportResult(device->deleteAllRoutes());
        std::vector<DeviceRoute> chosen;
        for (const DeviceRoute& r : routes)
            if (o.all || o.positional.contains(q(r.name).trimmed()))
                chosen.push_back(r);
        if (chosen.empty()) {
            printError(QStringLiteral("No such route on the instrument."));
            return 1;
        }
        return reportResult(device->deleteRoutes(chosen));
    }
    if (sub == QLatin1String("delete-tracks")) {
        if (!device->has(DeviceOperation::DeleteAllTracks))
            return missing("deleting tracks");
        return reportResult(device->deleteAllTracks());
    }
    return 2;
}

RegisterCommand reg{{"device", kUsage, "find the connected flight instrument and read, write or delete its data",
                     &runDevice}};

} // namespace
} // namespace kalvora::cli
