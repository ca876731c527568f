#pragma once

namespace kalvora {

/**
 * Lets the calling worker thread give way to the GUI thread: its nice value is
 * raised by @p steps (once per thread; later calls do nothing). An import and
 * the scoring behind it keep two processors busy on a small machine, and at
 * the same weight the GUI thread would wait its turn behind them for tens of
 * milliseconds. The workers still take every processor the GUI leaves idle.
 * Threads the worker starts afterwards inherit the value. Worker threads only.
 */
void yieldToInteractiveWork(int steps = 5);

} // namespace kalvora
