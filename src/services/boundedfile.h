#pragma once

#include <QByteArray>
#include <QString>

#include "track/result.h"

namespace kalvora {

/** [bytes] The largest IGC record read: a day of fixes every second is a few megabytes. */
inline constexpr qint64 maxIGCFileBytes = 64 * 1024 * 1024;
/** [bytes] The largest waypoint file read: 100,000 waypoints take about 10 MB. */
inline constexpr qint64 maxWaypointFileBytes = 64 * 1024 * 1024;

/**
 * The whole content of the regular file at PATH, at most MAXBYTES [bytes].
 * Folders, devices (such as /dev/zero), FIFOs and sockets are refused before
 * a byte is read, so that nothing waits for a writer or reads without end;
 * the cap holds also for files whose size the system reports as 0 (/proc).
 * @return the bytes, or a sentence for the user saying why not (it does not
 *         name PATH). Never blocks on a FIFO, never throws. Any thread.
 */
[[nodiscard]] Result<QByteArray> readRegularFile(const QString& path, qint64 maxBytes);

} // namespace kalvora
