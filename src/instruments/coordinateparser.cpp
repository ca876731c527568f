#include "instruments/coordinateparser.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace kalvora {

std::int64_t coordinateE6FromString(std::string_view text)
{
    if (text.empty())
        return 0;
    const auto isHemisphere = [](char c) {
        switch (c) {
        case 'N': case 'n': case 'S': case 's': case 'E': case 'e': case 'W': case 'w': return true;
        default: return false;
        }
    };
    char hemisphere = 0;
    if (isHemisphere(text.back())) {
        hemisphere = text.back();
        text.remove_suffix(1);
    } else if (isHemisphere(text.front())) {
        hemisphere = text.front();
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 12)
        return 0;
    for (char c : text)
        if (c < '0' || c > '9')
            return 0;
    const std::size_t split = text.size() > 5 ? text.size() - 5 : 0;
    long long degrees = 0;
    for (char c : text.substr(0, split))
        degrees = degrees * 10 + (c - '0');
    long long thousandths = 0;
    for (char c : text.substr(split))
        thousandths = thousandths * 10 + (c - '0');
    double value = double(degrees) + double(thousandths) / 1000.0 / 60.0;
    if (hemisphere == 'S' || hemisphere == 's' || hemisphere == 'W' || hemisphere == 'w')
        value = -value;
    return static_cast<std::int64_t>(std::llround(value * 1000000.0));
}

MinuteThousandths minuteThousandths(double degrees)
{
    double a = std::fabs(degrees);
    if (!(a <= 360.0))
        a = std::isnan(a) ? 0.0 : 360.0;
    const long long total = std::llround(a * 60000.0);
    return {static_cast<int>(total / 60000), static_cast<int>(total / 1000 % 60),
            static_cast<int>(total % 1000)};
}

double leadingNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::string number;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        number += text[i++];
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        number += text[i++];
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            number += text[i++];
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    // from_chars, unlike strtod, ignores LC_NUMERIC.
    const char* begin = number.data();
    if (*begin == '+')
        ++begin;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(begin, number.data() + number.size(), value);
    (void)end;
    return ec == std::errc() && std::isfinite(value) ? value : 0.0;
}

std::string fixedText(double value, int decimals, int minWidth)
{
    std::string text;
    if (std::isnan(value)) {
        text = "nan";
    } else if (std::isinf(value)) {
        text = value < 0 ? "-inf" : "inf";
    } else {
        char buffer[400]; // the longest double in fixed notation, with room for the decimals
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                             decimals < 0    ? 0
                                             : decimals > 17 ? 17
                                                             : decimals);
        text.assign(buffer, ec == std::errc() ? end : buffer);
    }
    if (int(text.size()) < minWidth)
        text.insert(0, std::size_t(minWidth) - text.size(), ' ');
    return text;
}

long long leadingInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value < 100000000000000LL)
            value = value * 10 + (text[i] - '0');
        ++i;
    }
    return negative ? -value : value;
}

} // namespace kalvora
