// kalvora-cli waypoints read|import|export|list|sync: waypoint files and the waypoints of the global store.

#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>

#include <cmath>
#include <memory>
#include <optional>

#include "cli/command.h"
#include "cli/waypointfileread.h"
#include "model/waypoint.h"
#include "services/httpclient.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "waypoints/placefinderlookup.h"
#include "waypoints/waypointfile.h"
#include "waypoints/waypointimporter.h"
#include "waypoints/waypointsort.h"
#include "waypoints/waypointsync.h"
#include "waypoints/wptimporter.h"

namespace kalvora::cli {
namespace {

const char* const Usage =
    "Usage: kalvora-cli waypoints read FILE [--routes]\n"
    "       kalvora-cli waypoints import FILE... [--duplicates keep|skip] [--no-lookup] [--routes]\n"
    "       kalvora-cli waypoints export FILE.cup|FILE.gpx|FILE.wpt [--name NAME]...\n"
    "       kalvora-cli waypoints list [--near LAT,LON] [--sort name|distance|changed]\n"
    "       kalvora-cli waypoints sync";

std::unique_ptr<PersistentStore> openGlobalStore()
{
    QDir().mkpath(applicationFilesDirectory());
    auto opened = PersistentStore::open(globalStorePath(), ObjectModel::global());
    if (!opened) {
        printError(QStringLiteral("%1: %2").arg(globalStorePath(), QString::fromStdString(opened.error())));
        return nullptr;
    }
    return std::move(*opened);
}

/** Answers every duplicate question the same way, as the command line asked. */
class FixedAnswer final : public DuplicateQuestion
{
public:
    explicit FixedAnswer(int choice) : m_choice(choice) {}
    Answer ask(const QString&, const QString&) override { return {m_choice, true}; }

private:
    int m_choice;
};

int runImport(const QStringList& args)
{
    QStringList files;
    int choice = DuplicateQuestion::SkipChoice;
    bool lookup = true;
    WaypointReadOptions options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--duplicates") && i + 1 < args.size()) {
            const QString v = args[++i];
            if (v == QLatin1String("keep"))
                choice = DuplicateQuestion::KeepChoice;
            else if (v == QLatin1String("skip"))
                choice = DuplicateQuestion::SkipChoice;
            else {
                printError(QStringLiteral("waypoints import: --duplicates takes keep or skip"));
                return 2;
            }
        } else if (args[i] == QLatin1String("--no-lookup")) {
            lookup = false;
        } else if (args[i] == QLatin1String("--routes")) {
            options.routePointsAsWaypoints = true;
        } else if (args[i].startsWith(QLatin1String("--"))) {
            printError(QString::fromLatin1(Usage));
            return 2;
        } else {
            files.append(args[i]);
        }
    }
    if (files.isEmpty()) {
        printError(QString::fromLatin1(Usage));
        return 2;
    }
    std::vector<WaypointRecord> records;
    int skipped = 0;
    for (const QString& path : files) {
        auto reading = readWaypointFile(path, options);
        if (!reading) {
            printError(QString::fromStdString(reading.error()));
            return 1;
        }
        printError(waypointReadingSummary(path, *reading));
        skipped += reading->skipped;
        for (WaypointRecord& r : reading->waypoints)
            records.push_back(std::move(r));
    }
    auto store = openGlobalStore();
    if (!store)
        return 1;

    const qsizetype read = qsizetype(records.size());
    const PlaceFinderLookup places = PlaceFinderLookup::fromSettings(defaultHttpClient());
    PlaceFinderAddressLookup addresses(places);
    FixedAnswer answer(choice);
    WaypointImporter importer(*store, std::move(records), answer, lookup ? &addresses : nullptr);
    QList<ObjectId> inserted;
    if (lookup) {
        // Each address is a network question about a second apart: a long file
        // takes minutes, and the user sees where it stands.
        QObject::connect(&importer, &WaypointImporter::progress, &importer, [](int done, int total) {
            printError(QStringLiteral("waypoints import: %1 of %2 (looking up places; --no-lookup skips that)")
                           .arg(done)
                           .arg(total));
        });
    }
    QEventLoop loop;
    QObject::connect(&importer, &WaypointImporter::finished, &loop, [&](const QList<ObjectId>& ids) {
        inserted = ids;
        loop.quit();
    });
    QMetaObject::invokeMethod(
        &importer, [&] { importer.import(); }, Qt::QueuedConnection);
    loop.exec();
    importer.wait();

    QJsonArray ids;
    for (const ObjectId& id : inserted)
        ids.append(id.uriString());
    printJson(QJsonObject{{"read", read}, {"skipped", skipped}, {"imported", inserted.size()}, {"ids", ids}});
    return 0;
}

int runExport(const QStringList& args)
{
    QString path;
    QStringList names;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--name") && i + 1 < args.size())
            names.append(args[++i]);
        else if (!args[i].startsWith(QLatin1String("--")) && path.isEmpty())
            path = args[i];
        else {
            printError(QString::fromLatin1(Usage));
            return 2;
        }
    }
    if (path.isEmpty()) {
        printError(QString::fromLatin1(Usage));
        return 2;
    }
    const auto format = waypointExportFormat(path);
    if (!format) {
        printError(QStringLiteral("%1: the file type gives the format; use .cup, .gpx or .wpt").arg(path));
        return 2;
    }
    auto store = openGlobalStore();
    if (!store)
        return 1;
    QList<Waypoint*> chosen;
    for (Waypoint* w : store->mainContext()->fetch<Waypoint>({}, {SortDescriptor{QStringLiteral("name")}})) {
        if (names.isEmpty() || names.contains(w->name()) || names.contains(w->shortName()))
            chosen.append(w);
    }
    QList<WptEntry> entries;
    for (const Waypoint* w : chosen)
        entries.append(WPTImporter::entryFromWaypoint(*w));
    if (const auto written = writeWaypointFile(path, *format, entries); !written) {
        printError(QString::fromStdString(written.error()));
        return 1;
    }
    printJson(
        QJsonObject{{"file", path}, {"format", waypointFormatName(*format)}, {"written", chosen.size()}});
    return 0;
}

QJsonObject waypointJson(const Waypoint& w)
{
    QJsonObject o{{"id", w.objectId().uriString()}};
    for (const AttributeDescription& a : w.entity().attributes) {
        const QVariant v = w.value(a.name);
        o.insert(a.name, v.isValid() ? QJsonValue::fromVariant(v) : QJsonValue(QJsonValue::Null));
    }
    for (const char* key : {"doubleLatitude", "doubleLongitude", "minLatitude", "maxLatitude", "minLongitude",
                            "maxLongitude", "size", "distance", "continent", "editable"}) {
        const QVariant v = w.value(QLatin1String(key));
        o.insert(QLatin1String(key), v.isValid() ? QJsonValue::fromVariant(v) : QJsonValue(QJsonValue::Null));
    }
    return o;
}

/** LAT,LON in degrees as a point in microdegrees; nullopt for anything else. */
std::optional<MicroPoint> pointFrom(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return std::nullopt;
    bool okLat = false;
    bool okLon = false;
    const double lat = parts[0].trimmed().toDouble(&okLat);
    const double lon = parts[1].trimmed().toDouble(&okLon);
    if (!okLat || !okLon || !(std::fabs(lat) <= 90) || !(std::fabs(lon) <= 180))
        return std::nullopt;
    return MicroPoint{lat * 1000000.0, lon * 1000000.0};
}

int runList(const QStringList& args)
{
    std::optional<MicroPoint> near;
    std::optional<WaypointSortType> sort;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--near") && i + 1 < args.size()) {
            near = pointFrom(args[++i]);
            if (!near) {
                printError(
                    QStringLiteral("waypoints list: \"%1\" is not a point LAT,LON in degrees").arg(args[i]));
                return 2;
            }
        } else if (args[i] == QLatin1String("--sort") && i + 1 < args.size()) {
            sort = waypointSortTypeFrom(args[++i]);
            if (!sort) {
                printError(QStringLiteral("waypoints list: --sort takes name, distance or changed"));
                return 2;
            }
        } else {
            printError(QString::fromLatin1(Usage));
            return 2;
        }
    }
    if (sort == WaypointSortType::Distance && !near) {
        printError(QStringLiteral("waypoints list: --sort distance needs --near LAT,LON"));
        return 2;
    }
    auto store = openGlobalStore();
    if (!store)
        return 1;
    QList<Waypoint*> waypoints = store->mainContext()->fetch<Waypoint>();
    // Nearest first when a point is given, else by name, as the waypoint window orders them.
    sortWaypoints(waypoints, sort.value_or(near ? WaypointSortType::Distance : WaypointSortType::Name), near);
    QJsonArray out;
    for (const Waypoint* w : waypoints) {
        QJsonObject o = waypointJson(*w);
        if (near)
            o.insert(QStringLiteral("distanceM"), distanceToWaypoint(*near, *w));
        out.append(o);
    }
    printJson(out);
    return 0;
}

int runSync(const QStringList& args)
{
    if (!args.isEmpty()) {
        printError(QString::fromLatin1(Usage));
        return 2;
    }
    auto store = openGlobalStore();
    if (!store)
        return 1;
    WaypointSync sync(*store, defaultHttpClient(), WaypointSync::baseUrlFromSettings());
    int uploaded = 0;
    bool downloaded = false;
    QObject::connect(
        &sync, &WaypointSync::uploadFinished, &sync, [&](int n) { uploaded = n; }, Qt::DirectConnection);
    QObject::connect(
        &sync, &WaypointSync::downloadFinished, &sync, [&](bool ok) { downloaded = ok; },
        Qt::DirectConnection);
    sync.startStartupPasses();
    sync.waitForPasses(-1);
    const qsizetype count = store->mainContext()->fetch<Waypoint>().size();
    printJson(QJsonObject{{"uploaded", uploaded},
                          {"downloaded", downloaded},
                          {"lastWaypointSync", sync.lastWaypointSync()},
                          {"waypoints", count}});
    if (!downloaded) {
        printError(QStringLiteral("waypoints sync: the download from %1 failed; the sync position stays")
                       .arg(WaypointSync::baseUrlFromSettings().toString()));
        return 1;
    }
    return 0;
}

int runWaypoints(const QStringList& args)
{
    const QString sub = args.value(0);
    const QStringList rest = args.mid(1);
    if (sub == QLatin1String("read"))
        return runWaypointFileRead(args, "Usage: kalvora-cli waypoints read FILE [--routes]");
    if (sub == QLatin1String("import"))
        return runImport(rest);
    if (sub == QLatin1String("export"))
        return runExport(rest);
    if (sub == QLatin1String("list"))
        return runList(rest);
    if (sub == QLatin1String("sync"))
        return runSync(rest);
    printError(QString::fromLatin1(Usage));
    return 2;
}

RegisterCommand reg{
    {"waypoints",
     "waypoints read FILE | import FILE... [--duplicates keep|skip] | export FILE.cup|.gpx|.wpt [--name "
     "NAME]... | list [--near LAT,LON] [--sort name|distance|changed] | sync",
     "reads waypoint files (WPT, OziExplorer, CUP, GPX, KML, KMZ); imports, exports, lists and synchronises "
     "the waypoints of the global store",
     &runWaypoints}};

} // namespace
} // namespace kalvora::cli
