#include "waypoints/waypointfiles.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "waypoints/wptimporter.h"

namespace kalvora {
namespace {

struct WaypointFileKind
{
    const char* description;
    const char* suffix; ///< lower case, without the dot
    std::vector<WaypointRecord> (*read)(const QString& path);
};

std::vector<WaypointRecord> readWpt(const QString& path)
{
    return WPTImporter(path).getDeviceWaypoints();
}

const WaypointFileKind kKinds[] = {
    {QT_TRANSLATE_NOOP("WaypointFiles", "WPT files"), "wpt", &readWpt},
};

QString patternsFor(const WaypointFileKind& kind)
{
    const QString suffix = QString::fromLatin1(kind.suffix);
    return QStringLiteral("*.%1 *.%2").arg(suffix, suffix.toUpper());
}

} // namespace

QStringList waypointFileNameFilters()
{
    QStringList all;
    QStringList filters;
    for (const WaypointFileKind& kind : kKinds) {
        all << patternsFor(kind);
        filters << QStringLiteral("%1 (%2)").arg(
            QCoreApplication::translate("WaypointFiles", kind.description), patternsFor(kind));
    }
    if (filters.size() > 1)
        filters.prepend(QStringLiteral("%1 (%2)").arg(
            QCoreApplication::translate("WaypointFiles", "Waypoint files"), all.join(QLatin1Char(' '))));
    return filters;
}

std::vector<WaypointRecord> readWaypointFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const WaypointFileKind& kind : kKinds) {
        if (suffix == QLatin1String(kind.suffix))
            return kind.read(path);
    }
    return {};
}

} // namespace kalvora
