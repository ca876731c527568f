// Fuzzes the KML placemark reader.
#include <cstddef>
#include <cstdint>

#include <QByteArray>

#include "fuzz/waypointchecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvora;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto reading = waypointformats::readKml(bytes))
        fuzz::checkReading(*reading);
    return 0;
}
