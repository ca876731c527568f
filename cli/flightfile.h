#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "track/igcflight.h"

namespace kalvora::cli {

/**
 * The bytes of the IGC file at PATH: a regular file of at most the IGC size
 * limit. nullopt after printing why not (missing, a device or pipe, too large).
 */
std::optional<QByteArray> readIGCFile(const QString& path);

/**
 * True when BYTES look like an IGC record: text (no control characters but
 * line ends and tabs) with a date record and at least one fix.
 */
bool isIGCRecord(const QByteArray& bytes);

/**
 * The analysed flight of the IGC file at PATH, as the logbook analyses it;
 * nullopt after printing why there is none (unreadable file, no usable fixes).
 */
std::optional<IGCFlight> readAnalysedFlight(const QString& path);

} // namespace kalvora::cli
