#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kalvora {

/**
 * The name cleaner of the Bräuniger and Flytec protocols: umlauts and "ß", "ñ"
 * spelled out (ä -> ae, Ü -> Ue, ß -> ss, ñ -> n), then every character outside
 * kAllowedInstrumentChars dropped. TEXT is UTF-8; the result is ASCII.
 */
[[nodiscard]] std::string removeForbiddenChars(std::string_view text);

/** The characters an instrument text field may hold. */
inline constexpr std::string_view kAllowedInstrumentChars =
    " &()+-./0123456789:<=>ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";

/** TEXT padded with spaces and cut to exactly WIDTH bytes. */
[[nodiscard]] std::string padOrCut(std::string_view text, std::size_t width);

/**
 * The input guard of the instruments' text fields: an edit from OLDTEXT to NEWTEXT
 * is accepted when the new text is not longer, refused when both are 16 or more
 * characters long, and otherwise only when the added text is one piece of allowed
 * characters. (Texts are compared as UTF-8 bytes.)
 */
[[nodiscard]] bool isAcceptableInstrumentEdit(std::string_view oldText, std::string_view newText);

} // namespace kalvora
