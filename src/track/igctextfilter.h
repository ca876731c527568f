#pragma once

#include <string_view>

namespace kalvora {

/** True for the characters allowed in text typed into IGC headers:
    space, "&()+-./", digits, ":<=>", ASCII letters and "_". */
[[nodiscard]] bool isIGCTextCharacter(char c);

/**
 * The input rule of text fields whose text goes into IGC headers: an edit from
 * PREVIOUS to PROPOSED that makes the text longer is accepted only when every
 * character after the previous length is an IGC text character; an edit that
 * does not make it longer is always accepted.
 */
[[nodiscard]] bool igcTextEditAccepted(std::string_view previous, std::string_view proposed);

} // namespace kalvora
