#pragma once

#include <QString>

#include <optional>
#include <string_view>

#include "track/result.h"

namespace kalvora {

/**
 * The KML coordinate list of an IGC record: for each B record long enough to
 * hold a fix, "\n" + longitude, latitude [deg, 6 decimals] and GPS altitude
 * [m, negative as 0], separated by commas. Fixes at latitude or longitude 0 are
 * left out; an empty record gives an empty list. Any thread.
 */
[[nodiscard]] QString getCoordStringForKLM(std::string_view igc);

/** The built-in KML template (UTF-8 text holding "@@coords@@"); nullopt when it cannot be read. */
[[nodiscard]] std::optional<QString> builtInKmlTemplate();

/** TEMPLATE with every "@@coords@@" replaced by COORDINATES. */
[[nodiscard]] QString kmlFromTemplate(const QString& kmlTemplate, const QString& coordinates);

/** The KML document of an IGC record from the built-in template; fails when the template is missing. */
[[nodiscard]] Result<QString> kmlOfIGC(std::string_view igc);

/** Writes TEXT as UTF-8 to PATH, replacing the file atomically. */
[[nodiscard]] Result<Done> writeTextFileAtomically(const QString& path, const QString& text);

} // namespace kalvora
