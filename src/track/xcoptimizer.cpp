#include "track/xcoptimizer.h"
#include "track/vectorstate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <deque>
#include <memory>
#include <mutex>


// How the search stays exact.
//
// Scores are sums of whole-metre legs D(i, j) = trunc(R·acos(c) + 0.5). A bound
// in the style "k fixes apart means at most k × step" ignores that rounding and
// can miss the optimum. Here every bound is a bound on the geometric distance
// between two sets of fixes (the boxes of their unit vectors), widened by a
// margin larger than the floating-point error of the law of cosines and only
// then rounded the same way; since the rounding is monotone, the bound holds
// for every whole-metre leg. Leaves are always evaluated with the exact D.
// The bounds are whole metres that a leg cannot exceed (not "one more, to be
// safe"), and a range is dropped when it cannot beat the best value: ranges
// that can at most tie with it are pruned, which is what keeps tracks full of
// near-equal fix triples (straight glides, ridge soaring) from exploding.
//
// Two shapes need more than the sides' bounds one by one. A vertex between the
// other two adds nothing to a flat perimeter, so on a line every choice of it
// ties: the perimeter is bounded jointly, over the corners of one range's box
// (the sum of two distances is convex in the middle point). An FAI triangle is
// fat, so its perimeter is bounded by the narrowest slab that holds all three
// ranges: on a ridge, a few hundred metres wide, that rules out most triples
// long before their boxes are small.
//
// Where the free distance's bounds cannot prune (near a straight line nearly
// every triple ties), an exact dynamic programme over pairs takes over: the
// best head into each fix, then the best two legs into each fix, each row a
// branch and bound of its own that reaches the line's ties through the
// triangle inequality (see bestEarlier).
//
// The free distance is a depth-first branch and bound over triples of fix
// ranges (turnpoint 1, 2, 3) taken from one binary tree of index ranges,
// started from a list of the most promising sub-triples that two threads
// share. Its first and last legs are exact per fix (farthest earlier / later
// fix). The triangles are the same branch and bound over a second tree that
// groups fixes by place rather than by time (see boundsFor): on a track that
// passes the same places again and again a range of consecutive fixes soon
// covers the whole area, while a node of places stays small (it is split by
// time only where that bounds the closing better, see buildSpace). The closing
// distance of a triangle is bounded from below by tables over blocks of fixes
// (from their boxes; fine near the diagonal, coarse far from it, see
// buildClosingBounds) and computed exactly, for a block of 32 × 32 first and
// last vertices at a time, only where those bounds cannot decide.
// Memory: the two trees (2n nodes each), a table of at most kGridBlocks²
// entries, banded tables of 16 entries per block and level (32n in all) and
// bounded caches, per thread: it grows linearly with the fixes, with a fixed
// ceiling for the caches.

namespace kalvora {
namespace {

constexpr double kEarthRadiusM = 6371000.0;
constexpr double kDegToRad = 0.017453292519943295;
/** Blocks of the closing-distance table; its size is kGridBlocks² × 4 bytes. */
constexpr int kGridBlocks = 1024;
/** [s] A step back in time at least this long between fixes is a crossing of 00:00 UTC. */
constexpr int kMidnightStepS = 36000;
/** Ranges whose fix triples number at most this are evaluated one by one. */
constexpr std::int64_t kLeafTriples = 24;
/** Cached exact closing distances before the cache starts over. */
constexpr std::size_t kClosingCacheMax = 1 << 18;
/** Fixes per side of an exact closing-distance table, and how many tables are kept (16 KB each). */
constexpr int kTableBlock = 32;
constexpr std::size_t kTablesMax = 256;

struct Trig
{
    double sinLat;
    double cosLat;
    double lonRad;
};

Trig trigOf(const XCFix& fix)
{
    const double lat = fix.latitudeDeg * kDegToRad;
    return {std::sin(lat), std::cos(lat), fix.longitudeWDeg * kDegToRad};
}

// The one place where a leg is measured; callers pass the earlier fix first.
int legM(const Trig& a, const Trig& b)
{
    double c = a.sinLat * b.sinLat + a.cosLat * b.cosLat * std::cos(a.lonRad - b.lonRad);
    // Two fixes at the same place must be 0 m apart, and rounding must not feed acos a NaN.
    c = std::clamp(c, -1.0, 1.0);
    return static_cast<int>(std::acos(c) * kEarthRadiusM + 0.5);
}

struct Box
{
    double lo[3];
    double hi[3];
};

double maxChord2(const Box& a, const Box& b)
{
    double s = 0;
    for (int d = 0; d < 3; ++d) {
        const double m = std::max(a.hi[d] - b.lo[d], b.hi[d] - a.lo[d]);
        s += m * m;
    }
    return s;
}

double minChord2(const Box& a, const Box& b)
{
    double s = 0;
    for (int d = 0; d < 3; ++d) {
        const double g = std::max({0.0, a.lo[d] - b.hi[d], b.lo[d] - a.hi[d]});
        s += g * g;
    }
    return s;
}

double arcM(double chord2)
{
    // The series of 2 asin(x / 2) up to x⁷ is off by less than 2e-12 of the arc
    // while chords stay under 0.1 (640 km), far inside the 1e-9 that every
    // bound leaves for floating-point error, and it spares the bounds an asin.
    if (chord2 <= 0.01)
        return kEarthRadiusM * std::sqrt(chord2)
               * (1 + chord2 * (1.0 / 24 + chord2 * (3.0 / 640 + chord2 * (5.0 / 7168))));
    const double half = std::min(1.0, std::sqrt(chord2) * 0.5);
    return 2.0 * kEarthRadiusM * std::asin(half);
}

// How far the law of cosines of a leg may stray from the true arc [m]: its
// cosine is off by up to ~6e-16, which moves the arc by up to ~0.22 m near 0 m
// (acos near 1) and by R² · 6e-16 / arc elsewhere, 0.12 mm at 200 m. The
// chord-based arcs here are off by far less (1e-9 relative covers them).
double lawOfCosinesSlackM(double arc)
{
    return arc < 200 ? 0.3 : 1e-3;
}

// A leg is trunc(its law-of-cosines arc + 0.5); with the arc at most ARC plus
// the slack, it is at most floor(ARC + slack + 0.5): rounding-aware, so that
// legs which tie with the best are pruned rather than explored.
int upperLegM(double chord2)
{
    const double arc = arcM(chord2) * (1 + 1e-9);
    return static_cast<int>(arc + lawOfCosinesSlackM(arc) + 0.5);
}

int lowerLegM(double chord2)
{
    const double arc = arcM(chord2) * (1 - 1e-9);
    const double v = arc - lawOfCosinesSlackM(arc) + 0.5;
    return v <= 0 ? 0 : static_cast<int>(v);
}

struct Node
{
    int lo;
    int hi;
    int left;
    int right;
    Box box;
    double diam2; // squared chord across the box: which range to split first
    int maxL;     // largest first leg ending in the range
    int maxF;     // largest last leg starting in the range
    int first = 0; // the earliest and latest fix of the node: its range in the tree over
    int last = 0;  // time, any fixes of the track in the tree over space
    int size() const { return hi - lo + 1; }
};

struct Closing
{
    int value; // exact when below the threshold it was asked for, else at least that threshold
    int a;
    int b;
    int threshold;
};

class Cancelled : public std::exception
{
};

// The branch and bound for the free distance used more leaf work than the
// dynamic programme costs.
class FreeBudgetExceeded : public std::exception
{
};

// The best values found so far, shared by the threads of one search.
struct Shared
{
    std::atomic<int> free{0};
    std::atomic<int> flat{0};
    std::atomic<int> fai{0};
    std::atomic<std::int64_t> freeWork{0};                              // leaf triples evaluated
    std::int64_t freeBudget = std::numeric_limits<std::int64_t>::max(); // before the programme takes over
    std::mutex mutex; // guards the points and the check-and-set of the values
    XCResult::Points freePts{};
    XCResult::Points flatPts{};
    XCResult::Points faiPts{};
};

struct Task
{
    int I, J, K;
    int bound;
};

class Searcher
{
public:
    int bestFree() const { return m_shared->free.load(std::memory_order_relaxed); }
    int bestFlat() const { return m_shared->flat.load(std::memory_order_relaxed); }
    int bestFai() const { return m_shared->fai.load(std::memory_order_relaxed); }
    void setThreads(int threads) { m_threads = threads; }

    Searcher(const std::vector<XCFix>& fixes, const std::atomic<bool>* cancel) : m_cancel(cancel)
    {
        m_n = static_cast<int>(fixes.size());
        m_trig.reserve(fixes.size());
        m_vec.reserve(fixes.size());
        for (const XCFix& f : fixes) {
            const Trig t = trigOf(f);
            m_trig.push_back(t);
            m_vec.push_back({t.cosLat * std::cos(t.lonRad), t.cosLat * std::sin(t.lonRad), t.sinLat});
        }
        m_nodes.reserve(2 * fixes.size());
        m_root = build(0, m_n - 1);
    }

    int leg(int i, int j) const { return i < j ? legM(m_trig[i], m_trig[j]) : legM(m_trig[j], m_trig[i]); }

    void prepareFree()
    {
        m_L.assign(m_n, 0);
        m_Lidx.assign(m_n, 0);
        m_F.assign(m_n, 0);
        m_Fidx.assign(m_n, m_n - 1);
        for (int i = 1; i < m_n; ++i) {
            tick();
            int best = -1;
            int idx = 0;
            if (i >= 2) {
                idx = m_Lidx[i - 1];
                best = leg(idx, i);
            }
            farthest(m_root, i, 0, i - 1, best, idx);
            m_L[i] = best;
            m_Lidx[i] = idx;
        }
        for (int k = m_n - 2; k >= 0; --k) {
            tick();
            int best = -1;
            int idx = m_n - 1;
            if (k <= m_n - 3) {
                idx = m_Fidx[k + 1];
                best = leg(k, idx);
            }
            farthest(m_root, k, k + 1, m_n - 1, best, idx);
            m_F[k] = best;
            m_Fidx[k] = idx;
        }
        fillLegMaxima(m_root);
    }

    void searchFree(XCResult& r)
    {
        m_shared->free.store(r.freeM);
        m_shared->freePts = r.freePoints;
        seedFree();
        std::vector<Task> tasks = freeFrontier();
        // Near a straight line nearly every triple ties with the best, so the
        // bounds prune nothing and the search would take cubic time: hours on
        // a long straight flight. Once the leaves and splits have cost about
        // what the exact dynamic programme costs (a few dozen bounds per fix
        // where it goes well), that programme finishes the job instead.
        m_shared->freeWork.store(0);
        m_shared->freeBudget = kFreeBudgetFloor + kFreeBudgetPerFix * std::int64_t(m_n);
        try {
            runTasks(tasks, [](Searcher& s, const Task& t) { s.freeRec(t.I, t.J, t.K, t.bound); });
        } catch (const FreeBudgetExceeded&) {
            freeByProgramme();
        }
        r.freeM = m_shared->free.load();
        r.freePoints = m_shared->freePts;
    }

    void prepareTriangles()
    {
        m_perm.resize(std::size_t(m_n));
        for (int i = 0; i < m_n; ++i)
            m_perm[std::size_t(i)] = i;
        m_space.clear();
        m_space.reserve(2 * std::size_t(m_n));
        {
            double path = 0;
            for (int i = 1; i < m_n; ++i)
                path += std::sqrt(pointChord2(i - 1, i));
            m_timeScale = path / std::max(1, m_n - 1);
        }
        m_spaceRoot = buildSpace(0, m_n - 1);
        prepareSlabs();
        buildClosingBounds();
    }

    /** Searches the flat triangles, the FAI triangles or both; the other type is left as it is in R. */
    void searchTriangles(XCResult& r, bool flat, bool fai)
    {
        constexpr int kNotSearched = std::numeric_limits<int>::max() / 4;
        m_shared->flat.store(flat ? r.flatM : kNotSearched);
        m_shared->flatPts = r.flatPoints;
        m_shared->fai.store(fai ? r.faiM : kNotSearched);
        m_shared->faiPts = r.faiPoints;
        seedTriangles();
        std::vector<Task> tasks = triFrontier();
        runTasks(tasks, [](Searcher& s, const Task& t) {
            if (s.boundsFor(t.I, t.J, t.K).alive(s.bestFlat(), s.bestFai()))
                s.triRec(t.I, t.J, t.K);
        });
        if (flat) {
            r.flatM = m_shared->flat.load();
            r.flatPoints = m_shared->flatPts;
        }
        if (fai) {
            r.faiM = m_shared->fai.load();
            r.faiPoints = m_shared->faiPts;
        }
    }

private:
    // ---- tasks and threads ------------------------------------------------

    // Runs every task, on this searcher and, with two threads, on a copy of it
    // (the read-only tables copied, the caches left empty). Both prune with the
    // shared best values, taking the most promising tasks first.
    template <typename Fn>
    void runTasks(const std::vector<Task>& tasks, Fn fn)
    {
        std::atomic<std::size_t> next{0};
        auto work = [&](Searcher& s) {
            for (std::size_t i; (i = next.fetch_add(1)) < tasks.size();)
                fn(s, tasks[i]);
        };
        if (m_threads < 2 || tasks.size() < 2) {
            work(*this);
            return;
        }
        std::unique_ptr<Searcher> copy;
        std::thread helper;
        std::exception_ptr helperError, ownError;
        try {
            copy = std::make_unique<Searcher>(*this);
            copy->m_closingCache.clear();
            copy->m_tables.clear();
            helper = std::thread([&] {
                clearUpperVectorState();
                try {
                    work(*copy);
                } catch (...) {
                    helperError = std::current_exception();
                    next.store(tasks.size());
                }
            });
        } catch (const std::system_error&) {
            // No second thread to be had: all on this one.
        }
        try {
            work(*this);
        } catch (...) {
            ownError = std::current_exception();
            next.store(tasks.size());
        }
        if (helper.joinable())
            helper.join();
        if (ownError)
            std::rethrow_exception(ownError);
        if (helperError)
            std::rethrow_exception(helperError);
    }

    static constexpr std::size_t kTasks = 256;
    /** Leaf triples the free-distance search may always use before the programme may take over. */
    static constexpr std::int64_t kFreeBudgetFloor = 200'000;
    static constexpr std::int64_t kFreeBudgetPerFix = 24;

    // The first tasks, split breadth-first from the whole track: BOUND gives a
    // triple's priority, or nothing when it cannot beat the best values.
    template <typename Bound>
    std::vector<Task> frontier(const std::vector<Node>& tree, int root, Bound bound)
    {
        std::vector<Task> done;
        std::deque<Task> open{{root, root, root, std::numeric_limits<int>::max()}};
        while (!open.empty() && open.size() + done.size() < kTasks) {
            const Task t = open.front();
            open.pop_front();
            const int which = splitChoice(tree, t.I, t.J, t.K);
            if (which < 0 || std::int64_t(tree[t.I].size()) * tree[t.J].size() * tree[t.K].size() <= kLeafTriples) {
                done.push_back(t);
                continue;
            }
            int c[2][3] = {{t.I, t.J, t.K}, {t.I, t.J, t.K}};
            c[0][which] = tree[c[0][which]].left;
            c[1][which] = tree[c[1][which]].right;
            for (auto& x : c)
                if (ordered(tree, x[0], x[1], x[2]))
                    if (const std::optional<int> b = bound(x[0], x[1], x[2]))
                        open.push_back({x[0], x[1], x[2], *b});
        }
        done.insert(done.end(), open.begin(), open.end());
        std::sort(done.begin(), done.end(), [](const Task& a, const Task& b) { return a.bound > b.bound; });
        return done;
    }

    std::vector<Task> freeFrontier()
    {
        return frontier(m_nodes, m_root, [this](int I, int J, int K) -> std::optional<int> {
            const int b = freeBound(I, J, K);
            return b > bestFree() ? std::optional<int>(b) : std::nullopt;
        });
    }

    std::vector<Task> triFrontier()
    {
        return frontier(m_space, m_spaceRoot, [this](int I, int J, int K) -> std::optional<int> {
            const TriBounds b = boundsFor(I, J, K);
            if (!b.alive(bestFlat(), bestFai()))
                return std::nullopt;
            return int(std::max(std::int64_t(b.flat) - bestFlat(), std::int64_t(b.fai) - bestFai()));
        });
    }

    // ---- tree -------------------------------------------------------------

    int build(int lo, int hi)
    {
        const int id = static_cast<int>(m_nodes.size());
        m_nodes.push_back(Node{lo, hi, -1, -1, {}, 0, 0, 0, lo, hi});
        Box box;
        if (lo == hi) {
            for (int d = 0; d < 3; ++d)
                box.lo[d] = box.hi[d] = m_vec[lo][d];
        } else {
            const int mid = lo + (hi - lo) / 2;
            const int l = build(lo, mid);
            const int r = build(mid + 1, hi);
            m_nodes[id].left = l;
            m_nodes[id].right = r;
            for (int d = 0; d < 3; ++d) {
                box.lo[d] = std::min(m_nodes[l].box.lo[d], m_nodes[r].box.lo[d]);
                box.hi[d] = std::max(m_nodes[l].box.hi[d], m_nodes[r].box.hi[d]);
            }
        }
        m_nodes[id].box = box;
        double s = 0;
        for (int d = 0; d < 3; ++d)
            s += (box.hi[d] - box.lo[d]) * (box.hi[d] - box.lo[d]);
        m_nodes[id].diam2 = s;
        return id;
    }

    // A node of the tree over space: the fixes at positions LO..HI of m_perm,
    // split at the median of their widest axis, or of their times where the
    // track inside the node is a few times longer than the node is wide:
    // circles drifting in a thermal, where earlier and later fixes apart give
    // the closing distance a bound (the drift between them) that a node of
    // all the circles cannot. Where the track is many times longer than the
    // node is wide, it passes the same places again and again (a ridge, a
    // launch), and its closing is near nothing whatever the times: splitting
    // by time would only multiply the triples. Any split keeps the search
    // exact; this one only decides how fast it prunes.
    static constexpr double kTimeSplitRatio = 8;
    int buildSpace(int lo, int hi)
    {
        tick();
        const int id = static_cast<int>(m_space.size());
        m_space.push_back(Node{lo, hi, -1, -1, {}, 0, 0, 0, m_n, -1});
        Box box = pointBox(m_perm[std::size_t(lo)]);
        int first = m_n, last = -1;
        for (int p = lo; p <= hi; ++p) {
            const int f = m_perm[std::size_t(p)];
            first = std::min(first, f);
            last = std::max(last, f);
            for (int d = 0; d < 3; ++d) {
                box.lo[d] = std::min(box.lo[d], m_vec[std::size_t(f)][d]);
                box.hi[d] = std::max(box.hi[d], m_vec[std::size_t(f)][d]);
            }
        }
        if (lo < hi) {
            int axis = 0;
            for (int d = 1; d < 3; ++d)
                if (box.hi[d] - box.lo[d] > box.hi[axis] - box.lo[axis])
                    axis = d;
            const int mid = lo + (hi - lo) / 2;
            // How much longer the track inside the node is than the node is wide.
            const double ratio = (last - first) * m_timeScale / std::max(1e-300, box.hi[axis] - box.lo[axis]);
            if (ratio > 1 && ratio <= kTimeSplitRatio) {
                // Earlier and later fixes apart.
                std::nth_element(m_perm.begin() + lo, m_perm.begin() + mid, m_perm.begin() + hi + 1);
            } else {
                // Ties by time keep the split the same on every run.
                std::nth_element(m_perm.begin() + lo, m_perm.begin() + mid, m_perm.begin() + hi + 1,
                                 [&](int a, int b) {
                                     const double va = m_vec[std::size_t(a)][std::size_t(axis)];
                                     const double vb = m_vec[std::size_t(b)][std::size_t(axis)];
                                     return va < vb || (va == vb && a < b);
                                 });
            }
            const int l = buildSpace(lo, mid);
            const int r = buildSpace(mid + 1, hi);
            m_space[std::size_t(id)].left = l;
            m_space[std::size_t(id)].right = r;
        }
        Node& nd = m_space[std::size_t(id)];
        nd.box = box;
        nd.first = first;
        nd.last = last;
        double s = 0;
        for (int d = 0; d < 3; ++d)
            s += (box.hi[d] - box.lo[d]) * (box.hi[d] - box.lo[d]);
        nd.diam2 = s;
        return id;
    }

    Box pointBox(int i) const
    {
        Box b;
        for (int d = 0; d < 3; ++d)
            b.lo[d] = b.hi[d] = m_vec[i][d];
        return b;
    }

    void fillLegMaxima(int id)
    {
        Node& nd = m_nodes[id];
        if (nd.left < 0) {
            nd.maxL = m_L[nd.lo];
            nd.maxF = m_F[nd.lo];
            return;
        }
        fillLegMaxima(nd.left);
        fillLegMaxima(nd.right);
        nd.maxL = std::max(m_nodes[nd.left].maxL, m_nodes[nd.right].maxL);
        nd.maxF = std::max(m_nodes[nd.left].maxF, m_nodes[nd.right].maxF);
    }

    // Farthest fix from Q among [LO, HI]; BEST only grows.
    void farthest(int id, int q, int lo, int hi, int& best, int& bestIdx) const
    {
        const Node& nd = m_nodes[id];
        if (nd.hi < lo || nd.lo > hi)
            return;
        if (nd.left < 0) {
            const int d = leg(nd.lo, q);
            if (d > best) {
                best = d;
                bestIdx = nd.lo;
            }
            return;
        }
        const Box qb = pointBox(q);
        int c0 = nd.left;
        int c1 = nd.right;
        int u0 = upperLegM(maxChord2(qb, m_nodes[c0].box));
        int u1 = upperLegM(maxChord2(qb, m_nodes[c1].box));
        if (u1 > u0) {
            std::swap(c0, c1);
            std::swap(u0, u1);
        }
        if (u0 > best)
            farthest(c0, q, lo, hi, best, bestIdx);
        if (u1 > best)
            farthest(c1, q, lo, hi, best, bestIdx);
    }

    void tick()
    {
        if (m_cancel && (++m_ticks & 0xff) == 0 && m_cancel->load(std::memory_order_relaxed))
            throw Cancelled();
    }

    // Before work that takes a good many microseconds (a table of exact
    // closing distances, a leaf's closings): ask every time.
    void checkCancel() const
    {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed))
            throw Cancelled();
    }

    // Can a fix of I come before one of J, before one of K (in the order of TREE's leaves)?
    static bool ordered(const std::vector<Node>& tree, int I, int J, int K)
    {
        const Node& a = tree[std::size_t(I)];
        const Node& b = tree[std::size_t(J)];
        const Node& c = tree[std::size_t(K)];
        const int jmin = std::max(b.lo, a.lo + 1);
        if (jmin > b.hi)
            return false;
        return std::max(c.lo, jmin + 1) <= c.hi;
    }

    bool ordered(int I, int J, int K) const { return ordered(m_nodes, I, J, K); }

    // Which of the three ranges to halve: the widest in space, then the longest.
    static int splitChoice(const std::vector<Node>& tree, int I, int J, int K)
    {
        const int ids[3] = {I, J, K};
        int best = -1;
        for (int t = 0; t < 3; ++t) {
            const Node& nd = tree[std::size_t(ids[t])];
            if (nd.size() == 1)
                continue;
            if (best < 0)
                best = t;
            else {
                const Node& bn = tree[std::size_t(ids[best])];
                if (nd.diam2 > bn.diam2 || (nd.diam2 == bn.diam2 && nd.size() > bn.size()))
                    best = t;
            }
        }
        return best;
    }

    int splitChoice(int I, int J, int K) const { return splitChoice(m_nodes, I, J, K); }

    int ub(int A, int B) const { return upperLegM(maxChord2(m_nodes[A].box, m_nodes[B].box)); }
    int sub(int A, int B) const { return upperLegM(maxChord2(m_space[A].box, m_space[B].box)); }
    int slb(int A, int B) const { return lowerLegM(minChord2(m_space[A].box, m_space[B].box)); }

    // ---- free distance ----------------------------------------------------

    int freeBound(int I, int J, int K) const
    {
        return m_nodes[I].maxL + ub(I, J) + ub(J, K) + m_nodes[K].maxF;
    }

    void offerFree(int v, int i, int j, int k)
    {
        if (v > bestFree()) {
            std::lock_guard lock(m_shared->mutex);
            if (v <= m_shared->free.load())
                return;
            m_shared->free.store(v);
            m_shared->freePts = {m_Lidx[i], i, j, k, m_Fidx[k]};
        }
    }

    void seedFree()
    {
        // Exact dynamic programme over an evenly spaced subset: a good first
        // value makes the branch and bound prune from the start.
        const int m = std::min(m_n, 400);
        std::vector<int> idx(m);
        for (int t = 0; t < m; ++t)
            idx[t] = static_cast<int>(static_cast<std::int64_t>(t) * (m_n - 1) / std::max(1, m - 1));
        std::vector<int> f2(m, -1), f2arg(m, -1), f3(m, -1), f3arg(m, -1);
        for (int b = 1; b < m; ++b)
            for (int a = 0; a < b; ++a) {
                const int v = m_L[idx[a]] + leg(idx[a], idx[b]);
                if (v > f2[b]) {
                    f2[b] = v;
                    f2arg[b] = a;
                }
            }
        for (int c = 2; c < m; ++c)
            for (int b = 1; b < c; ++b) {
                const int v = f2[b] + leg(idx[b], idx[c]);
                if (v > f3[c]) {
                    f3[c] = v;
                    f3arg[c] = b;
                }
            }
        for (int c = 2; c < m; ++c) {
            if (f3arg[c] < 0)
                continue;
            const int b = f3arg[c];
            const int a = f2arg[b];
            offerFree(f3[c] + m_F[idx[c]], idx[a], idx[b], idx[c]);
        }
    }

    void bruteFree(int I, int J, int K)
    {
        const Node& a = m_nodes[I];
        const Node& b = m_nodes[J];
        const Node& c = m_nodes[K];
        const std::int64_t triples = std::int64_t(a.size()) * b.size() * c.size();
        if (m_shared->freeWork.fetch_add(triples, std::memory_order_relaxed) + triples > m_shared->freeBudget)
            throw FreeBudgetExceeded();
        for (int i = a.lo; i <= a.hi; ++i)
            for (int j = std::max(b.lo, i + 1); j <= b.hi; ++j) {
                const int head = m_L[i] + leg(i, j);
                for (int k = std::max(c.lo, j + 1); k <= c.hi; ++k)
                    offerFree(head + leg(j, k) + m_F[k], i, j, k);
            }
    }

    // Runs ROW(r, p) for every r in [from, to) on up to m_threads threads (rows
    // interleaved, as later rows cost more), with p the row the same thread
    // ran before (or -1); throws Cancelled when asked to.
    template <typename Row>
    void parallelRows(int from, int to, Row row)
    {
        std::atomic<bool> cancelled{false};
        auto part = [&](int first, int stride) {
            for (int r = first; r < to; r += stride) {
                if (m_cancel && m_cancel->load(std::memory_order_relaxed)) {
                    cancelled = true;
                    return;
                }
                row(r, r == first ? -1 : r - stride);
            }
        };
        std::thread helper;
        if (m_threads >= 2 && to - from >= 2) {
            try {
                helper = std::thread([&] {
                    clearUpperVectorState();
                    part(from + 1, 2);
                });
            } catch (const std::system_error&) {
            }
        }
        part(from, helper.joinable() ? 2 : 1);
        if (helper.joinable())
            helper.join();
        if (cancelled)
            throw Cancelled();
    }

    // The exact free distance in n² legs: the best head into b (farthest
    // earlier fix, then a leg), then the best two legs into c, then the
    // farthest later fix.
    void freeByProgramme()
    {
        std::vector<int> head(m_n, -1), headArg(m_n, -1), body(m_n, -1), bodyArg(m_n, -1);
        bestEarlier(m_L, 1, head, headArg);
        bestEarlier(head, 2, body, bodyArg);
        for (int c = 2; c < m_n; ++c)
            if (bodyArg[c] >= 0)
                offerFree(body[c] + m_F[c], headArg[bodyArg[c]], bodyArg[c], c);
    }

    // OUT[b] = the largest W[a] + D(a, b) over a < b with W[a] ≥ 0, and ARG[b]
    // its a, for every b from FIRST on.
    //
    // Each row is a branch and bound over the tree over time. A node's fixes
    // cannot do better than the largest of its weights plus the longest leg
    // from its box, nor better than REACH + arc(c, b), where c is the node's
    // last fix and REACH the largest W[a] + arc(a, c) over its fixes: the
    // triangle inequality of true arcs. The second bound is what keeps a
    // straight or nearly straight track from taking quadratic time: there
    // every a ties (the heads all reach b along the same line), the box bound
    // exceeds the best by the node's whole length, and REACH + arc(c, b) meets
    // it to within rounding. Bounds are on true arcs in floating point, with a
    // margin for the law of cosines' own error (under 0.3 m near 0 m, under
    // 1 mm from 200 m on), and half a metre for the rounding of the one leg to
    // whole metres; the weights are exact whole metres, so a node is passed
    // over when the whole part of its bound cannot beat the row's best.
    void bestEarlier(const std::vector<int>& w, int first, std::vector<int>& out, std::vector<int>& arg)
    {
        const std::size_t nodes = m_nodes.size();
        std::vector<int> maxW(nodes, -1);
        // reach[t][id]: the largest W[a] + arc(a, anchorOf(node, t)) over the node's fixes.
        std::array<std::vector<double>, kAnchors> reach;
        for (auto& r : reach)
            r.assign(nodes, -1);
        // Children come after their parent in the node list.
        for (std::size_t id = nodes; id-- > 0;) {
            tick();
            const Node& nd = m_nodes[id];
            if (nd.left >= 0)
                maxW[id] = std::max(maxW[std::size_t(nd.left)], maxW[std::size_t(nd.right)]);
            for (int a = nd.lo; a <= nd.hi; ++a)
                if (w[std::size_t(a)] >= 0) {
                    if (nd.left < 0)
                        maxW[id] = w[std::size_t(a)];
                    for (int t = 0; t < kAnchors; ++t)
                        reach[std::size_t(t)][id] =
                            std::max(reach[std::size_t(t)][id], w[std::size_t(a)] + arcAbove(a, anchorOf(nd, t)));
                }
        }
        parallelRows(first, m_n, [&](int b, int previous) {
            int best = -1, bestArg = -1;
            auto visit = [&](int a) {
                if (w[std::size_t(a)] < 0)
                    return;
                // The chord first: most fixes cannot win, and it spares them the law of cosines.
                const double arc = arcAbove(a, b);
                if (w[std::size_t(a)] + arc + 0.5 + lawOfCosinesSlackM(arc) < best + 1)
                    return;
                if (const int v = w[std::size_t(a)] + leg(a, b); v > best) {
                    best = v;
                    bestArg = a;
                }
            };
            // First values to beat: the fix just before, and the best of the
            // previous row, which is usually close to this row's best.
            visit(b - 1);
            if (previous >= 0 && arg[std::size_t(previous)] >= 0 && arg[std::size_t(previous)] != b - 1)
                visit(arg[std::size_t(previous)]);
            auto bound = [&](int id) -> double {
                const Node& nd = m_nodes[std::size_t(id)];
                if (nd.lo >= b || maxW[std::size_t(id)] < 0)
                    return -1;
                const Box pb = pointBox(b);
                double viaLast = reach[0][std::size_t(id)] + arcAbove(nd.hi, b);
                for (int t = 1; t < kAnchors; ++t)
                    if (const int c = anchorOf(nd, t); c < b)
                        viaLast = std::min(viaLast, reach[std::size_t(t)][std::size_t(id)] + arcAbove(c, b));
                const double viaBox = maxW[std::size_t(id)] + arcM(maxChord2(nd.box, pb)) * (1 + 1e-9);
                const double nearest = arcM(minChord2(nd.box, pb));
                return std::min(viaLast, viaBox) + 0.5 + lawOfCosinesSlackM(nearest);
            };
            struct Item
            {
                int id;
                double bound;
            };
            Item stack[128];
            int top = 0;
            stack[top++] = {m_root, bound(m_root)};
            while (top > 0) {
                const Item it = stack[--top];
                if (it.bound < best + 1)
                    continue;
                const Node& nd = m_nodes[std::size_t(it.id)];
                if (nd.size() <= 4) {
                    for (int a = nd.lo; a <= std::min(nd.hi, b - 1); ++a)
                        if (a != b - 1)
                            visit(a);
                    continue;
                }
                Item l{nd.left, bound(nd.left)}, r{nd.right, bound(nd.right)};
                if (l.bound > r.bound)
                    std::swap(l, r);
                // The more promising child on top, searched first.
                if (l.bound >= best + 1)
                    stack[top++] = l;
                if (r.bound >= best + 1)
                    stack[top++] = r;
            }
            if (bestArg >= 0) {
                out[std::size_t(b)] = best;
                arg[std::size_t(b)] = bestArg;
            }
        });
    }

    // The fixes a node's bound goes through on its way to b: its own last fix,
    // and fixes further on. A fix some way past the end keeps GPS noise at the
    // last fix (which a fix next to it turns into a detour of up to a metre)
    // out of the bound; one far past it does the same for a thermal, whose
    // circles make a detour of their whole width through any fix inside them.
    static constexpr int kAnchors = 3;
    int anchorOf(const Node& nd, int t) const
    {
        if (t == 0)
            return nd.hi;
        const int ahead = t == 1 ? std::max(8, 2 * nd.size()) : std::max(256, 16 * nd.size());
        return std::min(m_n - 1, nd.hi + ahead);
    }

    // The true arc between fixes A and B [m], from the chord of their unit
    // vectors, rounded up by far more than its floating-point error.
    double arcAbove(int a, int b) const { return arcM(pointChord2(a, b)) * (1 + 1e-9) + 1e-6; }

    void freeRec(int I, int J, int K, int bound)
    {
        if (bound <= bestFree())
            return;
        tick();
        // Splitting costs as much as a few leaf triples: count it against the budget too.
        if ((++m_freeSplits & 0xff) == 0
            && m_shared->freeWork.fetch_add(256 * kSplitCost, std::memory_order_relaxed) > m_shared->freeBudget)
            throw FreeBudgetExceeded();
        const std::int64_t work =
            std::int64_t(m_nodes[I].size()) * m_nodes[J].size() * m_nodes[K].size();
        const int which = splitChoice(I, J, K);
        if (work <= kLeafTriples || which < 0) {
            bruteFree(I, J, K);
            return;
        }
        int t0[3] = {I, J, K};
        int t1[3] = {I, J, K};
        const Node& s = m_nodes[t0[which]];
        t0[which] = s.left;
        t1[which] = s.right;
        const int b0 = ordered(t0[0], t0[1], t0[2]) ? freeBound(t0[0], t0[1], t0[2]) : -1;
        const int b1 = ordered(t1[0], t1[1], t1[2]) ? freeBound(t1[0], t1[1], t1[2]) : -1;
        if (b0 >= b1) {
            freeRec(t0[0], t0[1], t0[2], b0);
            freeRec(t1[0], t1[1], t1[2], b1);
        } else {
            freeRec(t1[0], t1[1], t1[2], b1);
            freeRec(t0[0], t0[1], t0[2], b0);
        }
    }

    // ---- closing distance -------------------------------------------------

    // A search for the smallest leg below a bound, pruned in chord space: a
    // pair of boxes is dropped when even its smallest chord gives a leg of at
    // least `best` metres (lowerLegM), without an asin per pair of boxes.
    struct PairSearch
    {
        int a0, a1, b0, b1;
        int best;
        int a = -1, b = -1;
        double pruneChord2 = 0; // chords at least this long give legs of at least `best`

        void setBest(int value)
        {
            best = value;
            // arc ≥ (best − 0.2) / (1 − 1e-9) makes lowerLegM ≥ best (its slack is
            // at most 0.3 m); a slightly longer chord than that arc's keeps the
            // test on the safe side.
            const double arc = (double(value) - 0.2) / (1 - 1e-9);
            const double half = std::min(1.0, std::sin(std::min(arc / (2 * kEarthRadiusM), 1.5707963267948966)));
            pruneChord2 = value <= 0 ? 0 : 4 * half * half * (1 + 1e-12) + 1e-300;
            if (arc / (2 * kEarthRadiusM) >= 1.5707963267948966)
                pruneChord2 = 5; // longer than any chord: nothing is pruned
        }
    };

    bool chordPrunes(const PairSearch& q, double chord2) const { return q.best <= 0 || chord2 >= q.pruneChord2; }

    double pointChord2(int i, int j) const
    {
        const auto& u = m_vec[i];
        const auto& v = m_vec[j];
        const double dx = u[0] - v[0], dy = u[1] - v[1], dz = u[2] - v[2];
        return dx * dx + dy * dy + dz * dz;
    }

    void closestPair(int A, int B, PairSearch& q)
    {
        const Node& na = m_nodes[A];
        const Node& nb = m_nodes[B];
        if (na.hi < q.a0 || na.lo > q.a1 || nb.hi < q.b0 || nb.lo > q.b1)
            return;
        if (chordPrunes(q, minChord2(na.box, nb.box)))
            return;
        const int lo1 = std::max(na.lo, q.a0), hi1 = std::min(na.hi, q.a1);
        const int lo2 = std::max(nb.lo, q.b0), hi2 = std::min(nb.hi, q.b1);
        if (std::int64_t(hi1 - lo1 + 1) * (hi2 - lo2 + 1) <= 16) {
            for (int a = lo1; a <= hi1; ++a)
                for (int b = lo2; b <= hi2; ++b) {
                    if (chordPrunes(q, pointChord2(a, b)))
                        continue;
                    const int d = leg(a, b);
                    if (d < q.best) {
                        q.setBest(d);
                        q.a = a;
                        q.b = b;
                    }
                }
            return;
        }
        tick();
        const bool splitA = nb.left < 0 || (na.left >= 0 && (hi1 - lo1 >= hi2 - lo2));
        int c[2][2];
        if (splitA) {
            c[0][0] = na.left, c[0][1] = B;
            c[1][0] = na.right, c[1][1] = B;
        } else {
            c[0][0] = A, c[0][1] = nb.left;
            c[1][0] = A, c[1][1] = nb.right;
        }
        const double g0 = minChord2(m_nodes[c[0][0]].box, m_nodes[c[0][1]].box);
        const double g1 = minChord2(m_nodes[c[1][0]].box, m_nodes[c[1][1]].box);
        const int first = g1 < g0 ? 1 : 0;
        closestPair(c[first][0], c[first][1], q);
        closestPair(c[1 - first][0], c[1 - first][1], q);
    }

    // Lower bounds of the closing distance U(x, y), the smallest leg from a fix
    // a ≤ x to a fix b ≥ y, in levels of blocks of 2^shift fixes. A level holds,
    // for blocks X < Y, a bound T(X, Y) of U(last fix of X, first fix of Y):
    // T(X, Y) = min(T(X − 1, Y), T(X, Y + 1), the shortest leg between the boxes
    // of X and Y), since a pair either has a in X and b in Y or lies in one of
    // the two neighbouring sets. The top level is a full table of at most
    // kGridBlocks² entries; the levels below keep only the kBand blocks after
    // each block and read a neighbour outside that band from the level above,
    // whose blocks are twice as long (more pairs, so a lower bound still). A
    // bound for fixes x < y comes from the finest level where they lie within
    // the band: near the diagonal, where a track that does not come back has
    // its closing next to its own vertices, that is the leg itself.
    static constexpr int kBand = 16;

    struct BoundLevel
    {
        int shift = 0;
        int blocks = 0;
        bool full = false;
        std::vector<int> table; // full: blocks × blocks; else blocks × kBand, entry Y − X − 1
    };

    int levelBound(std::size_t level, int X, int Y) const
    {
        const BoundLevel& lv = m_levels[level];
        if (lv.full)
            return lv.table[std::size_t(X) * std::size_t(lv.blocks) + std::size_t(Y)];
        if (Y - X <= kBand)
            return lv.table[std::size_t(X) * kBand + std::size_t(Y - X - 1)];
        return levelBound(level + 1, X >> 1, Y >> 1);
    }

    void buildClosingBounds()
    {
        int top = 0;
        while (((m_n - 1) >> top) + 1 > kGridBlocks)
            ++top;
        m_levels.assign(std::size_t(top) + 1, BoundLevel{});
        // The boxes of each level's blocks, finest first.
        std::vector<std::vector<Box>> boxes(std::size_t(top) + 1);
        for (int l = 0; l <= top; ++l) {
            BoundLevel& lv = m_levels[std::size_t(l)];
            lv.shift = l;
            lv.blocks = ((m_n - 1) >> l) + 1;
            lv.full = l == top;
            std::vector<Box>& bx = boxes[std::size_t(l)];
            bx.resize(std::size_t(lv.blocks));
            for (int X = 0; X < lv.blocks; ++X) {
                if (l == 0) {
                    bx[std::size_t(X)] = pointBox(X);
                    continue;
                }
                const std::vector<Box>& below = boxes[std::size_t(l) - 1];
                Box b = below[std::size_t(2 * X)];
                if (2 * X + 1 < int(below.size()))
                    for (int d = 0; d < 3; ++d) {
                        b.lo[d] = std::min(b.lo[d], below[std::size_t(2 * X + 1)].lo[d]);
                        b.hi[d] = std::max(b.hi[d], below[std::size_t(2 * X + 1)].hi[d]);
                    }
                bx[std::size_t(X)] = b;
            }
        }
        constexpr int kNone = std::numeric_limits<int>::max();
        for (int l = top; l >= 0; --l) {
            BoundLevel& lv = m_levels[std::size_t(l)];
            const std::vector<Box>& bx = boxes[std::size_t(l)];
            const int nb = lv.blocks;
            lv.table.assign(lv.full ? std::size_t(nb) * std::size_t(nb) : std::size_t(nb) * kBand, 0);
            auto at = [&](int X, int Y) -> int {
                if (lv.full || Y - X <= kBand)
                    return levelBound(std::size_t(l), X, Y);
                return levelBound(std::size_t(l) + 1, X >> 1, Y >> 1);
            };
            for (int X = 0; X < nb; ++X) {
                tick();
                const int last = lv.full ? nb - 1 : std::min(nb - 1, X + kBand);
                for (int Y = last; Y > X; --Y) {
                    int cur = kNone;
                    if (X > 0)
                        cur = std::min(cur, at(X - 1, Y));
                    if (Y + 1 < nb)
                        cur = std::min(cur, at(X, Y + 1));
                    if (cur > 0)
                        cur = std::min(cur, lowerLegM(minChord2(bx[std::size_t(X)], bx[std::size_t(Y)])));
                    if (lv.full)
                        lv.table[std::size_t(X) * std::size_t(nb) + std::size_t(Y)] = cur;
                    else
                        lv.table[std::size_t(X) * kBand + std::size_t(Y - X - 1)] = cur;
                }
            }
        }
    }

    // A lower bound of the closing distance U(x, y), x < y.
    int closingLowerBound(int x, int y) const
    {
        for (std::size_t l = 0;; ++l) {
            const BoundLevel& lv = m_levels[l];
            const int X = x >> lv.shift, Y = y >> lv.shift;
            if (X >= Y)
                return 0;
            if (lv.full || Y - X <= kBand)
                return levelBound(l, X, Y);
        }
    }

    // U(x, y) = the smallest leg from a fix a ≤ x to a fix b ≥ y, exact when below
    // THRESHOLD; otherwise the answer only says "at least THRESHOLD".
    Closing closing(int x, int y, int threshold)
    {
        const int X = x / kTableBlock, Y = y / kTableBlock;
        if (X < Y) {
            const std::vector<Closing>& table = closingTable(X, Y);
            return table[std::size_t(x - X * kTableBlock) * kTableBlock + std::size_t(y - Y * kTableBlock)];
        }
        const std::uint64_t key = std::uint64_t(x) * std::uint64_t(m_n) + std::uint64_t(y);
        auto it = m_closingCache.find(key);
        if (it != m_closingCache.end()) {
            const Closing& c = it->second;
            if (c.value < c.threshold || c.threshold >= threshold)
                return c;
        }
        PairSearch q{0, x, y, m_n - 1, 0};
        q.setBest(threshold);
        // The pair (x, y) itself closes the triangle: a first bound to beat.
        const int direct = leg(x, y);
        if (direct < threshold) {
            q.setBest(direct);
            q.a = x;
            q.b = y;
        }
        closestPair(m_root, m_root, q);
        if (m_closingCache.size() >= kClosingCacheMax)
            m_closingCache.clear();
        const Closing c{q.best, q.a, q.b, threshold};
        m_closingCache[key] = c;
        return c;
    }

    double pointBoxChord2(int q, const Box& b) const
    {
        const auto& p = m_vec[q];
        double s = 0;
        for (int d = 0; d < 3; ++d) {
            const double g = p[d] < b.lo[d] ? b.lo[d] - p[d] : (p[d] > b.hi[d] ? p[d] - b.hi[d] : 0.0);
            s += g * g;
        }
        return s;
    }

    // Nearest fix to Q among [s.b0, s.b1] closer than s.best; NODE_CHORD2 is the
    // smallest chord from Q to the node's box.
    void nearest(int id, int q, double nodeChord2, PairSearch& s) const
    {
        const Node& nd = m_nodes[id];
        if (nd.hi < s.b0 || nd.lo > s.b1 || chordPrunes(s, nodeChord2))
            return;
        if (nd.left < 0) {
            const int d = leg(std::min(q, nd.lo), std::max(q, nd.lo));
            if (d < s.best) {
                s.setBest(d);
                s.b = nd.lo;
            }
            return;
        }
        int c0 = nd.left, c1 = nd.right;
        double g0 = pointBoxChord2(q, m_nodes[c0].box), g1 = pointBoxChord2(q, m_nodes[c1].box);
        if (g1 < g0) {
            std::swap(c0, c1);
            std::swap(g0, g1);
        }
        nearest(c0, q, g0, s);
        nearest(c1, q, g1, s);
    }

    // Exact U(x, y) for every x of block X and y of block Y (X < Y), with the
    // closing pairs. A pair (a, b) with a ≤ x < y ≤ b either has a in block X
    // (the nearest fix to a from y on), b in block Y (the nearest fix to b up to
    // the block X's start), or neither (one corner search for the whole table).
    const std::vector<Closing>& closingTable(int X, int Y)
    {
        const std::uint64_t key = std::uint64_t(X) * std::uint64_t(m_n) + std::uint64_t(Y);
        auto it = m_tables.find(key);
        if (it != m_tables.end())
            return it->second;
        checkCancel();
        constexpr int kNone = std::numeric_limits<int>::max();
        const int B = kTableBlock;
        const int xs = X * B, xe = std::min(m_n - 1, xs + B - 1);
        const int ys = Y * B, ye = std::min(m_n - 1, ys + B - 1);
        Closing corner{kNone, -1, -1, 0};
        if (xs > 0 && ye < m_n - 1) {
            // U(xs − 1, ye + 1): a corner of the diagonal neighbour's table when that is at hand.
            auto near = m_tables.find(std::uint64_t(X - 1) * std::uint64_t(m_n) + std::uint64_t(Y + 1));
            if (near != m_tables.end()) {
                corner = near->second[std::size_t(B - 1) * B];
            } else {
                PairSearch q{0, xs - 1, ye + 1, m_n - 1, 0};
                q.setBest(leg(xs - 1, ye + 1));
                q.a = xs - 1;
                q.b = ye + 1;
                closestPair(m_root, m_root, q);
                corner = Closing{q.best, q.a, q.b, 0};
            }
        }
        // Row part: for a in block X, the nearest fix from y on.
        std::vector<Closing> row(std::size_t(B) * B, Closing{kNone, -1, -1, 0});
        for (int a = xs; a <= xe; ++a) {
            Closing cur{kNone, -1, -1, 0};
            if (ye < m_n - 1) {
                PairSearch q{0, 0, ye + 1, m_n - 1, 0};
                // Only legs shorter than the corner's can matter.
                const int first = leg(a, ye + 1);
                q.setBest(std::min(first, corner.value));
                if (first < corner.value)
                    q.b = ye + 1;
                nearest(m_root, a, pointBoxChord2(a, m_nodes[m_root].box), q);
                if (q.b >= 0)
                    cur = Closing{q.best, a, q.b, 0};
            }
            PairSearch bound{0, 0, 0, 0, 0};
            bound.setBest(std::min(cur.value, corner.value));
            for (int y = ye; y >= ys; --y) {
                if (!chordPrunes(bound, pointChord2(a, y))) {
                    const int d = leg(a, y);
                    if (d < cur.value) {
                        cur = Closing{d, a, y, 0};
                        if (d < bound.best)
                            bound.setBest(d);
                    }
                }
                row[std::size_t(a - xs) * B + std::size_t(y - ys)] = cur;
            }
        }
        // Column part: for b in block Y, the nearest fix before block X.
        std::vector<Closing> col(B, Closing{kNone, -1, -1, 0});
        {
            Closing cur = corner;
            for (int b = ye; b >= ys; --b) {
                if (xs > 0) {
                    PairSearch q{0, 0, 0, xs - 1, 0};
                    const int first = leg(xs - 1, b);
                    q.setBest(std::min(first, cur.value));
                    if (first < cur.value)
                        q.b = xs - 1;
                    nearest(m_root, b, pointBoxChord2(b, m_nodes[m_root].box), q);
                    if (q.b >= 0 && q.best < cur.value)
                        cur = Closing{q.best, q.b, b, 0};
                }
                col[std::size_t(b - ys)] = cur;
            }
        }
        std::vector<Closing> table(std::size_t(B) * B, Closing{kNone, -1, -1, 0});
        for (int y = ys; y <= ye; ++y) {
            Closing cur = col[std::size_t(y - ys)];
            for (int x = xs; x <= xe; ++x) {
                const Closing& r = row[std::size_t(x - xs) * B + std::size_t(y - ys)];
                if (r.value < cur.value)
                    cur = r;
                Closing c = cur;
                c.threshold = kNone; // exact whatever was asked
                table[std::size_t(x - xs) * B + std::size_t(y - ys)] = c;
            }
        }
        if (m_tables.size() >= kTablesMax)
            m_tables.clear();
        return m_tables.emplace(key, std::move(table)).first->second;
    }

    // ---- triangles ----------------------------------------------------------

    // How wide a triangle must be to be FAI-shaped. With every side at least
    // 28 % of the perimeter P, the flattest such triangle has sides 0.28 P,
    // 0.28 P and 0.44 P, and its smallest height is 0.1732 P: an FAI triangle
    // of perimeter P does not fit between two parallel lines closer than that.
    // Each node keeps the extent of its fixes along kSlabs directions tangent
    // to the track's centre; three nodes together then fit in a slab of the
    // narrowest of those widths. The triangle of chords through three fixes
    // lies in that slab too, and seen from within its own plane the slab is at
    // most 1/0.99 times wider while the vertices lie within 0.06 rad of the
    // centre. Arcs exceed chords by less than 0.1 % at that size. Each side
    // is whole metres, up to 0.8 m from its arc (rounding and the law of
    // cosines' error): then the smallest height h of a triangle whose integer
    // perimeter is P obeys h² ≥ 0.03 P² − 0.624 P + 0.48, which P ≤ h / 0.168
    // + 20 m covers for every P.
    static constexpr int kSlabs = 32;
    static constexpr double kSlabMaxAngle = 0.06;

    void prepareSlabs()
    {
        m_slabLo.reset();
        m_slabHi.reset();
        std::array<double, 3> c{0, 0, 0};
        for (const auto& v : m_vec)
            for (int d = 0; d < 3; ++d)
                c[d] += v[d];
        const double norm = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
        if (!(norm > 0))
            return;
        for (double& x : c)
            x /= norm;
        for (const auto& v : m_vec)
            if (v[0] * c[0] + v[1] * c[1] + v[2] * c[2] < std::cos(kSlabMaxAngle))
                return; // too large a track: no slab bound
        // A tangent frame at the centre.
        std::array<double, 3> e1 = std::fabs(c[2]) < 0.9 ? std::array<double, 3>{-c[1], c[0], 0}
                                                         : std::array<double, 3>{0, -c[2], c[1]};
        const double n1 = std::sqrt(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
        for (double& x : e1)
            x /= n1;
        const std::array<double, 3> e2{c[1] * e1[2] - c[2] * e1[1], c[2] * e1[0] - c[0] * e1[2],
                                       c[0] * e1[1] - c[1] * e1[0]};
        for (int k = 0; k < kSlabs; ++k) {
            const double a = 3.14159265358979323846 * k / kSlabs;
            for (int d = 0; d < 3; ++d)
                m_slabDir[k][d] = std::cos(a) * e1[d] + std::sin(a) * e2[d];
        }
        // Single precision, rounded outwards, so that widths only grow: the
        // extents along directions tangent at the centre are small numbers
        // (at most 0.06), where a float is good to a few centimetres. The
        // tables are read only, and shared by the threads of one search.
        auto slabLo = std::make_shared<std::vector<SlabRow>>(m_space.size());
        auto slabHi = std::make_shared<std::vector<SlabRow>>(m_space.size());
        // Children come after their parent in the node list.
        for (int id = static_cast<int>(m_space.size()) - 1; id >= 0; --id) {
            tick();
            const Node& nd = m_space[std::size_t(id)];
            SlabRow& lo = (*slabLo)[std::size_t(id)];
            SlabRow& hi = (*slabHi)[std::size_t(id)];
            if (nd.left < 0) {
                const auto& v = m_vec[std::size_t(m_perm[std::size_t(nd.lo)])];
                for (int k = 0; k < kSlabs; ++k) {
                    const double p = v[0] * m_slabDir[k][0] + v[1] * m_slabDir[k][1] + v[2] * m_slabDir[k][2];
                    lo[k] = std::nextafter(static_cast<float>(p), -1.0f);
                    hi[k] = std::nextafter(static_cast<float>(p), 1.0f);
                }
            } else {
                for (int k = 0; k < kSlabs; ++k) {
                    lo[k] = std::min((*slabLo)[std::size_t(nd.left)][k], (*slabLo)[std::size_t(nd.right)][k]);
                    hi[k] = std::max((*slabHi)[std::size_t(nd.left)][k], (*slabHi)[std::size_t(nd.right)][k]);
                }
            }
        }
        m_slabLo = std::move(slabLo);
        m_slabHi = std::move(slabHi);
    }

    // The largest perimeter [m] of an FAI triangle with a vertex in each of I, J, K.
    std::int64_t faiPerimeterByWidth(int I, int J, int K) const
    {
        if (!m_slabLo)
            return std::numeric_limits<std::int64_t>::max();
        const std::vector<SlabRow>& los = *m_slabLo;
        const std::vector<SlabRow>& his = *m_slabHi;
        const SlabRow &loI = los[std::size_t(I)], &loJ = los[std::size_t(J)], &loK = los[std::size_t(K)];
        const SlabRow &hiI = his[std::size_t(I)], &hiJ = his[std::size_t(J)], &hiK = his[std::size_t(K)];
        double width = 4;
        for (int k = 0; k < kSlabs; ++k)
            width = std::min(width, double(std::max({hiI[k], hiJ[k], hiK[k]})) - double(std::min({loI[k], loJ[k], loK[k]})));
        return static_cast<std::int64_t>(width * kEarthRadiusM / (0.99 * 0.168) * (1 + 1e-3) + 20.0);
    }

    struct TriBounds
    {
        int flat = -1;
        int fai = -1;
        int perimeter = 0;    // upper bound of the perimeter
        int faiPerimeter = 0; // upper bound of the perimeter of an FAI-shaped triangle
        bool alive(int bestFlat, int bestFai) const { return flat > bestFlat || fai > bestFai; }
    };

    // The longest two legs from A to a point of MID and on to B, over the corners
    // of MID's box: the sum of two distances is convex in the middle point, and
    // so is the arc of a chord (2R asin(chord / 2)) for points off the sphere,
    // so its largest value over the box is at a corner.
    double viaCorners(const Box& mid, const Box& a, const Box& b) const
    {
        // No chord here is longer than the longest between the boxes, and the
        // arc grows faster than its chord: the arcs are at most the chords
        // times the series' factor at that longest chord.
        const double longest = std::max(maxChord2(a, mid), maxChord2(mid, b));
        const bool series = longest <= 0.01;
        double best = 0;
        const bool flat[3] = {mid.lo[0] == mid.hi[0], mid.lo[1] == mid.hi[1], mid.lo[2] == mid.hi[2]};
        for (int c = 0; c < 8; ++c) {
            if (((c & 1) && flat[0]) || ((c & 2) && flat[1]) || ((c & 4) && flat[2]))
                continue;
            Box corner;
            for (int d = 0; d < 3; ++d)
                corner.lo[d] = corner.hi[d] = (c >> d) & 1 ? mid.hi[d] : mid.lo[d];
            const double q1 = maxChord2(a, corner), q2 = maxChord2(corner, b);
            best = std::max(best, series ? std::sqrt(q1) + std::sqrt(q2) : arcM(q1) + arcM(q2));
        }
        if (series)
            best *= kEarthRadiusM * (1 + longest * (1.0 / 24 + longest * (3.0 / 640 + longest * (5.0 / 7168))));
        return best;
    }

    // An upper bound of the perimeter that, unlike the sum of the three
    // longest sides, knows that a vertex between the other two adds nothing:
    // on a line, or back and forth along one, the flat triangles' perimeters
    // all tie, and summing the sides' bounds alone overstates them by the
    // middle range's whole length.
    // Any of the three ranges may be taken as the middle one. The range
    // between the two that lie farthest apart is the one that gives a tight
    // bound (on a line, the middle one); the other two choices almost never
    // prune what it leaves, so they are not worth their time.
    std::int64_t perimeterViaCorners(int I, int J, int K, bool shortLegs, int farthestPair) const
    {
        const Box* boxes[3] = {&m_space[I].box, &m_space[J].box, &m_space[K].box};
        // Pair 0 = (I, J) leaves K in the middle, pair 1 = (J, K) leaves I, pair 2 = (K, I) leaves J.
        const Box& m = *boxes[(farthestPair + 2) % 3];
        const Box& x = *boxes[farthestPair];
        const Box& y = *boxes[(farthestPair + 1) % 3];
        const double p = arcM(maxChord2(x, y)) + viaCorners(m, x, y);
        // Three legs rounded to the metre, each with the law of cosines' own
        // error: under 0.3 m near 0 m, far under a millimetre from 200 m on.
        return static_cast<std::int64_t>(p * (1 + 1e-9) + (shortLegs ? 2.4 : 1.51));
    }

    TriBounds triBounds(int I, int J, int K, int closingLow) const
    {
        TriBounds t;
        const std::int64_t u1 = sub(I, J), u2 = sub(J, K), u3 = sub(I, K);
        std::int64_t p = u1 + u2 + u3;
        // Most triples end here: closed too far for even the longest sides, or
        // too short to beat either best. Both types are then out of reach.
        if (p < 5 * std::int64_t(closingLow) || p - closingLow <= std::min(bestFlat(), bestFai())) {
            t.perimeter = t.faiPerimeter = static_cast<int>(p);
            return t;
        }
        const std::int64_t l1 = slb(I, J), l2 = slb(J, K), l3 = slb(I, K);
        if (p - closingLow > bestFlat() && p >= 5 * std::int64_t(closingLow)) {
            const int farthestPair = u1 >= u2 && u1 >= u3 ? 0 : (u2 >= u3 ? 1 : 2);
            p = std::min(p, perimeterViaCorners(I, J, K, std::min({l1, l2, l3}) < 200, farthestPair));
        }
        t.perimeter = static_cast<int>(p);
        if (p >= 5 * std::int64_t(closingLow)) {
            const bool surelyFai = 25 * l1 >= 7 * p && 25 * l2 >= 7 * p && 25 * l3 >= 7 * p;
            if (!surelyFai)
                t.flat = static_cast<int>(p - closingLow);
        }
        const bool faiPossible = 18 * u1 >= 7 * (l2 + l3) && 18 * u2 >= 7 * (l1 + l3) && 18 * u3 >= 7 * (l1 + l2);
        std::int64_t pf = std::min(p, 25 * std::min({u1, u2, u3}) / 7);
        if (faiPossible && pf - closingLow > bestFai())
            pf = std::min(pf, faiPerimeterByWidth(I, J, K));
        t.faiPerimeter = static_cast<int>(pf);
        if (faiPossible && pf >= 5 * std::int64_t(closingLow))
            t.fai = static_cast<int>(pf - closingLow);
        return t;
    }

    // The closing distance below which a triangle of perimeter P would beat BEST.
    static std::int64_t needBelow(std::int64_t p, int best) { return std::min(p - best, p / 5 + 1); }

    // Triangles are searched over the tree of space: three nodes of it hold
    // fixes that lie close together, whatever their times, so the bounds of a
    // perimeter are tight from the start even on a track that passes the same
    // places over and over (ridge soaring), where a range of consecutive fixes
    // soon spans the whole ridge. A triple of fixes is taken once, as leaves at
    // positions p < q < r of the tree; its vertices are the three fixes in time
    // order. Its closing distance U(i, k), with i the earliest and k the latest
    // vertex, only grows as i moves earlier or k later: with i at most the
    // smallest "last" of the three nodes and k at least their largest "first",
    // U at that pair of fixes is a lower bound of the closing for every triple
    // of the nodes.
    TriBounds boundsFor(int I, int J, int K)
    {
        const Node& a = m_space[std::size_t(I)];
        const Node& b = m_space[std::size_t(J)];
        const Node& c = m_space[std::size_t(K)];
        const int iHi = std::min({a.last, b.last, c.last});
        const int kLo = std::max({a.first, b.first, c.first});
        const int low = iHi < kLo ? closingLowerBound(iHi, kLo) : 0;
        TriBounds t = triBounds(I, J, K, low);
        if (!t.alive(bestFlat(), bestFai()) || iHi >= kLo)
            return t;
        // Once the nodes are small the block table cannot tighten further:
        // ask for the exact closing distance at that pair of fixes.
        if (std::max({a.size(), b.size(), c.size()}) <= kExactClosingNode && kLo - iHi > kBand) {
            std::int64_t need = 0;
            if (t.flat > bestFlat())
                need = std::max(need, needBelow(t.perimeter, bestFlat()));
            if (t.fai > bestFai())
                need = std::max(need, needBelow(t.faiPerimeter, bestFai()));
            const Closing cl = closing(iHi, kLo, static_cast<int>(need));
            if (cl.value > low)
                t = triBounds(I, J, K, cl.value);
        }
        return t;
    }

    static constexpr int kExactClosingNode = 16;

    void offerTriangle(int p, const Closing& c, bool fai, int i, int j, int k)
    {
        if (std::int64_t(p) < 5 * std::int64_t(c.value))
            return;
        const int s = p - c.value;
        if (fai) {
            if (s > bestFai()) {
                std::lock_guard lock(m_shared->mutex);
                if (s > m_shared->fai.load()) {
                    m_shared->fai.store(s);
                    m_shared->faiPts = {c.a, i, j, k, c.b};
                }
            }
        } else if (s > bestFlat()) {
            std::lock_guard lock(m_shared->mutex);
            if (s > m_shared->flat.load()) {
                m_shared->flat.store(s);
                m_shared->flatPts = {c.a, i, j, k, c.b};
            }
        }
    }

    // Every triple of fixes of three small nodes, scored exactly.
    void bruteTri(int I, int J, int K)
    {
        const Node& na = m_space[std::size_t(I)];
        const Node& nb = m_space[std::size_t(J)];
        const Node& nc = m_space[std::size_t(K)];
        checkCancel();
        for (int p = na.lo; p <= na.hi; ++p)
            for (int q = std::max(nb.lo, p + 1); q <= nb.hi; ++q)
                for (int r = std::max(nc.lo, q + 1); r <= nc.hi; ++r) {
                    int v[3] = {m_perm[std::size_t(p)], m_perm[std::size_t(q)], m_perm[std::size_t(r)]};
                    std::sort(v, v + 3);
                    const int i = v[0], j = v[1], k = v[2];
                    const int a = leg(i, j), b = leg(j, k), dik = leg(i, k);
                    const int per = a + b + dik;
                    const std::int64_t p7 = 7 * std::int64_t(per);
                    const bool fai =
                        25 * std::int64_t(a) >= p7 && 25 * std::int64_t(b) >= p7 && 25 * std::int64_t(dik) >= p7;
                    const std::int64_t need = needBelow(per, fai ? bestFai() : bestFlat());
                    if (need <= 0 || need <= closingLowerBound(i, k))
                        continue;
                    const Closing c = closing(i, k, static_cast<int>(need));
                    if (c.value < c.threshold)
                        offerTriangle(per, c, fai, i, j, k);
                }
    }

    void triRec(int I, int J, int K)
    {
        tick();
        const std::int64_t work =
            std::int64_t(m_space[I].size()) * m_space[J].size() * m_space[K].size();
        const int which = splitChoice(m_space, I, J, K);
        if (work <= kLeafTriples || which < 0) {
            bruteTri(I, J, K);
            return;
        }
        int t[2][3] = {{I, J, K}, {I, J, K}};
        const Node& s = m_space[t[0][which]];
        t[0][which] = s.left;
        t[1][which] = s.right;
        TriBounds b[2];
        bool ok[2];
        for (int c = 0; c < 2; ++c) {
            ok[c] = ordered(m_space, t[c][0], t[c][1], t[c][2]);
            if (ok[c])
                b[c] = boundsFor(t[c][0], t[c][1], t[c][2]);
        }
        auto gain = [&](int c) {
            return std::max(std::int64_t(b[c].flat) - bestFlat(), std::int64_t(b[c].fai) - bestFai());
        };
        const int first = gain(1) > gain(0) ? 1 : 0;
        for (int c : {first, 1 - first}) {
            // The bests may have grown while the sibling was searched.
            if (ok[c] && b[c].alive(bestFlat(), bestFai()))
                triRec(t[c][0], t[c][1], t[c][2]);
        }
    }

    void seedTriangles()
    {
        // Exhaustive search over an evenly spaced subset, each triangle closed
        // by the best pair of that subset: every value found is one the full
        // track reaches as well.
        const int m = std::min(m_n, 120);
        std::vector<int> idx(m);
        for (int t = 0; t < m; ++t)
            idx[t] = static_cast<int>(static_cast<std::int64_t>(t) * (m_n - 1) / std::max(1, m - 1));
        std::vector<int> d(std::size_t(m) * m, 0);
        for (int a = 0; a < m; ++a)
            for (int b = a + 1; b < m; ++b)
                d[std::size_t(a) * m + b] = d[std::size_t(b) * m + a] = leg(idx[a], idx[b]);
        // u(i, k) with its pair, row by row: u(i, k) = min(u(i-1, k), u(i, k+1), d(i, k)).
        std::vector<Closing> prev(m), cur(m);
        constexpr int kNone = std::numeric_limits<int>::max();
        for (int i = 0; i < m; ++i) {
            for (int k = m - 1; k > i; --k) {
                Closing c{kNone, -1, -1, 0};
                if (i > 0 && prev[k].value < c.value)
                    c = prev[k];
                if (k + 1 < m && cur[k + 1].value < c.value)
                    c = cur[k + 1];
                const int dik = d[std::size_t(i) * m + k];
                if (dik < c.value)
                    c = Closing{dik, idx[i], idx[k], 0};
                cur[k] = c;
                if (k < i + 2)
                    continue;
                for (int j = i + 1; j < k; ++j) {
                    const int s1 = d[std::size_t(i) * m + j], s2 = d[std::size_t(j) * m + k];
                    const int p = s1 + s2 + dik;
                    const std::int64_t p7 = 7 * std::int64_t(p);
                    const bool fai = 25 * std::int64_t(s1) >= p7 && 25 * std::int64_t(s2) >= p7
                                     && 25 * std::int64_t(dik) >= p7;
                    offerTriangle(p, c, fai, idx[i], idx[j], idx[k]);
                }
            }
            std::swap(prev, cur);
        }
    }

    const std::atomic<bool>* m_cancel;
    unsigned m_ticks = 0;
    unsigned m_freeSplits = 0;
    static constexpr std::int64_t kSplitCost = 8;
    int m_n = 0;
    std::vector<Trig> m_trig;
    std::vector<std::array<double, 3>> m_vec;
    std::vector<Node> m_nodes;
    int m_root = 0;
    std::vector<Node> m_space; // the tree over space: leaves are positions of m_perm
    int m_spaceRoot = 0;
    std::vector<int> m_perm;   // the fixes in the order of the tree over space
    double m_timeScale = 0; // mean chord between consecutive fixes

    std::vector<int> m_L, m_Lidx, m_F, m_Fidx;

    std::array<std::array<double, 3>, kSlabs> m_slabDir{};
    using SlabRow = std::array<float, kSlabs>;
    std::shared_ptr<const std::vector<SlabRow>> m_slabLo, m_slabHi;

    std::vector<BoundLevel> m_levels;
    std::unordered_map<std::uint64_t, Closing> m_closingCache;
    std::unordered_map<std::uint64_t, std::vector<Closing>> m_tables;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    int m_threads = 1;
};

// Leading decimal integer of FIELD: optional sign, then digits; nothing readable is 0.
long fieldValue(std::string_view field)
{
    std::size_t p = 0;
    bool negative = false;
    if (p < field.size() && (field[p] == '+' || field[p] == '-')) {
        negative = field[p] == '-';
        ++p;
    }
    long v = 0;
    for (; p < field.size() && field[p] >= '0' && field[p] <= '9'; ++p)
        v = v * 10 + (field[p] - '0');
    return negative ? -v : v;
}

double haversineM(double lat1, double lon1, double lat2, double lon2)
{
    const double a1 = lat1 * kDegToRad, a2 = lat2 * kDegToRad;
    const double sLat = std::sin((a1 - a2) / 2);
    const double sLon = std::sin((lon1 * kDegToRad - lon2 * kDegToRad) / 2);
    return 2 * kEarthRadiusM * std::asin(std::sqrt(sLat * sLat + std::cos(a1) * std::cos(a2) * sLon * sLon));
}

} // namespace

int xcDistanceM(const XCFix& a, const XCFix& b)
{
    return legM(trigOf(a), trigOf(b));
}

std::vector<XCFix> readXCFixes(const std::vector<std::string>& lines, int startS, int endS)
{
    clearUpperVectorState();
    std::vector<XCFix> fixes;
    bool haveLast = false;
    XCFix last;
    // Seconds of the day as the last record stated them; 0 while none stated a time.
    int lastStatedS = 0;
    int dayOffsetS = 0;
    for (const std::string& line : lines) {
        if (line.size() > 254 || line.size() < 24 || line[0] != 'B')
            continue;
        if ((line[14] != 'N' && line[14] != 'S') || (line[23] != 'W' && line[23] != 'E'))
            continue;
        const std::string_view v(line);
        XCFix f;
        const int statedS = static_cast<int>(fieldValue(v.substr(1, 2)) * 3600 + fieldValue(v.substr(3, 2)) * 60
                                             + fieldValue(v.substr(5, 2)));
        f.latitudeDeg = double(fieldValue(v.substr(7, 2))) + double(fieldValue(v.substr(9, 5))) / 60000.0;
        f.longitudeWDeg = double(fieldValue(v.substr(15, 3))) + double(fieldValue(v.substr(18, 5))) / 60000.0;
        if (line[14] == 'S')
            f.latitudeDeg = -f.latitudeDeg;
        if (line[23] == 'E')
            f.longitudeWDeg = -f.longitudeWDeg;
        // Instruments that write no times (and route points) get fixes 10 s apart.
        // 000000 after a stated time is 00:00 UTC itself: a flight through
        // midnight goes on, its times counting on into the next day, and the
        // start and end apply to the time of day.
        int timeOfDayS = statedS;
        if (statedS == 0 && lastStatedS == 0) {
            f.timeS = (haveLast ? last.timeS : 0) + 10;
            timeOfDayS = f.timeS % 86400;
        } else {
            if (statedS + dayOffsetS < lastStatedS - kMidnightStepS)
                dayOffsetS += 86400;
            f.timeS = statedS + dayOffsetS;
            lastStatedS = f.timeS;
        }
        if (timeOfDayS < startS)
            continue;
        if (timeOfDayS > endS)
            break;
        if (!haveLast || haversineM(last.latitudeDeg, last.longitudeWDeg, f.latitudeDeg, f.longitudeWDeg) >= 0.5)
            fixes.push_back(f);
        last = f;
        haveLast = true;
    }
    return fixes;
}

XCResult xcStartingValues(const std::vector<XCFix>& fixes)
{
    XCResult r;
    const int n = static_cast<int>(fixes.size());
    if (n == 0)
        return r;
    auto D = [&](int i, int j) { return i <= j ? xcDistanceM(fixes[i], fixes[j]) : xcDistanceM(fixes[j], fixes[i]); };
    const int f0 = 3 * n / 8, f1 = n / 2, f2 = 5 * n / 8, f3 = 6 * n / 8;
    r.freeM = D(f0, f1) + D(f1, f2) + D(f2, f3) + D(f3, n - 1);
    r.freePoints = {f0, f1, f2, f3, n - 1};

    const std::int64_t closing = D(0, n - 1);
    auto triangle = [&](int a, int b, int c, bool first) {
        const std::int64_t s1 = D(a, b), s2 = D(b, c), s3 = D(a, c);
        const std::int64_t p = s1 + s2 + s3;
        if (5 * closing > p)
            return;
        const bool fai = 25 * s1 >= 7 * p && 25 * s2 >= 7 * p && 25 * s3 >= 7 * p;
        const int s = static_cast<int>(p - closing);
        const XCResult::Points pts = {0, a, b, c, n - 1};
        if (fai && (first || s > r.faiM)) {
            r.faiM = s;
            r.faiPoints = pts;
        } else if (!fai && (first || s > r.flatM)) {
            r.flatM = s;
            r.flatPoints = pts;
        }
    };
    triangle(n / 6, n / 2, 5 * n / 6, true);
    triangle(0, n / 3, 2 * n / 3, false);
    return r;
}

Result<XCResult> optimizeXC(const std::vector<XCFix>& fixes, const XCOptions& options)
{
    try {
        clearUpperVectorState();
        if (options.cancel && options.cancel->load())
            throw Cancelled();
        XCResult r = xcStartingValues(fixes);
        if (fixes.size() < 3)
            return r;
        if (fixes.size() > std::size_t(std::numeric_limits<int>::max() / 4))
            return Result<XCResult>::failure("The track has too many fixes to score.");
        int threads = options.threads;
        if (threads <= 0)
            threads = std::min(2, int(std::max(1u, std::thread::hardware_concurrency())));
        Searcher searcher(fixes, options.cancel);
        searcher.setThreads(fixes.size() >= 2000 ? threads : 1);
        searcher.prepareFree();
        searcher.searchFree(r);
        searcher.prepareTriangles();
        searcher.searchTriangles(r, true, true);
        return r;
    } catch (const std::bad_alloc&) {
        return Result<XCResult>::failure("Not enough memory to score the flight.");
    } catch (const Cancelled&) {
        return Result<XCResult>::failure("Scoring cancelled.");
    } catch (const std::exception& e) {
        return Result<XCResult>::failure(std::string("Scoring failed: ") + e.what());
    }
}

} // namespace kalvora
