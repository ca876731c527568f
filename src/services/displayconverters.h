#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

namespace kalvora {

/** Small value <-> text conversions that several windows share. Any thread. */
namespace display {

/** Microdegrees as degrees with five decimals: 47123456 -> "47.12346". */
QString latLonToString(double microdegrees, const QLocale& locale = QLocale());
/**
 * Degrees as typed -> microdegrees, truncated toward zero: "11.5" -> 11500000.
 * nullopt for unreadable text or a value outside the 32-bit range.
 */
[[nodiscard]] std::optional<qint32> latLonFromString(const QString& text, const QLocale& locale = QLocale());

/**
 * An XC distance [km] for a read-only field: "calculating" when its integer part
 * is negative, "n/a" when it is 0, otherwise "%2.02f" (miles when
 * `distanceUnitIndex` is non-zero). Texts localised.
 */
QString distanceTextFieldString(double distanceKm, int distanceUnitIndex);

/** Whole seconds since 1970 shown as a UTC time of day in a medium style (with seconds). */
QString timeIntervalToString(qint64 secondsSince1970, const QLocale& locale = QLocale());
/**
 * A time of day typed in that style, read in UTC, as seconds since 1970 on
 * 1970-01-01 (the day is not part of the text). nullopt for unreadable text.
 */
[[nodiscard]] std::optional<qint32> timeIntervalFromString(const QString& text, const QLocale& locale = QLocale());

/** Seconds since 1970-01-01 00:00 UTC -> the instant, and back. */
QDateTime doubleToDate(double secondsSince1970);
double dateToDouble(const QDateTime& date);

/** An instant as a short date in the local time zone, without time; empty for an invalid date. */
QString dateToString(const QDateTime& date, const QLocale& locale = QLocale());

/** A colour as device RGB components in [0, 1]. */
struct Rgba
{
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    bool operator==(const Rgba&) const = default;
};
/** true -> green (0, 0.8, 0, 1); false -> black. */
Rgba boolToColor(bool value);

} // namespace display

/**
 * Prices: shows a value as the locale's currency text and reads typed text
 * leniently ("12,50", "12.50 €", "€12.50", "-3", with or without the symbol and
 * grouping) as long as the number itself is readable.
 */
class CurrencyNumberFormatter
{
public:
    explicit CurrencyNumberFormatter(QLocale locale = QLocale(), QString symbol = QString());

    QString stringForValue(double value) const;
    [[nodiscard]] std::optional<double> valueForString(const QString& text) const;

private:
    QLocale m_locale;
    QString m_symbol;
};

} // namespace kalvora
