#include "track/placefinder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kalvora {

namespace {

constexpr double kEarthRadiusM = 6371000.0;
constexpr double kRadiansPerDegree = 0.017453292519943295;

std::int64_t coordinateFromString(std::string_view text, char positive, char negative)
{
    if (text.empty())
        return 0;
    const auto lower = [](char c) { return static_cast<char>(c + ('a' - 'A')); };
    double sign = (text.front() == negative || text.front() == lower(negative)) ? -1.0 : 1.0;
    bool trailingLetter = false;
    const char last = text.back();
    if (last == negative || last == lower(negative)) {
        sign = -1.0;
        trailingLetter = true;
    } else if (last == positive || last == lower(positive)) {
        trailingLetter = true;
    }
    std::string_view degrees;
    std::string_view thousandths;
    if (trailingLetter) {
        if (text.size() < 6)
            return 0;
        thousandths = text.substr(text.size() - 6, 5);
        degrees = text.substr(0, text.size() - 6);
    } else {
        if (text.size() < 6)
            return 0;
        thousandths = text.substr(text.size() - 5);
        degrees = text.substr(1, text.size() - 6);
    }
    // More than 9 degree digits is no coordinate and would only overflow.
    if (degrees.size() > 9)
        return 0;
    double degreeValue = 0;
    for (const char c : degrees) {
        if (c < '0' || c > '9')
            return 0;
        degreeValue = degreeValue * 10 + (c - '0');
    }
    double thousandthValue = 0;
    for (const char c : thousandths) {
        if (c < '0' || c > '9')
            return 0;
        thousandthValue = thousandthValue * 10 + (c - '0');
    }
    return static_cast<std::int64_t>(
        std::round(sign * (degreeValue + thousandthValue / 60000.0) * 1000000.0));
}

std::string igcStringFromCoordinate(double value, int degreeDigits, char positive, char negative)
{
    // NaN and values no coordinate can have are written as 0 rather than
    // feeding an undefined conversion.
    if (!std::isfinite(value) || std::fabs(value) > 1e9)
        value = 0;
    const char letter = value < 0 ? negative : positive;
    const double whole = std::trunc(value);
    const long long minutes = std::llabs(std::llround((value - whole) * 60000.0));
    const long long degrees = std::llabs(static_cast<long long>(whole));
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%0*lld%05lld%c", degreeDigits, degrees, minutes, letter);
    return buffer;
}

} // namespace

std::int64_t PlaceFinder::gpsDistance(double startLatitudeE6, double startLongitudeE6, double endLatitudeE6,
                                      double endLongitudeE6)
{
    const double phi1 = startLatitudeE6 * kRadiansPerDegree / 1000000.0;
    const double lambda1 = startLongitudeE6 * kRadiansPerDegree / 1000000.0;
    const double phi2 = endLatitudeE6 * kRadiansPerDegree / 1000000.0;
    const double lambda2 = endLongitudeE6 * kRadiansPerDegree / 1000000.0;
    const double sa = std::sin((phi1 - phi2) / 2);
    const double sb = std::sin((lambda1 - lambda2) / 2);
    const double a = sa * sa;
    const double b = sb * sb;
    const double h = std::cos(phi2) * std::cos(phi1) * b + a;
    const double d = 2 * kEarthRadiusM * std::asin(std::sqrt(std::min(1.0, h)));
    if (std::isnan(h))
        return 0;
    if (!std::isfinite(d))
        return 0;
    return static_cast<std::int64_t>(d);
}

std::int64_t PlaceFinder::latitudeFromString(std::string_view text)
{
    return coordinateFromString(text, 'N', 'S');
}

std::int64_t PlaceFinder::longitudeFromString(std::string_view text)
{
    return coordinateFromString(text, 'E', 'W');
}

std::string PlaceFinder::igcStringFromLatitude(double latitude)
{
    return igcStringFromCoordinate(latitude, 2, 'N', 'S');
}

std::string PlaceFinder::igcStringFromLongitude(double longitude)
{
    return igcStringFromCoordinate(longitude, 3, 'E', 'W');
}

} // namespace kalvora
