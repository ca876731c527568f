// The flight shapes of tools/xcshapes against the exhaustive search: thinned
// whole flights and stretches of them at full density, small enough for a
// cubic reference. The same shapes at full size are for the XC benchmark.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "track/xcoptimizer.h"
#include "xcreference.h"
#include "xcshapes/xcshapes.h"

namespace {

using kalvora::XCFix;
using kalvora::XCResult;
namespace shapes = kalvora::xcshapes;

// Fixes as the optimiser reads them from the shape's IGC records.
std::vector<XCFix> fixesOf(const shapes::Shape& shape)
{
    return kalvora::readXCFixes(shapes::igcLines(shape));
}

shapes::Shape stretch(const shapes::Shape& shape, std::size_t from, std::size_t count)
{
    shapes::Shape out{shape.name, {}};
    for (std::size_t i = from; i < std::min(shape.fixes.size(), from + count); ++i)
        out.fixes.push_back(shape.fixes[i]);
    return out;
}

void expectExact(const std::vector<XCFix>& fixes, const std::string& what)
{
    for (int threads : {1, 2}) {
        const auto got = kalvora::optimizeXC(fixes, {.threads = threads});
        ASSERT_TRUE(got.ok()) << what << ": " << got.error();
        const XCResult want = kalvora::test::exhaustiveXC(fixes);
        EXPECT_EQ(got->freeM, want.freeM) << what << ", " << threads << " threads";
        EXPECT_EQ(got->flatM, want.flatM) << what << ", " << threads << " threads";
        EXPECT_EQ(got->faiM, want.faiM) << what << ", " << threads << " threads";
    }
}

const std::vector<shapes::Shape>& allShapes()
{
    static const std::vector<shapes::Shape> all = shapes::allShapes();
    return all;
}

} // namespace

TEST(XCFlightShapes, ThinnedShapesScoreTheExactOptimum)
{
    constexpr std::size_t kFixes = 450;
    for (const shapes::Shape& shape : allShapes()) {
        const int stride = int((shape.fixes.size() + kFixes - 1) / kFixes);
        expectExact(fixesOf(shapes::thinned(shape, stride)), shape.name + " thinned");
    }
}

TEST(XCFlightShapes, FullDensityStretchesScoreTheExactOptimum)
{
    // Several stretches of each shape as recorded, one fix a second: where
    // ties between nearly equal fix triples are thickest.
    constexpr std::size_t kFixes = 450;
    for (const shapes::Shape& shape : allShapes()) {
        const std::size_t n = shape.fixes.size();
        for (std::size_t from : {std::size_t(0), n / 3, n > kFixes ? n - kFixes : 0}) {
            const auto fixes = fixesOf(stretch(shape, from, kFixes));
            expectExact(fixes, shape.name + " from fix " + std::to_string(from));
        }
    }
}

TEST(XCFlightShapes, LongerStretchesScoreTheExactOptimum)
{
    // Past 2048 fixes the closing bounds come from three levels of block
    // tables, and the free distance from more than a handful of rows: long
    // enough stretches of a ridge (places revisited in every order) and of a
    // flight of thermals and glides, against the cubic reference once each.
    constexpr std::size_t kFixes = 2200;
    for (const shapes::Shape& shape : allShapes()) {
        if (shape.name.rfind("ridge-3km-4h", 0) != 0 && shape.name.rfind("long-20h", 0) != 0)
            continue;
        const auto fixes = fixesOf(stretch(shape, shape.fixes.size() / 2, kFixes));
        ASSERT_GT(fixes.size(), 2048u) << shape.name;
        const XCResult want = kalvora::test::exhaustiveXC(fixes);
        for (int threads : {1, 2}) {
            const auto got = kalvora::optimizeXC(fixes, {.threads = threads});
            ASSERT_TRUE(got.ok()) << shape.name << ": " << got.error();
            EXPECT_EQ(got->freeM, want.freeM) << shape.name << ", " << threads << " threads";
            EXPECT_EQ(got->flatM, want.flatM) << shape.name << ", " << threads << " threads";
            EXPECT_EQ(got->faiM, want.faiM) << shape.name << ", " << threads << " threads";
        }
    }
}

TEST(XCFlightShapes, CancellingStopsTheSearchOnEveryShape)
{
    using Clock = std::chrono::steady_clock;
    for (const shapes::Shape& shape : allShapes()) {
        const auto fixes = fixesOf(shape);
        std::atomic<bool> cancel{false};
        auto running = std::async(std::launch::async, [&] {
            return kalvora::optimizeXC(fixes, {.threads = 2, .cancel = &cancel});
        });
        // Long enough to be well inside the search on the larger shapes.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto asked = Clock::now();
        cancel = true;
        // How quickly it stops is the benchmark's business; here it must stop,
        // and must not pass a cut-short search off as a result.
        ASSERT_EQ(running.wait_for(std::chrono::seconds(30)), std::future_status::ready) << shape.name;
        const auto r = running.get();
        const double waitedS = std::chrono::duration<double>(Clock::now() - asked).count();
        if (!r.ok()) {
            EXPECT_NE(r.error().find("cancel"), std::string::npos) << shape.name << ": " << r.error();
        }
        RecordProperty(shape.name + "_stop_s", std::to_string(waitedS));
    }
}
