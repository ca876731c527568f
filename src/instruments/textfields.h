#pragma once

#include <string_view>
#include <vector>

namespace kalvora {

/** TEXT cut at every character of SEPARATORS; n separators give n + 1 fields, empty ones included. */
[[nodiscard]] inline std::vector<std::string_view> splitFields(std::string_view text, std::string_view separators)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = text.find_first_of(separators, start);
        if (pos == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

/** The value of one hexadecimal digit (either case); -1 for any other character. */
[[nodiscard]] inline int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace kalvora
