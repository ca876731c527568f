#include "logbook/flightrecord.h"

#include "logbook/flightdata.h"
#include "model/flight.h"
#include "track/igcflight.h"

namespace kalvora {

FlightValues flightValues(const FlightData& data)
{
    FlightValues v;
    v.cummoAltitude = data.cummoAltitude.value_or(0);
    v.glider = data.glider.value_or(QString());
    v.harness = data.harness.value_or(QString());
    v.igcData = data.igcData.value_or(QString());
    v.landingAltitude = data.landingAltitude.value_or(0);
    v.landingLocation = data.landingLocation.value_or(QString());
    v.landingUTC = data.landingUTC;
    v.maxAltitude = data.maxAltitude.value_or(0);
    v.maxSpeed = data.maxSpeed.value_or(0);
    v.maxVario = data.maxVario.value_or(0);
    v.minAltitude = data.minAltitude.value_or(0);
    v.minSpeed = data.minSpeed.value_or(0);
    v.minVario = data.minVario.value_or(0);
    v.startAltitude = data.startAltitude.value_or(0);
    v.startLocation = data.startLocation.value_or(QString());
    v.startUTC = data.startUTC;
    v.utcOffset = data.utcOffset.value_or(0);
    v.validIGC = data.validIGC;
    v.startLatitude = data.startLatitude.value_or(0);
    v.startLongitude = data.startLongitude.value_or(0);
    v.landingLatitude = data.landingLatitude.value_or(0);
    v.landingLongitude = data.landingLongitude.value_or(0);
    v.startWaypointLatitude = data.startWaypointLatitude;
    v.startWaypointLongitude = data.startWaypointLongitude;
    v.landingWaypointLatitude = data.landingWaypointLatitude;
    v.landingWaypointLongitude = data.landingWaypointLongitude;
    if (data.glidertype)
        v.glidertype = *data.glidertype;
    return v;
}

XCData xcData(const IGCFlight& scored)
{
    XCData data;
    data.freeDistance = scored.freeDistance;
    data.flatDistance = scored.flatDistance;
    data.faiDistance = scored.faiDistance;
    for (const XCScorePoint& point : scored.scorePoints)
        data.scorePoints.append({point.latitude, point.longitude});
    return data;
}

void markBeingComputed(Flight& flight)
{
    flight.setFreeDistance(-2);
    flight.setFlatDistance(-1);
    flight.setFaiDistance(-1);
}

} // namespace kalvora

