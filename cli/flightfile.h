#pragma once

#include <QString>

#include <optional>

#include "track/igcflight.h"

namespace kalvora::cli {

/**
 * The analysed flight of the IGC file at PATH, as the logbook analyses it;
 * nullopt after printing why there is none (unreadable file, no usable fixes).
 */
std::optional<IGCFlight> readAnalysedFlight(const QString& path);

} // namespace kalvora::cli
