#pragma once

#include <QString>

#include "model/settings.h"

namespace kalvora {

/**
 * Numbers in base units (m, km/h, m/s, km) as list texts in the chosen display
 * units, with the number style the flight list uses. Any thread.
 */
class UnitDisplay
{
public:
    explicit UnitDisplay(const UnitSettings& units) : m_units(units) {}
    /** The units of the current settings record; metric when there is none. */
    [[nodiscard]] static UnitDisplay current();

    [[nodiscard]] QString altitude(double altitudeM) const;
    [[nodiscard]] QString speed(double speedKmh) const;
    [[nodiscard]] QString vario(double varioMs) const;
    [[nodiscard]] QString distance(double distanceKm) const;

    [[nodiscard]] QString altitudeUnit() const;
    [[nodiscard]] QString speedUnit() const;
    [[nodiscard]] QString varioUnit() const;
    [[nodiscard]] QString distanceUnit() const;

private:
    UnitSettings m_units;
};

} // namespace kalvora
