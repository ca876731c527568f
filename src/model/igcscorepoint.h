#pragma once

#include "model/recordmacros.h"
#include "store/storedobject.h"

namespace kalvora {

class Flight;

/** One scored turnpoint of a flight. */
class IGCScorePoint final : public StoredObject
{
    Q_OBJECT

public:
    static constexpr const char* EntityName = "IGCScorePoint";
    IGCScorePoint() = default;

    KALVORA_DOUBLE_ATTRIBUTE(altitude, Altitude)
    KALVORA_DOUBLE_ATTRIBUTE(latitude, Latitude)   ///< [deg]
    KALVORA_DOUBLE_ATTRIBUTE(longitude, Longitude) ///< [deg]
    KALVORA_INTEGER_ATTRIBUTE(index, Index)        ///< position in the scorer's list, from 0
    KALVORA_DOUBLE_ATTRIBUTE(timeStamp, TimeStamp)

    Flight* flight() const;
    void setFlight(Flight* flight);
};

} // namespace kalvora
