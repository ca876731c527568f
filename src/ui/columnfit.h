#pragma once

#include <vector>

namespace kalvora {

/**
 * Column widths [px] that share @p available pixels: every column gives up part of what it has above its
 * minimum, in proportion to that slack, until the sum fits. Widths that already fit come back unchanged;
 * the sum stays above @p available only when every column is at its minimum. Lists of different lengths
 * come back unchanged. Any thread.
 */
[[nodiscard]] std::vector<int> fitColumnWidths(const std::vector<int>& widths, const std::vector<int>& minimums,
                                               int available);

/**
 * Column widths [px] grown toward @p targets with up to @p room extra pixels: the columns below their target
 * share the room in proportion to what they lack, none beyond its target. Columns at or above their target,
 * and lists of different lengths, come back unchanged. Any thread.
 */
[[nodiscard]] std::vector<int> growColumnWidths(const std::vector<int>& widths, const std::vector<int>& targets,
                                                int room);

} // namespace kalvora
