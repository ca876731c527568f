#include "ui/unitdisplay.h"

#include "services/unitformatters.h"

namespace kalvora {

namespace {

// The list's own number style (C digits, fixed decimals) over the shared unit conversions.
template <typename Formatter>
QString shown(double baseValue, qint64 unitIndex, int decimals)
{
    Formatter formatter;
    formatter.setUnitIndex(static_cast<int>(unitIndex));
    return QString::number(formatter.toDisplay(baseValue), 'f', decimals);
}

template <typename Formatter>
QString unitName(qint64 unitIndex)
{
    Formatter formatter;
    formatter.setUnitIndex(static_cast<int>(unitIndex));
    return formatter.unitString();
}

} // namespace

UnitDisplay UnitDisplay::current()
{
    return UnitDisplay(Settings::current().value_or(UnitSettings{}));
}

QString UnitDisplay::altitude(double altitudeM) const
{
    return shown<AltitudeFormatter>(altitudeM, m_units.altitudeUnitIndex, 0);
}

QString UnitDisplay::speed(double speedKmh) const
{
    return shown<SpeedFormatter>(speedKmh, m_units.speedUnitIndex, 1);
}

QString UnitDisplay::vario(double varioMs) const
{
    // Feet per minute are shown whole, metres per second with one decimal.
    return shown<VarioFormatter>(varioMs, m_units.varioUnitIndex, m_units.varioUnitIndex > 0 ? 0 : 1);
}

QString UnitDisplay::distance(double distanceKm) const
{
    return shown<DistanceFormatter>(distanceKm, m_units.distanceUnitIndex, 2);
}

QString UnitDisplay::altitudeUnit() const
{
    return unitName<AltitudeFormatter>(m_units.altitudeUnitIndex);
}

QString UnitDisplay::speedUnit() const
{
    return unitName<SpeedFormatter>(m_units.speedUnitIndex);
}

QString UnitDisplay::varioUnit() const
{
    return unitName<VarioFormatter>(m_units.varioUnitIndex);
}

QString UnitDisplay::distanceUnit() const
{
    return unitName<DistanceFormatter>(m_units.distanceUnitIndex);
}

} // namespace kalvora
