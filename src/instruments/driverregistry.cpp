// The drivers the scan knows, in the order it tries them. Each instrument family
// adds its entry here (a static library drops self-registering objects nobody
// refers to, so the list is explicit).
#include "instruments/braeuniger/braeuniger.h"
#include "instruments/devices.h"
#include "instruments/flymaster/flymaster.h"
#include "instruments/flytec/flytec.h"
#include "instruments/skytraxx/skytraxx.h"

namespace kalvora {

const std::vector<SerialDriverEntry>& serialDrivers()
{
    // Every port hears the Flymaster identification first, then the Bräuniger
    // one, then the Flytec one.
    static const std::vector<SerialDriverEntry> drivers{
        {"flymaster", &Flymaster::open},
        {"braeuniger", &Braeuniger::open},
        {"flytec", &Flytec::open},
    };
    return drivers;
}

const std::vector<VolumeDriverEntry>& volumeDrivers()
{
    static const std::vector<VolumeDriverEntry> drivers{
        {"skytraxx", &Skytraxx::openMounted},
    };
    return drivers;
}

} // namespace kalvora
