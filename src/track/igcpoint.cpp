#include "track/igcpoint.h"

#include <algorithm>
#include <cmath>

#include "track/igcfields.h"

namespace kalvora {

namespace {
constexpr double kEarthRadiusM = 6371000.0;
constexpr double kRadiansPerDegree = 0.017453292519943295;
} // namespace

std::optional<IGCPoint> IGCPoint::igcPointWithIGCLine(std::string_view line, std::int64_t timeZoneH)
{
    using igcfields::leadingInt;
    if (line.size() < 35 || line[0] != 'B')
        return std::nullopt;
    const char ns = line[14];
    const char ew = line[23];
    if ((ns != 'N' && ns != 'S') || (ew != 'E' && ew != 'W'))
        return std::nullopt;
    // Out-of-range fields are no fix: minutes are written in thousandths, so
    // 60000 or more (or a degree past the pole or the date line) is garbage,
    // as is a time of day such as 99:99:99.
    const std::int64_t hh = leadingInt(line.substr(1, 2));
    const std::int64_t mm = leadingInt(line.substr(3, 2));
    const std::int64_t ss = leadingInt(line.substr(5, 2));
    const std::int64_t latDeg = leadingInt(line.substr(7, 2));
    const std::int64_t latMin = leadingInt(line.substr(9, 5));
    const std::int64_t lonDeg = leadingInt(line.substr(15, 3));
    const std::int64_t lonMin = leadingInt(line.substr(18, 5));
    if (hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59 || latMin < 0 || latMin >= 60000 ||
        lonMin < 0 || lonMin >= 60000 || latDeg < 0 || lonDeg < 0 || latDeg * 60000 + latMin > 90 * 60000 ||
        lonDeg * 60000 + lonMin > 180 * 60000)
        return std::nullopt;
    IGCPoint p;
    p.timezone = timeZoneH;
    p.lat = static_cast<double>(latDeg) + static_cast<double>(latMin) / 60000.0;
    if (ns == 'S')
        p.lat = -p.lat;
    p.lon = static_cast<double>(lonDeg) + static_cast<double>(lonMin) / 60000.0;
    if (ew == 'W')
        p.lon = -p.lon;
    p.gpsTime = hh * 3600 + mm * 60 + ss;
    p.varioAlt = static_cast<double>(leadingInt(line.substr(25, 5)));
    p.gpsAlt = static_cast<double>(leadingInt(line.substr(30, 5)));
    return p;
}

double IGCPoint::calcDistance(const IGCPoint& other) const
{
    return calcDistance(lat, lon, other.lat, other.lon);
}

double IGCPoint::calcDistance(double lat1, double lon1, double lat2, double lon2)
{
    const double phi1 = lat1 * kRadiansPerDegree;
    const double phi2 = lat2 * kRadiansPerDegree;
    const double sinDLat = std::sin((phi1 - phi2) / 2);
    const double sinDLon = std::sin((lon1 * kRadiansPerDegree - lon2 * kRadiansPerDegree) / 2);
    const double h = sinDLat * sinDLat + std::cos(phi1) * std::cos(phi2) * sinDLon * sinDLon;
    // Rounding can lift h just above 1 for antipodal points; asin would give NaN.
    return 2 * kEarthRadiusM * std::asin(std::sqrt(std::min(1.0, h)));
}

} // namespace kalvora
