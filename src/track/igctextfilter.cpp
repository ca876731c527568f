#include "track/igctextfilter.h"

namespace kalvora {

bool isIGCTextCharacter(char c)
{
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return true;
    switch (c) {
    case ' ':
    case '&':
    case '(':
    case ')':
    case '+':
    case '-':
    case '.':
    case '/':
    case ':':
    case '<':
    case '=':
    case '>':
    case '_':
        return true;
    default:
        return false;
    }
}

bool igcTextEditAccepted(std::string_view previous, std::string_view proposed)
{
    if (proposed.size() <= previous.size())
        return true;
    for (const char c : proposed.substr(previous.size())) {
        if (!isIGCTextCharacter(c))
            return false;
    }
    return true;
}

} // namespace kalvora
