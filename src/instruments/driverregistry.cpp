// The drivers the scan knows, in the order it tries them. Each instrument family
// adds its entry here (a static library drops self-registering objects nobody
// refers to, so the list is explicit).
#include "instruments/braeuniger/braeuniger.h"
#include "instruments/devices.h"

namespace kalvora {

const std::vector<SerialDriverEntry>& serialDrivers()
{
    // Every port hears the Flymaster identification first, then the Bräuniger
    // one, then the Flytec one.
    static const std::vector<SerialDriverEntry> drivers{
        {"braeuniger", &Braeuniger::open},
    };
    return drivers;
}

const std::vector<VolumeDriverEntry>& volumeDrivers()
{
    static const std::vector<VolumeDriverEntry> drivers{};
    return drivers;
}

} // namespace kalvora
