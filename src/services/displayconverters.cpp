#include "services/displayconverters.h"

#include <QCoreApplication>
#include <QTime>

#include <cmath>
#include <limits>

#include "services/unitformatters.h"

namespace kalvora {
namespace display {

QString latLonToString(double microdegrees, const QLocale& locale)
{
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(microdegrees / 1000000.0, 'f', 5);
}

std::optional<qint32> latLonFromString(const QString& text, const QLocale& locale)
{
    const auto degrees = readNumber(text, locale);
    if (!degrees)
        return std::nullopt;
    // Round away binary noise first (0.000001 * 1e6 is 0.99999...), then truncate as the stored form demands.
    const double micro = std::trunc(std::round(*degrees * 1e9) / 1e3);
    if (micro < double(std::numeric_limits<qint32>::min()) || micro > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return qint32(micro);
}

QString distanceTextFieldString(double distanceKm, int distanceUnitIndex)
{
    const double integerPart = std::trunc(distanceKm);
    if (integerPart < 0)
        return QCoreApplication::translate("DistanceTextFieldStringTransformer", "calculating");
    if (integerPart == 0)
        return QCoreApplication::translate("DistanceTextFieldStringTransformer", "n/a");
    const double shown = distanceUnitIndex != 0 ? distanceKm * MilesPerKmDistance : distanceKm;
    return QString::asprintf("%2.02f", shown);
}

namespace {
QString mediumTimeFormat(const QLocale& locale)
{
    // The long format adds the zone name, which a UTC-only field does not show.
    QString f = locale.timeFormat(QLocale::LongFormat);
    f.remove(QLatin1Char('t'));
    return f.trimmed();
}
} // namespace

QString timeIntervalToString(qint64 secondsSince1970, const QLocale& locale)
{
    const QDateTime t = QDateTime::fromSecsSinceEpoch(secondsSince1970, Qt::UTC);
    return locale.toString(t.time(), mediumTimeFormat(locale));
}

std::optional<qint32> timeIntervalFromString(const QString& text, const QLocale& locale)
{
    QTime t = locale.toTime(text.trimmed(), mediumTimeFormat(locale));
    if (!t.isValid())
        t = QTime::fromString(text.trimmed(), QStringLiteral("H:mm:ss"));
    if (!t.isValid())
        t = QTime::fromString(text.trimmed(), QStringLiteral("H:mm"));
    if (!t.isValid())
        return std::nullopt;
    return qint32(t.msecsSinceStartOfDay() / 1000);
}

QDateTime doubleToDate(double secondsSince1970)
{
    return QDateTime::fromMSecsSinceEpoch(std::llround(secondsSince1970 * 1000.0), Qt::UTC);
}

double dateToDouble(const QDateTime& date)
{
    return date.isValid() ? double(date.toMSecsSinceEpoch()) / 1000.0 : 0.0;
}

QString dateToString(const QDateTime& date, const QLocale& locale)
{
    if (!date.isValid())
        return QString();
    return locale.toString(date.toLocalTime().date(), QLocale::ShortFormat);
}

Rgba boolToColor(bool value)
{
    return value ? Rgba{0, 0.8, 0, 1} : Rgba{0, 0, 0, 1};
}

} // namespace display

CurrencyNumberFormatter::CurrencyNumberFormatter(QLocale locale, QString symbol)
    : m_locale(std::move(locale)), m_symbol(symbol.isEmpty() ? m_locale.currencySymbol() : std::move(symbol))
{
}

QString CurrencyNumberFormatter::stringForValue(double value) const
{
    return m_locale.toCurrencyString(value, m_symbol, 2);
}

std::optional<double> CurrencyNumberFormatter::valueForString(const QString& text) const
{
    // Whatever the user left out or added around the number (symbol, spaces,
    // the locale's own decoration) does not decide whether the number is read.
    QString t = text;
    t.remove(QLatin1Char('\t'));
    if (!m_symbol.isEmpty())
        t.remove(m_symbol);
    t.remove(QChar(0x00A0));
    t.remove(QChar(0x202F));
    t = t.trimmed();
    bool negative = false;
    if (t.startsWith(QLatin1Char('(')) && t.endsWith(QLatin1Char(')'))) {
        negative = true;
        t = t.mid(1, t.size() - 2).trimmed();
    }
    if (t.startsWith(m_locale.negativeSign()) || t.startsWith(QLatin1Char('-'))) {
        negative = !negative;
        t = t.mid(1).trimmed();
    }
    auto v = readNumber(t, m_locale);
    if (!v)
        return std::nullopt;
    return negative ? -*v : *v;
}

} // namespace kalvora
