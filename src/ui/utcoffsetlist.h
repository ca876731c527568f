#pragma once

#include <QStringList>

namespace kalvora {

/**
 * The label of a UTC offset in the logbook window's offset choice list: the whole
 * hours as "%d" (zero or negative) or "+%d" (positive), then ":%02d" of the
 * minutes when the offset has a fractional part. -9.5 reads "-9:30", 5.75 reads
 * "+5:45", as time-zone offsets are written. Any thread.
 * @param offsetHours [h]
 */
[[nodiscard]] QString utcOffsetLabel(double offsetHours);

/** The 40 labels of the UTC offset table, in table order (entry 15 is "0"). Any thread. */
[[nodiscard]] QStringList utcOffsetLabels();

/** The list position selected when a logbook window opens: offset 0. */
inline constexpr int kDefaultUtcOffsetRow = 15; // UtcOffsetZeroIndex

} // namespace kalvora
