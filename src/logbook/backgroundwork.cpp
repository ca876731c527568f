#include "logbook/backgroundwork.h"

#include <algorithm>
#include <cerrno>

#include <sys/resource.h>

namespace kalvora {

void yieldToInteractiveWork(int steps)
{
    thread_local bool lowered = false;
    if (lowered || steps <= 0)
        return;
    lowered = true;
    // On Linux the nice value belongs to the thread, so PRIO_PROCESS with 0 names this thread alone.
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, 0);
    if (current == -1 && errno != 0)
        return;
    // A refusal leaves the thread as it was: slower screens, never a failed import.
    (void)setpriority(PRIO_PROCESS, 0, std::min(19, current + steps));
}

} // namespace kalvora
