#include <gtest/gtest.h>

#include <thread>

#include <sys/resource.h>

#include "logbook/backgroundwork.h"

namespace kalvora::test {
namespace {

TEST(BackgroundWork, AWorkerGivesWayOnceAndTheGuiThreadKeepsItsPlace)
{
    const int mine = getpriority(PRIO_PROCESS, 0);
    int before = 0;
    int after = 0;
    int again = 0;
    std::thread worker([&] {
        before = getpriority(PRIO_PROCESS, 0);
        yieldToInteractiveWork(3);
        after = getpriority(PRIO_PROCESS, 0);
        // A pool thread runs many tasks; each asks, the thread sinks only once.
        yieldToInteractiveWork(3);
        again = getpriority(PRIO_PROCESS, 0);
    });
    worker.join();
    EXPECT_EQ(before, mine);
    EXPECT_EQ(after, std::min(19, mine + 3));
    EXPECT_EQ(again, after);
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), mine) << "only the worker thread, not the process";
}

} // namespace
} // namespace kalvora::test
