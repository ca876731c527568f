// Fuzzes the SeeYou CUP reader, and its writer with what was read: the
// written file must read back to as many waypoints, none skipped.
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
    const QString text = waypointformats::decodeText(bytes);
    if (!text.isEmpty())
        (void)waypointformats::looksLikeSeeYouCup(QStringView(text).left(4096));
    const waypointformats::Reading reading = waypointformats::readSeeYouCup(text);
    fuzz::checkReading(reading);

    QList<WptEntry> entries;
    for (const WaypointRecord& r : reading.waypoints)
        entries.append(WptEntry{r.shortName, r.shortName, qint64(r.latitude * 1e6), qint64(r.longitude * 1e6),
                                qint64(std::trunc(r.altitude))});
    const waypointformats::Reading back =
        waypointformats::readSeeYouCup(QString::fromUtf8(waypointformats::writeSeeYouCup(entries)));
    if (back.waypoints.size() != reading.waypoints.size() || back.skipped != 0)
        std::abort();
    return 0;
}
