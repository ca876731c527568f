#pragma once

namespace kalvora {

class Flight;
struct FlightData;
struct FlightValues;
struct IGCFlight;
struct XCData;

/** The values of DATA that a new flight record starts from (absent values read as 0 or empty). */
[[nodiscard]] FlightValues flightValues(const FlightData& data);

/** The XC result of a scored flight as the flight record stores it. */
[[nodiscard]] XCData xcData(const IGCFlight& scored);

/** Marks FLIGHT as queued for the XC computation: freeDistance -2, the triangles -1. */
void markBeingComputed(Flight& flight);

} // namespace kalvora
