#include "xcreference.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace kalvora::test {
namespace {

// The fixed starting path and triangles, written out again from the rules so
// that the references do not share code with the optimiser.
struct Bests
{
    std::int64_t free = 0, flat = 0, fai = 0;
    XCResult::Points freePts{}, flatPts{}, faiPts{};

    XCResult result() const
    {
        XCResult r;
        r.freeM = int(free);
        r.flatM = int(flat);
        r.faiM = int(fai);
        r.freePoints = freePts;
        r.flatPoints = flatPts;
        r.faiPoints = faiPts;
        return r;
    }
};

template <typename DistFn>
Bests startingValues(int n, DistFn D)
{
    Bests b;
    b.free = D(3 * n / 8, n / 2) + D(n / 2, 5 * n / 8) + D(5 * n / 8, 6 * n / 8) + D(6 * n / 8, n - 1);
    b.freePts = {3 * n / 8, n / 2, 5 * n / 8, 6 * n / 8, n - 1};
    const std::int64_t c = D(0, n - 1);
    {
        const int v1 = n / 6, v2 = n / 2, v3 = 5 * n / 6;
        const std::int64_t s1 = D(v1, v2), s2 = D(v2, v3), s3 = D(v1, v3), p = s1 + s2 + s3;
        if (5 * c <= p) {
            if (s1 * 25 >= 7 * p && s2 * 25 >= 7 * p && s3 * 25 >= 7 * p) {
                b.fai = p - c;
                b.faiPts = {0, v1, v2, v3, n - 1};
            } else {
                b.flat = p - c;
                b.flatPts = {0, v1, v2, v3, n - 1};
            }
        }
    }
    {
        const int v1 = 0, v2 = n / 3, v3 = 2 * n / 3;
        const std::int64_t s1 = D(v1, v2), s2 = D(v2, v3), s3 = D(v1, v3), p = s1 + s2 + s3;
        if (5 * c <= p) {
            const bool fai = s1 * 25 >= 7 * p && s2 * 25 >= 7 * p && s3 * 25 >= 7 * p;
            if (fai && p - c > b.fai) {
                b.fai = p - c;
                b.faiPts = {0, v1, v2, v3, n - 1};
            } else if (!fai && p - c > b.flat) {
                b.flat = p - c;
                b.flatPts = {0, v1, v2, v3, n - 1};
            }
        }
    }
    return b;
}

bool faiShaped(std::int64_t s1, std::int64_t s2, std::int64_t s3)
{
    const std::int64_t p = s1 + s2 + s3;
    return s1 * 25 >= 7 * p && s2 * 25 >= 7 * p && s3 * 25 >= 7 * p;
}

} // namespace

XCResult tableAlgorithmXC(const std::vector<XCFix>& fixes)
{
    const int n = int(fixes.size());
    if (n <= 0 || n > 20000)
        return {};
    // t1: D below the diagonal (row j, column i, j > i), U above (row i, column k).
    // t2: closing a below (row k, column i), closing b above (row i, column k).
    std::vector<std::uint32_t> t1(std::size_t(n) * n, 0), t2(std::size_t(n) * n, 0);
    const std::size_t stride = fixes.size();
    auto at = [stride](std::vector<std::uint32_t>& t, int r, int c) -> std::uint32_t& {
        return t[std::size_t(r) * stride + std::size_t(c)];
    };
    for (int j = 1; j < n; ++j)
        for (int i = 0; i < j; ++i)
            at(t1, j, i) = std::uint32_t(xcDistanceM(fixes[i], fixes[j]));
    auto D = [&](int i, int j) -> std::int64_t {
        if (i == j || i < 0 || j < 0)
            return 0;
        return i < j ? at(t1, j, i) : at(t1, i, j);
    };
    Bests b = startingValues(n, D);
    if (n < 3)
        return b.result();

    std::int64_t step = 1;
    for (int i = 0; i + 1 < n; ++i)
        step = std::max(step, D(i, i + 1));

    // U and its closing indices.
    {
        std::uint32_t cur = std::uint32_t(D(0, n - 1));
        std::uint32_t cb = n - 1;
        for (int k = n - 1; k >= 1; --k) {
            if (k < n - 1 && D(0, k) < cur) {
                cur = std::uint32_t(D(0, k));
                cb = k;
            }
            at(t1, 0, k) = cur;
            at(t2, k, 0) = 0;
            at(t2, 0, k) = cb;
        }
    }
    for (int i = 1; i <= n - 2; ++i) {
        if (D(i, n - 1) < at(t1, i - 1, n - 1)) {
            at(t1, i, n - 1) = std::uint32_t(D(i, n - 1));
            at(t2, n - 1, i) = i;
            at(t2, i, n - 1) = n - 1;
        } else {
            at(t1, i, n - 1) = at(t1, i - 1, n - 1);
            at(t2, n - 1, i) = at(t2, n - 1, i - 1);
            at(t2, i, n - 1) = at(t2, i - 1, n - 1);
        }
        for (int k = n - 2; k >= i + 1; --k) {
            std::uint32_t u = at(t1, i, k + 1), a = at(t2, k + 1, i), bb = at(t2, i, k + 1);
            if (D(i, k) < u) {
                u = std::uint32_t(D(i, k));
                a = i;
                bb = k;
            }
            if (at(t1, i - 1, k) < u) {
                u = at(t1, i - 1, k);
                a = at(t2, k, i - 1);
                bb = at(t2, i - 1, k);
            }
            at(t1, i, k) = u;
            at(t2, k, i) = a;
            at(t2, i, k) = bb;
        }
    }

    std::vector<std::int64_t> F(n, 0), G(n, 0);
    for (int k = n - 1; k >= 2; --k) {
        std::int64_t best = -1, arg = k;
        for (int bb = n - 1; bb >= k;) {
            const std::int64_t d = D(k, bb);
            if (d > best || (d == best && bb < arg)) {
                best = d;
                arg = bb;
            }
            bb -= int(std::max<std::int64_t>(1, (best - d) / step));
        }
        F[k] = best;
        G[k] = arg;
    }

    for (int i = 0; i <= n - 3; ++i) {
        std::int64_t L = 0, A = 0;
        for (int a = 0; a < i; ++a)
            if (D(a, i) >= L) {
                L = D(a, i);
                A = a;
            }
        for (int k = n - 1; k >= i + 2;) {
            const std::int64_t C = at(t1, i, k);
            const int ca = int(at(t2, k, i)), cb = int(at(t2, i, k));
            const std::int64_t dik = D(i, k);
            std::int64_t Mx = -1;
            int jx = i + 1;
            for (int j = i + 1; j <= k - 1; ++j) {
                const std::int64_t M = D(i, j) + D(j, k);
                if (M > Mx) {
                    Mx = M;
                    jx = j;
                }
                const std::int64_t P = M + dik;
                if (P >= 5 * C) {
                    const std::int64_t S = P - C;
                    if (faiShaped(D(i, j), D(j, k), dik)) {
                        if (S > b.fai) {
                            b.fai = S;
                            b.faiPts = {ca, i, j, k, cb};
                        }
                    } else if (S > b.flat) {
                        b.flat = S;
                        b.flatPts = {ca, i, j, k, cb};
                    }
                }
            }
            const std::int64_t V = L + Mx + F[k];
            if (V > b.free) {
                b.free = V;
                b.freePts = {int(A), i, jx, k, int(G[k])};
            }
            const std::int64_t s1 = (b.free - L - F[k] - Mx) / (2 * step) + 1;
            const std::int64_t s2 = (5 * C - dik - Mx) / (7 * step);
            const std::int64_t s3 = (b.flat + C - dik - Mx) / (3 * step) + 1;
            const std::int64_t s4 = (b.fai + C - dik - Mx) / (3 * step) + 1;
            k -= int(std::max<std::int64_t>(std::min(std::max(std::min(s3, s4), s2), s1), 1));
        }
    }
    return b.result();
}

XCResult exhaustiveXC(const std::vector<XCFix>& fixes)
{
    const int n = int(fixes.size());
    if (n == 0)
        return {};
    std::vector<std::int64_t> d(std::size_t(n) * n, 0);
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            d[std::size_t(i) * n + j] = d[std::size_t(j) * n + i] = xcDistanceM(fixes[i], fixes[j]);
    auto D = [&](int i, int j) { return d[std::size_t(i) * n + j]; };
    Bests b = startingValues(n, D);
    if (n < 3)
        return b.result();

    // Every first leg a ≤ i, every last leg b ≥ k, every closing pair a ≤ i < k ≤ b.
    std::vector<std::int64_t> L(n, 0), F(n, 0);
    std::vector<int> La(n, 0), Fb(n, n - 1);
    for (int i = 0; i < n; ++i)
        for (int a = 0; a <= i; ++a)
            if (D(a, i) > L[i]) {
                L[i] = D(a, i);
                La[i] = a;
            }
    for (int k = 0; k < n; ++k) {
        Fb[k] = k;
        for (int e = k; e < n; ++e)
            if (D(k, e) > F[k]) {
                F[k] = D(k, e);
                Fb[k] = e;
            }
    }
    struct Close
    {
        std::int64_t d;
        int a, b;
    };
    std::vector<Close> U(std::size_t(n) * n, Close{std::numeric_limits<std::int64_t>::max(), -1, -1});
    for (int i = 0; i < n; ++i)
        for (int k = n - 1; k > i; --k) {
            Close c{D(i, k), i, k};
            if (i > 0 && U[std::size_t(i - 1) * n + k].d < c.d)
                c = U[std::size_t(i - 1) * n + k];
            if (k + 1 < n && U[std::size_t(i) * n + k + 1].d < c.d)
                c = U[std::size_t(i) * n + k + 1];
            U[std::size_t(i) * n + k] = c;
        }

    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            for (int k = j + 1; k < n; ++k) {
                const std::int64_t s1 = D(i, j), s2 = D(j, k), s3 = D(i, k);
                const std::int64_t v = L[i] + s1 + s2 + F[k];
                if (v > b.free) {
                    b.free = v;
                    b.freePts = {La[i], i, j, k, Fb[k]};
                }
                const Close& c = U[std::size_t(i) * n + k];
                const std::int64_t p = s1 + s2 + s3;
                if (p < 5 * c.d)
                    continue;
                if (faiShaped(s1, s2, s3)) {
                    if (p - c.d > b.fai) {
                        b.fai = p - c.d;
                        b.faiPts = {c.a, i, j, k, c.b};
                    }
                } else if (p - c.d > b.flat) {
                    b.flat = p - c.d;
                    b.flatPts = {c.a, i, j, k, c.b};
                }
            }
    return b.result();
}

} // namespace kalvora::test
