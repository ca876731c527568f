#pragma once

// Field readers shared by the IGC readers; internal to the track library.

#include <cstdint>
#include <string_view>

namespace kalvora::igcfields {

/**
 * The leading integer of a fixed-width field: digits after an optional sign,
 * stopping at the first other character; nothing readable gives 0.
 * Sample: "-0012" is -12, "05a" is 5, "xx" is 0.
 */
inline std::int64_t leadingInt(std::string_view field)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) {
        negative = field[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    // A field of the fixed layout has at most 8 digits; longer ones are cut so
    // that no input can overflow.
    for (std::size_t n = 0; i < field.size() && n < 18; ++i, ++n) {
        const char c = field[i];
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

/** Field of WIDTH characters at POS, shorter or empty where LINE ends. */
inline std::string_view field(std::string_view line, std::size_t pos, std::size_t width)
{
    if (pos >= line.size())
        return {};
    return line.substr(pos, width);
}

/** True when TEXT begins with PREFIX, ignoring ASCII letter case. PREFIX is upper case. */
inline bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace kalvora::igcfields
