#include "instruments/flytectextformatter.h"

#include <utility>

namespace kalvora {

std::string removeForbiddenChars(std::string_view text)
{
    static const std::pair<std::string_view, std::string_view> replacements[] = {
        {"\xC3\xA4", "ae"}, {"\xC3\x84", "Ae"}, {"\xC3\xB6", "oe"}, {"\xC3\x96", "Oe"}, {"\xC3\xBC", "ue"},
        {"\xC3\x9C", "Ue"}, {"\xC3\x9F", "ss"}, {"\xC3\xB1", "n"},
    };
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        for (const auto& [from, to] : replacements) {
            if (text.substr(i, from.size()) == from) {
                out += to;
                i += from.size();
                replaced = true;
                break;
            }
        }
        if (replaced)
            continue;
        const char c = text[i++];
        if (kAllowedInstrumentChars.find(c) != std::string_view::npos)
            out += c;
    }
    return out;
}

std::string padOrCut(std::string_view text, std::size_t width)
{
    std::string out(text.substr(0, width));
    out.resize(width, ' ');
    return out;
}

bool isAcceptableInstrumentEdit(std::string_view oldText, std::string_view newText)
{
    if (newText.size() <= oldText.size())
        return true;
    if (oldText.size() >= 16 && newText.size() >= 16)
        return false;
    // The added piece: what remains of the new text once the common head and tail are taken off.
    std::size_t head = 0;
    while (head < oldText.size() && oldText[head] == newText[head])
        ++head;
    std::size_t tail = 0;
    while (tail < oldText.size() - head && oldText[oldText.size() - 1 - tail] == newText[newText.size() - 1 - tail])
        ++tail;
    const std::string_view added = newText.substr(head, newText.size() - head - tail);
    return kAllowedInstrumentChars.find(added) != std::string_view::npos;
}

} // namespace kalvora
