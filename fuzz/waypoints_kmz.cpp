// Fuzzes the KMZ reader: any bytes handed to the zip library must give the
// archive's KML (never more than the cap) or a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "fuzz/waypointchecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvora;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto kml = waypointformats::kmlFromKmz(bytes);
    if (!kml)
        return 0;
    if (kml->size() > waypointformats::maxKmlBytes)
        std::abort();
    if (const auto reading = waypointformats::readKml(*kml))
        fuzz::checkReading(*reading);
    return 0;
}
