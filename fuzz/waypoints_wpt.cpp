// Fuzzes the WPT reader (datum line, unit line, "W" lines) with any bytes:
// waypoints or none, never a crash, a sanitizer report or a hang.
#include <cstddef>
#include <cstdint>

#include <QByteArray>

#include "waypoints/wptimporter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvora;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const WaypointRecord& record : WPTImporter::parseWptText(bytes))
        (void)WPTImporter::latitudeStringFromCoord(record.latitude);
    return 0;
}
