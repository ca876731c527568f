#pragma once

#include <QString>

#include <optional>

namespace kalvora {

/** The address parts of a place; an empty text was not found. */
struct WaypointAddress
{
    QString city;
    QString county;
    QString state;
    QString country;
    bool operator==(const WaypointAddress&) const = default;
};

/**
 * Names the place at a coordinate for new waypoints. The importer and the
 * waypoint picker call it from worker threads; an implementation may block.
 */
class WaypointAddressLookup
{
public:
    virtual ~WaypointAddressLookup() = default;
    /**
     * The address at (latitudeMicro, longitudeMicro) [1e-6 deg]; nullopt when
     * nothing was found (no network, no answer). Never throws.
     */
    virtual std::optional<WaypointAddress> lookup(double latitudeMicro, double longitudeMicro) = 0;
};

} // namespace kalvora
