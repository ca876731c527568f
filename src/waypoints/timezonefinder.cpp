#include "waypoints/timezonefinder.h"

#include <QDateTime>
#include <QFile>
#include <QTimeZone>

#include <cmath>
#include <limits>
#include <numbers>

namespace kalvora {

namespace {

constexpr double radiansPerDegree = std::numbers::pi / 180.0;

/**
 * Reads one signed part of an ISO 6709 pair: sign, DEGREEDIGITS digits of
 * degrees, two of minutes, optionally two of seconds. nullopt when the digits
 * do not fit that shape or minutes/seconds reach 60.
 */
std::optional<double> iso6709Part(QStringView text, int degreeDigits)
{
    if (text.size() != 1 + degreeDigits + 2 && text.size() != 1 + degreeDigits + 4)
        return std::nullopt;
    const QChar sign = text.front();
    if (sign != u'+' && sign != u'-')
        return std::nullopt;
    for (const QChar c : text.mid(1))
        if (c < u'0' || c > u'9')
            return std::nullopt;
    const auto number = [&](qsizetype from, qsizetype length) { return text.mid(from, length).toInt(); };
    const int degrees = number(1, degreeDigits);
    const int minutes = number(1 + degreeDigits, 2);
    const int seconds = text.size() == 1 + degreeDigits + 4 ? number(1 + degreeDigits + 2, 2) : 0;
    if (minutes >= 60 || seconds >= 60)
        return std::nullopt;
    const double value = degrees + minutes / 60.0 + seconds / 3600.0;
    return sign == u'-' ? -value : value;
}

/** Central angle [rad] between two points given in radians (haversine, stable for short distances). */
double centralAngle(double lat1, double lon1, double lat2, double lon2)
{
    const double a = std::sin((lat2 - lat1) / 2);
    const double b = std::sin((lon2 - lon1) / 2);
    const double h = a * a + std::cos(lat1) * std::cos(lat2) * b * b;
    return 2 * std::asin(std::sqrt(std::min(1.0, h)));
}

} // namespace

QStringList TimeZoneFinder::defaultTablePaths()
{
    // zone1970.tab lists one row per zone that differs since 1970 with all
    // the countries it covers; zone.tab (one country per row) is the older
    // form some systems still ship alone.
    return {QStringLiteral("/usr/share/zoneinfo/zone1970.tab"),
            QStringLiteral("/usr/share/zoneinfo/zone.tab")};
}

TimeZoneFinder::TimeZoneFinder(QStringList tablePaths) : m_tablePaths(std::move(tablePaths)) {}

const TimeZoneFinder& TimeZoneFinder::system()
{
    static const TimeZoneFinder finder;
    return finder;
}

std::optional<std::pair<double, double>> TimeZoneFinder::parseIso6709(QStringView text)
{
    // The longitude begins at the second sign.
    qsizetype split = -1;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] == u'+' || text[i] == u'-') {
            split = i;
            break;
        }
    }
    if (split < 0)
        return std::nullopt;
    const auto latitude = iso6709Part(text.left(split), 2);
    const auto longitude = iso6709Part(text.mid(split), 3);
    if (!latitude || !longitude || std::abs(*latitude) > 90 || std::abs(*longitude) > 180)
        return std::nullopt;
    return std::pair{*latitude, *longitude};
}

const std::vector<TimeZoneFinder::Zone>& TimeZoneFinder::zones() const
{
    std::call_once(m_loaded, [this] {
        for (const QString& path : m_tablePaths) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            // Sample row: "AT\t+4813+01620\tEurope/Vienna" (zone1970.tab may
            // list several countries, "CH,DE,LI", and add a comment column).
            while (!file.atEnd()) {
                const QString line = QString::fromUtf8(file.readLine()).trimmed();
                if (line.isEmpty() || line.startsWith(u'#'))
                    continue;
                const QStringList columns = line.split(u'\t');
                if (columns.size() < 3 || columns[2].trimmed().isEmpty())
                    continue;
                const auto position = parseIso6709(columns[1].trimmed());
                if (!position)
                    continue;
                Zone zone;
                zone.latitudeRad = position->first * radiansPerDegree;
                zone.longitudeRad = position->second * radiansPerDegree;
                for (const QString& code : columns[0].split(u',', Qt::SkipEmptyParts))
                    zone.countries.append(code.trimmed().toUpper());
                zone.id = columns[2].trimmed().toUtf8();
                m_zones.push_back(std::move(zone));
            }
            if (!m_zones.empty())
                return;
        }
    });
    return m_zones;
}

std::size_t TimeZoneFinder::zoneCount() const
{
    return zones().size();
}

std::optional<QByteArray> TimeZoneFinder::zoneId(double latitudeDeg, double longitudeDeg,
                                                 const QString& countryHint) const
{
    if (!std::isfinite(latitudeDeg) || !std::isfinite(longitudeDeg))
        return std::nullopt;
    const auto& all = zones();
    const QString country = countryHint.trimmed().toUpper();
    bool countryListed = false;
    if (!country.isEmpty()) {
        for (const Zone& zone : all) {
            if (zone.countries.contains(country)) {
                countryListed = true;
                break;
            }
        }
    }
    const double lat = latitudeDeg * radiansPerDegree;
    const double lon = longitudeDeg * radiansPerDegree;
    const Zone* nearest = nullptr;
    double nearestAngle = std::numeric_limits<double>::infinity();
    for (const Zone& zone : all) {
        if (countryListed && !zone.countries.contains(country))
            continue;
        const double angle = centralAngle(lat, lon, zone.latitudeRad, zone.longitudeRad);
        if (angle < nearestAngle) {
            nearestAngle = angle;
            nearest = &zone;
        }
    }
    if (!nearest)
        return std::nullopt;
    return nearest->id;
}

std::optional<TimeZoneAnswer> TimeZoneFinder::find(double latitudeDeg, double longitudeDeg,
                                                   const QString& countryHint,
                                                   const QDateTime& utcInstant) const
{
    if (!utcInstant.isValid())
        return std::nullopt;
    const auto id = zoneId(latitudeDeg, longitudeDeg, countryHint);
    if (!id)
        return std::nullopt;
    // A table newer than the zone data beside it can name a zone the system
    // does not know; guessing a neighbour's offset would be worse than none.
    const QTimeZone zone(*id);
    if (!zone.isValid())
        return std::nullopt;
    return TimeZoneAnswer{*id, zone.offsetFromUtc(utcInstant) / 3600.0};
}

} // namespace kalvora
