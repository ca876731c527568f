// Fuzzes the GPX reader (waypoints and route points), and its writer with
// what was read: the written file must read back to as many waypoints.
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QList>

#include <cmath>

#include "fuzz/waypointchecks.h"
#include "waypoints/wptimporter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvora;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto reading = waypointformats::readGpx(bytes, size % 2 == 0);
    if (!reading)
        return 0;
    fuzz::checkReading(*reading);

    QList<WptEntry> entries;
    for (const WaypointRecord& r : reading->waypoints)
        entries.append(WptEntry{r.shortName, r.shortName, qint64(r.latitude * 1e6), qint64(r.longitude * 1e6),
                                qint64(std::trunc(r.altitude))});
    const auto back = waypointformats::readGpx(waypointformats::writeGpx(entries), false);
    if (!back || back->waypoints.size() != reading->waypoints.size() || back->skipped != 0)
        std::abort();
    return 0;
}
