#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "track/xcoptimizer.h"
#include "xcreference.h"
#include "xcshapes.h"

using kalvora::XCFix;
using kalvora::XCResult;
using kalvora::xcDistanceM;

namespace {

// ---- generated tracks -------------------------------------------------------

double quantize(double deg)
{
    // IGC resolution: thousandths of a minute.
    return std::round(deg * 60000.0) / 60000.0;
}

enum class Shape { RandomWalk, ClosedLoop, OutAndReturn, ZigZag, Meridian };

std::vector<XCFix> makeTrack(Shape shape, int n, std::mt19937& rng, bool igcGrid)
{
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<XCFix> fixes;
    const double lat0 = 46.0 + 2 * u(rng), lon0 = -7.0 + 3 * u(rng); // west-positive inside
    const double scale = 0.0005 + 0.004 * (u(rng) + 1); // degrees per step
    double lat = lat0, lon = lon0;
    const double pi = 3.14159265358979323846;
    for (int t = 0; t < n; ++t) {
        const double f = n > 1 ? double(t) / (n - 1) : 0.0;
        switch (shape) {
        case Shape::RandomWalk:
            lat += scale * u(rng);
            lon += scale * u(rng);
            break;
        case Shape::ClosedLoop: {
            // A triangle-ish loop with jitter; start and finish near each other.
            const double a = 2 * pi * f;
            const double r = scale * n / 6 * (1 + 0.3 * std::sin(3 * a));
            lat = lat0 + r * std::sin(a) + 0.2 * scale * u(rng);
            lon = lon0 + r * (1 - std::cos(a)) + 0.2 * scale * u(rng);
            break;
        }
        case Shape::OutAndReturn: {
            const double g = f < 0.5 ? 2 * f : 2 - 2 * f;
            lat = lat0 + g * scale * n / 3 + 0.3 * scale * u(rng);
            lon = lon0 + g * scale * n / 5 + 0.3 * scale * u(rng);
            break;
        }
        case Shape::ZigZag: {
            const int leg = t / std::max(1, n / 7);
            lat += scale * (leg % 2 == 0 ? 1.0 : -0.8) + 0.1 * scale * u(rng);
            lon += scale * 0.7 + 0.1 * scale * u(rng);
            break;
        }
        case Shape::Meridian:
            // Evenly spaced along one meridian: where per-pair rounding defeats "k × step".
            lat = lat0 + t * (0.000154433 + scale * 0.01);
            lon = lon0;
            break;
        }
        XCFix fix;
        fix.latitudeDeg = igcGrid ? quantize(lat) : lat;
        fix.longitudeWDeg = igcGrid ? quantize(lon) : lon;
        fix.timeS = 36000 + t;
        fixes.push_back(fix);
    }
    return fixes;
}

std::int64_t D(const std::vector<XCFix>& f, int i, int j)
{
    return i <= j ? xcDistanceM(f[i], f[j]) : xcDistanceM(f[j], f[i]);
}

// The points the optimiser reports must score exactly the distances it reports.
void expectPointsScore(const std::vector<XCFix>& f, const XCResult& r, const std::string& what)
{
    const auto& p = r.freePoints;
    EXPECT_TRUE(p[0] <= p[1] && p[1] <= p[2] && p[2] <= p[3] && p[3] <= p[4]) << what;
    EXPECT_EQ(D(f, p[0], p[1]) + D(f, p[1], p[2]) + D(f, p[2], p[3]) + D(f, p[3], p[4]), r.freeM) << what;
    for (int fai = 0; fai < 2; ++fai) {
        const auto& q = fai ? r.faiPoints : r.flatPoints;
        const int value = fai ? r.faiM : r.flatM;
        if (value == 0)
            continue;
        EXPECT_TRUE(q[0] <= q[1] && q[1] < q[2] && q[2] < q[3] && q[3] <= q[4]) << what;
        const std::int64_t s1 = D(f, q[1], q[2]), s2 = D(f, q[2], q[3]), s3 = D(f, q[1], q[3]);
        const std::int64_t p = s1 + s2 + s3, c = D(f, q[0], q[4]);
        EXPECT_EQ(p - c, value) << what;
        EXPECT_LE(5 * c, p) << what;
        const bool shaped = 25 * s1 >= 7 * p && 25 * s2 >= 7 * p && 25 * s3 >= 7 * p;
        EXPECT_EQ(shaped, bool(fai)) << what;
    }
}

std::string describe(Shape s, int n, std::uint32_t seed)
{
    return "shape " + std::to_string(int(s)) + ", " + std::to_string(n) + " fixes, seed " + std::to_string(seed);
}

std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string testdata(const std::string& rel)
{
    const std::filesystem::path p = std::filesystem::path(KALVORA_TESTDATA_DIR) / rel;
    return std::filesystem::exists(p) ? p.string() : std::string();
}

} // namespace

// ---- exactness ------------------------------------------------------------------

TEST(XCOptimizerExact, EqualsExhaustiveSearchOnGeneratedTracks)
{
    const Shape shapes[] = {Shape::RandomWalk, Shape::ClosedLoop, Shape::OutAndReturn, Shape::ZigZag,
                            Shape::Meridian};
    int tracks = 0;
    for (std::uint32_t seed = 1; seed <= 600; ++seed) {
        std::mt19937 rng(seed);
        for (Shape shape : shapes) {
            // Mostly small tracks, a few up to 400 fixes.
            const double x = std::uniform_real_distribution<double>(0, 1)(rng);
            const int n = 3 + int(x * x * x * x * x * 397);
            const auto fixes = makeTrack(shape, n, rng, seed % 2 == 0);
            const auto got = kalvora::optimizeXC(fixes, {.threads = 1});
            ASSERT_TRUE(got.ok()) << got.error();
            const XCResult want = kalvora::test::exhaustiveXC(fixes);
            const std::string what = describe(shape, n, seed);
            ASSERT_EQ(got->freeM, want.freeM) << what;
            ASSERT_EQ(got->flatM, want.flatM) << what;
            ASSERT_EQ(got->faiM, want.faiM) << what;
            expectPointsScore(fixes, *got, what);
            ++tracks;
        }
    }
    EXPECT_EQ(tracks, 3000);
}

TEST(XCOptimizerExact, TableAlgorithmAgreesWithExhaustiveOnGeneratedTracks)
{
    // The references check each other where the table algorithm's skip bound holds.
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        std::mt19937 rng(seed);
        const auto fixes = makeTrack(Shape(seed % 4), 20 + int(seed * 3), rng, true);
        const XCResult table = kalvora::test::tableAlgorithmXC(fixes);
        const XCResult full = kalvora::test::exhaustiveXC(fixes);
        EXPECT_EQ(table.freeM, full.freeM) << seed;
        EXPECT_EQ(table.flatM, full.flatM) << seed;
        EXPECT_EQ(table.faiM, full.faiM) << seed;
    }
}

TEST(XCOptimizerExact, MeridianEvenStepsFindsTheTrueFreeDistance)
{
    const std::string path = testdata("xc/meridian-even-steps.igc");
    if (path.empty())
        GTEST_SKIP() << "shared/testdata not found beside the project; skipping";
    const auto fixes = kalvora::readXCFixes(readLines(path));
    ASSERT_EQ(fixes.size(), 830u);
    const auto got = kalvora::optimizeXC(fixes);
    ASSERT_TRUE(got.ok());
    // Hand-checked: every fix is 9.266 m after the last; the best path runs the
    // whole line in legs whose rounding adds up to 5,838 m.
    EXPECT_EQ(got->freeM, 5838);
    // The table algorithm's "k fixes apart ≤ k × 9 m" skip misses 10 m of it.
    EXPECT_EQ(kalvora::test::tableAlgorithmXC(fixes).freeM, 5828);
    EXPECT_EQ(kalvora::test::exhaustiveXC(fixes).freeM, 5838);
    expectPointsScore(fixes, *got, "meridian");
}

// On a straight line nearly every choice of turnpoints ties with the best,
// which leaves bounds nothing to prune; these finished only after hours of
// cubic search before the exact programme took over.
TEST(XCOptimizerExact, NearlyStraightLinesAreScoredExactly)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(-3, 3);
    std::vector<XCFix> wobbly;
    for (const XCFix& f : kalvora::test::fixesAlong({{0, 0}, {1500, 9000}}, 20)) {
        XCFix g = f;
        g.latitudeDeg += jitter(rng) / kalvora::test::kMetresPerDegree;
        g.longitudeWDeg += jitter(rng) / kalvora::test::kMetresPerDegree;
        wobbly.push_back(g);
    }
    for (int threads : {1, 2}) {
        const auto got = kalvora::optimizeXC(wobbly, {.threads = threads});
        ASSERT_TRUE(got.ok()) << got.error();
        const XCResult want = kalvora::test::exhaustiveXC(wobbly);
        EXPECT_EQ(got->freeM, want.freeM) << threads;
        EXPECT_EQ(got->flatM, want.flatM) << threads;
        EXPECT_EQ(got->faiM, want.faiM) << threads;
        expectPointsScore(wobbly, *got, "wobbly line");
    }

    // 100 km in 10,000 fixes: every turnpoint on the line scores the same.
    const auto line = kalvora::test::fixesAlong({{0, 0}, {0, 100000}}, 10);
    const auto got = kalvora::optimizeXC(line, {});
    ASSERT_TRUE(got.ok()) << got.error();
    const int ends = kalvora::xcDistanceM(line.front(), line.back());
    EXPECT_GE(got->freeM, ends);
    EXPECT_LE(got->freeM, ends + 2); // four legs, each rounded to the metre
    expectPointsScore(line, *got, "straight line");
}

TEST(XCOptimizerExact, EqualsTableAlgorithmOnThinnedRecordings)
{
    const std::string dir = testdata("igc");
    if (dir.empty())
        GTEST_SKIP() << "shared/testdata not found beside the project; skipping";
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".igc")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    constexpr std::size_t kMaxFixes = 1500;
    for (const auto& file : files) {
        const auto all = kalvora::readXCFixes(readLines(file.string()));
        const std::size_t stride = (all.size() + kMaxFixes - 1) / kMaxFixes;
        std::vector<XCFix> fixes;
        for (std::size_t i = 0; i < all.size(); i += std::max<std::size_t>(1, stride))
            fixes.push_back(all[i]);
        const auto got = kalvora::optimizeXC(fixes);
        ASSERT_TRUE(got.ok()) << file;
        const XCResult want = kalvora::test::tableAlgorithmXC(fixes);
        EXPECT_EQ(got->freeM, want.freeM) << file;
        EXPECT_EQ(got->flatM, want.flatM) << file;
        EXPECT_EQ(got->faiM, want.faiM) << file;
        expectPointsScore(fixes, *got, file.string());
    }
}
