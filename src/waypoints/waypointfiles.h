#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "waypoints/waypointrecord.h"

namespace kalvora {

/**
 * The name filters of the waypoint files the import reads, for file choosers:
 * first one filter that takes every readable kind, then one per kind. A new
 * reader registered here appears in every chooser by itself. Any thread.
 */
[[nodiscard]] QStringList waypointFileNameFilters();

/**
 * The waypoint records of the file at PATH, in file order, read by the reader
 * its extension names; empty when it names none or the file cannot be read.
 * Blocks on the file: call it from a worker thread for user files.
 */
[[nodiscard]] std::vector<WaypointRecord> readWaypointFile(const QString& path);

} // namespace kalvora
