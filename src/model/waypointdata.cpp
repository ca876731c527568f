#include "model/waypointdata.h"

#include <array>
#include <utility>

namespace kalvora {

bool WaypointData::setField(const QString& field, const QString& value)
{
    const std::array<std::pair<const char*, QString WaypointData::*>, 21> fields{{
        {"dbID", &WaypointData::dbID},           {"altitude", &WaypointData::altitude},
        {"city", &WaypointData::city},           {"country", &WaypointData::country},
        {"county", &WaypointData::county},       {"group", &WaypointData::group},
        {"house", &WaypointData::house},         {"lastModified", &WaypointData::lastModified},
        {"latitude", &WaypointData::latitude},   {"latitudeRange", &WaypointData::latitudeRange},
        {"longitude", &WaypointData::longitude}, {"longitudeRange", &WaypointData::longitudeRange},
        {"name", &WaypointData::name},           {"notice", &WaypointData::notice},
        {"shortName", &WaypointData::shortName}, {"state", &WaypointData::state},
        {"street", &WaypointData::street},       {"windFrom", &WaypointData::windFrom},
        {"windTo", &WaypointData::windTo},       {"macaddress", &WaypointData::macaddress},
        {"radius", &WaypointData::radius},
    }};
    for (const auto& [key, member] : fields) {
        if (field == QLatin1String(key)) {
            this->*member = value;
            return true;
        }
    }
    return false;
}

} // namespace kalvora
