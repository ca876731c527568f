#include "map/mapunits.h"

#include <cmath>

#include "model/settings.h"

namespace kalvora::map {

DisplayUnits currentDisplayUnits()
{
    DisplayUnits units;
    if (const std::optional<UnitSettings> settings = Settings::current()) {
        units.feet = settings->altitudeUnitIndex == 1;
        units.miles = settings->distanceUnitIndex == 1;
        units.fpm = settings->varioUnitIndex == 1;
    }
    return units;
}

QString altitudeText(double altitudeM, DisplayUnits units)
{
    return units.feet ? QStringLiteral("%1 ft").arg(std::lround(altitudeM * 3.28084))
                      : QStringLiteral("%1 m").arg(std::lround(altitudeM));
}

QString climbText(double climbMs, DisplayUnits units)
{
    if (units.fpm) {
        const long fpm = std::lround(climbMs * 196.850394);
        return QStringLiteral("%1%2 fpm").arg(fpm >= 0 ? QStringLiteral("+") : QString()).arg(fpm);
    }
    return QStringLiteral("%1%2 m/s")
        .arg(climbMs >= 0 ? QStringLiteral("+") : QString())
        .arg(climbMs, 0, 'f', 1);
}

} // namespace kalvora::map
