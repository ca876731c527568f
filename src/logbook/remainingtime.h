#pragma once

#include <QString>

namespace kalvora {

/**
 * The time a job of TOTAL items still needs when DONE of them took ELAPSEDMS,
 * at the pace so far [ms]; -1 while nothing is done yet (no pace to go by).
 */
[[nodiscard]] qint64 remainingTimeMs(qint64 elapsedMs, int done, int total);

/**
 * remainingTimeMs() for people: "about 4 minutes left", "about 1 h 20 min
 * left", "less than a minute left"; "estimating the time left" before the
 * first item is done.
 */
[[nodiscard]] QString remainingTimeText(qint64 elapsedMs, int done, int total);

} // namespace kalvora
