// Fuzzes the place finder's reading of the reverse-geocoding and time-zone
// answers (tags found without an XML parser, entities decoded).
#include <cstddef>
#include <cstdint>

#include <QByteArray>

#include "waypoints/placefinderlookup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvora;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    PlaceLookupResult result;
    PlaceFinderLookup::readAnswer(bytes, result);
    return 0;
}
