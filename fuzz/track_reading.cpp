// libFuzzer target over the IGC readers and the flight analysis: any bytes must
// give a result or nothing, never a crash, a sanitizer report or a hang. Each
// input goes through one group of readers, picked by its length, so that an
// input costs one pass over the text rather than four.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "track/igc.h"
#include "track/igcflight.h"
#include "track/igcpoint.h"
#include "track/placefinder.h"
#include "track/securityrecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    switch (size % 4) {
    case 0:
        for (const std::string_view line : kalvora::IGC::getICGLines(text)) {
            if (const auto fix = kalvora::IGCPoint::igcPointWithIGCLine(line, 0))
                (void)fix->getTime();
            (void)kalvora::IGC::dateFromHeaderLine(line);
            (void)kalvora::PlaceFinder::latitudeFromString(line);
        }
        break;
    case 1:
        (void)kalvora::IGC::getTrackFromIGCData(text);
        break;
    case 2:
        // With gap filling: up to one entry per second of the day, so an input
        // whose times jump costs that many entries.
        (void)kalvora::IGC::getWaypoints(text, true);
        break;
    default:
        if (const auto flight = kalvora::IGCFlight::flightFromIGC(text, 0, true)) {
            (void)flight->startUTC();
            (void)flight->landingUTC();
        }
        break;
    }
    return 0;
}
