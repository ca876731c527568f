#pragma once

#include <QStringList>

namespace kalvora::cli {

/**
 * `read FILE [--routes]`: the waypoints of a waypoint file in any known
 * format as a JSON array of records on stdout, and a line on stderr naming
 * the format and the entries that could not be read. USAGE is printed for
 * wrong arguments. Shared by `waypoints read` and its older name `wpt read`.
 */
int runWaypointFileRead(const QStringList& args, const char* usage);

} // namespace kalvora::cli
