// Fuzzes the waypoint file front end: whatever the bytes, the format it tells
// is the one it read, and what it read, written again as CUP, GPX or WPT, is
// told apart as that format and reads back to as many waypoints.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QList>

#include <cmath>

#include "fuzz/waypointchecks.h"
#include "track/georange.h"
#include "waypoints/waypointfile.h"
#include "waypoints/wptimporter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvora;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto format = detectWaypointFormat(bytes);
    const auto reading = readWaypointData(bytes, QStringLiteral("fuzz"), WaypointReadOptions{size % 2 == 0});
    if (!reading)
        return 0;
    if (!format || reading->format != *format || reading->skipped < 0)
        std::abort();

    QList<WptEntry> entries;
    for (const WaypointRecord& r : reading->waypoints) {
        // The WPT dialect's reader hands out what its lines say; the others only places on the globe.
        const bool onGlobe =
            std::fabs(r.latitude) <= 90 && std::fabs(r.longitude) <= 180 && std::fabs(r.altitude) <= 20000;
        if (!onGlobe && reading->format != WaypointFileFormat::Wpt)
            std::abort();
        // Written back are the places every writer can carry: the WPT dialect refuses altitudes
        // outside the range of real places.
        if (onGlobe && geo::isAltitude(r.altitude))
            entries.append(WptEntry{r.shortName, r.shortName, qint64(r.latitude * 1e6),
                                    qint64(r.longitude * 1e6), qint64(std::trunc(r.altitude))});
    }
    // One writer per input, picked by its length: an input costs one round trip, not three.
    constexpr WaypointFileFormat writers[] = {WaypointFileFormat::SeeYouCup, WaypointFileFormat::Gpx,
                                              WaypointFileFormat::Wpt};
    const WaypointFileFormat written = writers[size % 3];
    const auto back = readWaypointData(*waypointFileBytes(written, entries), QStringLiteral("fuzz"));
    if (!back || back->format != written || back->skipped != 0 ||
        back->waypoints.size() != size_t(entries.size()))
        std::abort();
    return 0;
}
