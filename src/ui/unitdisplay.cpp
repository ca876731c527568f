#include "ui/unitdisplay.h"

namespace kalvora {

namespace {

// The display factors of the settings; distance uses 0.6214 where speed uses 0.621371192.
constexpr double kFeetPerMetre = 3.280839895013;
constexpr double kMphPerKmh = 0.621371192;
constexpr double kKnotsPerKmh = 0.539956803;
constexpr double kFpmPerMs = 196.850393701;
constexpr double kMilesPerKm = 0.6214;

QString orDefault(const QString& text, const char* fallback)
{
    return text.isEmpty() ? QString::fromLatin1(fallback) : text;
}

} // namespace

UnitDisplay UnitDisplay::current()
{
    return UnitDisplay(Settings::current().value_or(UnitSettings{}));
}

QString UnitDisplay::altitude(double altitudeM) const
{
    const double value = m_units.altitudeUnitIndex != 0 ? altitudeM * kFeetPerMetre : altitudeM;
    return QString::number(value, 'f', 0);
}

QString UnitDisplay::speed(double speedKmh) const
{
    double value = speedKmh;
    if (m_units.speedUnitIndex == 1)
        value *= kMphPerKmh;
    else if (m_units.speedUnitIndex == 2)
        value *= kKnotsPerKmh;
    return QString::number(value, 'f', 1);
}

QString UnitDisplay::vario(double varioMs) const
{
    if (m_units.varioUnitIndex > 0)
        return QString::number(varioMs * kFpmPerMs, 'f', 0);
    return QString::number(varioMs, 'f', 1);
}

QString UnitDisplay::distance(double distanceKm) const
{
    const double value = m_units.distanceUnitIndex != 0 ? distanceKm * kMilesPerKm : distanceKm;
    return QString::number(value, 'f', 2);
}

QString UnitDisplay::altitudeUnit() const
{
    return orDefault(Settings::altitudeUnitText(static_cast<int>(m_units.altitudeUnitIndex)), "m");
}

QString UnitDisplay::speedUnit() const
{
    return orDefault(Settings::speedUnitText(static_cast<int>(m_units.speedUnitIndex)), "km/h");
}

QString UnitDisplay::varioUnit() const
{
    return orDefault(Settings::varioUnitText(static_cast<int>(m_units.varioUnitIndex)), "m/s");
}

QString UnitDisplay::distanceUnit() const
{
    return orDefault(Settings::distanceUnitText(static_cast<int>(m_units.distanceUnitIndex)), "km");
}

} // namespace kalvora
