// Fuzzes the readers of "$PBR" answers: whatever bytes an instrument (or a noisy
// line) sends must give records or nothing, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "instruments/braeuniger/braeunigerparser.h"
#include "instruments/coordinateparser.h"

using namespace kalvora;
using namespace kalvora::braeuniger;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    (void)parseIdentification(answer);
    (void)parseTrackList(splitAtHead(answer, "$PBRTLE,"));
    (void)parseTrackList(splitAtHead(answer, "$PBRTL,"));
    const std::vector<DeviceRoute> noRoutes;
    (void)parseWaypointList(splitAtHead(answer, "$PBRWPS,"), noRoutes);
    std::vector<DeviceRoute> finished;
    if (const auto routes = parseRouteList(splitAtHead(answer, "$PBRRTS,"), finished))
        (void)parseWaypointList(splitAtHead(answer, "$PBRWPSE,"), *routes);
    for (unsigned address : {0u, 0x48u, 0x210u})
        (void)parseMemoryAnswer(answer, address);
    (void)looksLikeCompleteIgc(answer);
    (void)coordinateE6FromString(answer);
    (void)leadingNumber(answer);
    (void)leadingInteger(answer);
    return 0;
}
