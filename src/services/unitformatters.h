#pragma once

#include <QLocale>
#include <QString>

#include <optional>

namespace kalvora {

/** The number style a view applies after the unit conversion. */
struct NumberStyle
{
    int minimumFractionDigits = 0;
    int maximumFractionDigits = 0;
    bool grouping = false;
};

/**
 * Shows a quantity stored in its base unit in the display unit chosen in the
 * settings, and reads typed text back into the base unit. The unit comes from
 * the current settings record (index 0 without one) unless fixed with
 * setUnitIndex(). Any thread.
 */
class UnitFormatter
{
public:
    virtual ~UnitFormatter() = default;

    void setStyle(const NumberStyle& style) { m_style = style; }
    const NumberStyle& style() const { return m_style; }
    void setLocale(const QLocale& locale) { m_locale = locale; }
    /** Fixes the unit; nullopt follows the settings again. */
    void setUnitIndex(std::optional<int> index) { m_fixedIndex = index; }
    int unitIndex() const;

    /** Base value -> display value (no rounding). */
    double toDisplay(double baseValue) const { return baseValue * factor(unitIndex()); }
    /** Display value -> base value. */
    double fromDisplay(double shownValue) const { return shownValue / factor(unitIndex()); }

    /** Base value as text in the display unit, styled (without the unit's name). */
    QString stringForValue(double baseValue) const;
    /** Typed text in the display unit as a base value; nullopt when the style cannot read it. */
    [[nodiscard]] std::optional<double> valueForString(const QString& text) const;
    /** The display unit's short name ("m", "ft", ...). */
    virtual QString unitString() const = 0;

protected:
    UnitFormatter(NumberStyle style, QLocale locale) : m_style(style), m_locale(std::move(locale)) {}
    /** Display units per base unit for a unit index; 1 for the base unit and unknown indexes. */
    virtual double factor(int index) const = 0;
    /** The settings' index for this quantity, when there are settings. */
    virtual std::optional<int> settingsIndex() const = 0;

private:
    NumberStyle m_style;
    QLocale m_locale;
    std::optional<int> m_fixedIndex;
};

/** Altitude [m]: index 0 metres, 1 feet (× 3.280839895013). */
class AltitudeFormatter final : public UnitFormatter
{
public:
    explicit AltitudeFormatter(NumberStyle style = {}, QLocale locale = QLocale()) : UnitFormatter(style, locale) {}
    QString unitString() const override;

protected:
    double factor(int index) const override;
    std::optional<int> settingsIndex() const override;
};

/** Speed [km/h]: index 0 km/h, 1 mph (× 0.621371192), 2 knots (× 0.539956803). */
class SpeedFormatter final : public UnitFormatter
{
public:
    explicit SpeedFormatter(NumberStyle style = {}, QLocale locale = QLocale()) : UnitFormatter(style, locale) {}
    QString unitString() const override;

protected:
    double factor(int index) const override;
    std::optional<int> settingsIndex() const override;
};

/** Climb rate [m/s]: index 0 m/s, 1 feet per minute (× 196.850393701). */
class VarioFormatter final : public UnitFormatter
{
public:
    explicit VarioFormatter(NumberStyle style = {}, QLocale locale = QLocale()) : UnitFormatter(style, locale) {}
    QString unitString() const override;

protected:
    double factor(int index) const override;
    std::optional<int> settingsIndex() const override;
};

/** XC distance [km]: index 0 km, 1 miles (× 0.6214, as the logbook has always shown them). */
class DistanceFormatter final : public UnitFormatter
{
public:
    explicit DistanceFormatter(NumberStyle style = {}, QLocale locale = QLocale()) : UnitFormatter(style, locale) {}
    QString unitString() const override;

protected:
    double factor(int index) const override;
    std::optional<int> settingsIndex() const override;
};

inline constexpr double FeetPerMetre = 3.280839895013;
inline constexpr double MphPerKmh = 0.621371192;
inline constexpr double KnotsPerKmh = 0.539956803;
inline constexpr double FpmPerMps = 196.850393701;
inline constexpr double MilesPerKmDistance = 0.6214;

/** Formats a number with a style: rounded to its maximum decimals, trailing zeros kept down to its minimum. */
QString formatNumber(double value, const NumberStyle& style, const QLocale& locale);
/** Reads a number as `locale` writes it (also the plain C form); nullopt for anything else. */
[[nodiscard]] std::optional<double> readNumber(const QString& text, const QLocale& locale);

} // namespace kalvora
