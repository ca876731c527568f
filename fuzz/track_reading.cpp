// libFuzzer target over the IGC readers and the flight analysis: any bytes must
// give a result or nothing, never a crash, a sanitizer report or a hang.
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
    const auto lines = kalvora::IGC::getICGLines(text);
    for (const std::string_view line : lines) {
        if (const auto fix = kalvora::IGCPoint::igcPointWithIGCLine(line, 0))
            (void)fix->getTime();
        (void)kalvora::IGC::dateFromHeaderLine(line);
        (void)kalvora::PlaceFinder::latitudeFromString(line);
    }
    (void)kalvora::IGC::getTrackFromIGCData(text);
    (void)kalvora::IGC::getWaypoints(text, true);
    if (const auto flight = kalvora::IGCFlight::flightFromIGC(text, 0, true)) {
        (void)flight->startUTC();
        (void)flight->landingUTC();
    }
    return 0;
}
