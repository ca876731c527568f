// Memory running out during a computation: the optimiser must report failure
// and leave the flight as it was, at whichever allocation it happens.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "track/igcflight.h"
#include "track/igcscrore.h"
#include "xcshapes.h"

// The replaced operators pair malloc with free; GCC cannot see that they replace each other.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

// Allocations of at least this many bytes fail while armed; 0 disarms.
std::atomic<std::size_t> g_failFrom{0};

} // namespace

void* operator new(std::size_t size)
{
    const std::size_t limit = g_failFrom.load(std::memory_order_relaxed);
    if (limit != 0 && size >= limit)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

TEST(XCMemory, RunningOutOfMemoryFailsTheComputationNotTheProcess)
{
    std::vector<std::string> lines;
    int t = 36000;
    for (const auto& fix : kalvora::test::fixesAlong({{0, 0}, {20000, 0}, {10000, 15000}, {500, 500}}, 20))
        lines.push_back(kalvora::test::bRecord(fix, t++));
    ASSERT_GT(lines.size(), 2000u);

    kalvora::IGCFlight reference;
    reference.igcLines = lines;
    ASSERT_TRUE(kalvora::IGCScrore::calcFlightData(reference).ok());

    // From "every larger table" down to "every list entry".
    int failures = 0;
    for (std::size_t limit : {std::size_t(1) << 22, std::size_t(1) << 18, std::size_t(1) << 14, std::size_t(1) << 10,
                              std::size_t(64)}) {
        kalvora::IGCFlight flight;
        flight.igcLines = lines;
        flight.freeDistance = 0; // "n/a" until scored
        g_failFrom = limit;
        const auto done = kalvora::IGCScrore::calcFlightData(flight);
        g_failFrom = 0;
        if (done.ok()) {
            EXPECT_EQ(flight.freeDistance, reference.freeDistance) << limit;
            EXPECT_EQ(flight.faiDistance, reference.faiDistance) << limit;
        } else {
            ++failures;
            EXPECT_NE(done.error().find("memory"), std::string::npos) << done.error();
            EXPECT_EQ(flight.freeDistance, 0) << limit;
            EXPECT_TRUE(flight.scorePoints.empty()) << limit;
        }
    }
    EXPECT_GE(failures, 3);
}
