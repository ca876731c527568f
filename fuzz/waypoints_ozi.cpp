// Fuzzes the OziExplorer waypoint file reader with any text in any of the
// encodings it accepts.
#include <cstddef>
#include <cstdint>

#include <QByteArray>

#include "fuzz/waypointchecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvora;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto reading = waypointformats::readOziExplorer(waypointformats::decodeText(bytes)))
        fuzz::checkReading(*reading);
    return 0;
}
