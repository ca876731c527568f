#include "services/unitformatters.h"

#include <cmath>

#include "model/settings.h"

namespace kalvora {

QString formatNumber(double value, const NumberStyle& style, const QLocale& locale)
{
    if (!std::isfinite(value))
        return QString();
    QLocale l = locale;
    l.setNumberOptions(style.grouping ? QLocale::DefaultNumberOptions : QLocale::OmitGroupSeparator);
    const int maxDigits = std::max(style.maximumFractionDigits, style.minimumFractionDigits);
    QString s = l.toString(value, 'f', maxDigits);
    if (maxDigits > style.minimumFractionDigits) {
        const QString point = l.decimalPoint();
        const qsizetype dot = s.lastIndexOf(point);
        if (dot >= 0) {
            qsizetype end = s.size();
            while (end > dot + point.size() + style.minimumFractionDigits && s.at(end - 1) == l.zeroDigit().front())
                --end;
            if (end == dot + point.size())
                end = dot;
            s.truncate(end);
        }
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    return s;
}

std::optional<double> readNumber(const QString& text, const QLocale& locale)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    double v = locale.toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

int UnitFormatter::unitIndex() const
{
    if (m_fixedIndex)
        return *m_fixedIndex;
    return settingsIndex().value_or(0);
}

QString UnitFormatter::stringForValue(double baseValue) const
{
    return formatNumber(toDisplay(baseValue), m_style, m_locale);
}

std::optional<double> UnitFormatter::valueForString(const QString& text) const
{
    const auto shown = readNumber(text, m_locale);
    if (!shown)
        return std::nullopt;
    return fromDisplay(*shown);
}

namespace {
std::optional<int> fromSettings(int UnitSettings::*member)
{
    const auto units = Settings::current();
    return units ? std::optional<int>((*units).*member) : std::nullopt;
}
} // namespace

double AltitudeFormatter::factor(int index) const
{
    return index != 0 ? FeetPerMetre : 1.0;
}
std::optional<int> AltitudeFormatter::settingsIndex() const
{
    return fromSettings(&UnitSettings::altitudeUnitIndex);
}
QString AltitudeFormatter::unitString() const
{
    return Settings::altitudeUnitText(unitIndex() != 0 ? 1 : 0);
}

double SpeedFormatter::factor(int index) const
{
    return index == 1 ? MphPerKmh : (index == 2 ? KnotsPerKmh : 1.0);
}
std::optional<int> SpeedFormatter::settingsIndex() const
{
    return fromSettings(&UnitSettings::speedUnitIndex);
}
QString SpeedFormatter::unitString() const
{
    const int i = unitIndex();
    return Settings::speedUnitText(i == 1 || i == 2 ? i : 0);
}

double VarioFormatter::factor(int index) const
{
    // -1 (units not chosen yet) counts as non-zero, as the settings record reads it.
    return index != 0 ? FpmPerMps : 1.0;
}
std::optional<int> VarioFormatter::settingsIndex() const
{
    return fromSettings(&UnitSettings::varioUnitIndex);
}
QString VarioFormatter::unitString() const
{
    return Settings::varioUnitText(unitIndex() != 0 ? 1 : 0);
}

double DistanceFormatter::factor(int index) const
{
    return index != 0 ? MilesPerKmDistance : 1.0;
}
std::optional<int> DistanceFormatter::settingsIndex() const
{
    return fromSettings(&UnitSettings::distanceUnitIndex);
}
QString DistanceFormatter::unitString() const
{
    return Settings::distanceUnitText(unitIndex() != 0 ? 1 : 0);
}

} // namespace kalvora
