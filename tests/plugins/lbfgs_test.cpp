// Two-loop L-BFGS direction against a dense BFGS recursion: points and
// gradients of a convex quadratic (every pair curved) and of hand-made
// sequences with refused pairs.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "plugins/lbfgs/lbfgs_2loop.h"
#include "tests/plugins/lbfgs_reference.h"

namespace {

using Vec = std::vector<double>;

// A small repeatable generator for the test's own points.
double draw(unsigned* state)
{
    *state = *state * 1664525u + 1013904223u;
    return (*state >> 8) / double(1u << 24) - 0.5;
}

// Gradient of f(x) = x^T A x / 2 + b.x with A = B^T B + I (positive definite).
struct Quadratic {
    int n;
    Vec a, b;
    Quadratic(int size, unsigned seed) : n(size), a(size * size, 0.0), b(size)
    {
        Vec base(n * n);
        for (double& v : base) v = draw(&seed);
        for (int i = 0; i < n; ++i) {
            b[i] = draw(&seed);
            for (int j = 0; j < n; ++j) {
                for (int k = 0; k < n; ++k) a[i * n + j] += base[k * n + i] * base[k * n + j];
                if (i == j) a[i * n + j] += 1.0;
            }
        }
    }
    Vec gradient(const Vec& x) const
    {
        Vec g(b);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) g[i] += a[i * n + j] * x[j];
        return g;
    }
};

double dot(const Vec& a, const Vec& b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
    return sum;
}

Vec minus(const Vec& a, const Vec& b)
{
    Vec out(a.size());
    for (size_t i = 0; i < a.size(); ++i) out[i] = a[i] - b[i];
    return out;
}

// Runs the module over a point/gradient sequence and checks each direction
// against the dense recursion over the pairs a limited memory of m holds.
void check_sequence(const std::vector<Vec>& xs, const std::vector<Vec>& gs, int m,
                    const char* name)
{
    const int n = static_cast<int>(xs[0].size());
    ASSERT_EQ(lbfgs_2loop_init(n, m), 1) << name;
    std::vector<CorrectionPair> held;
    double newest_sy = 1.0;  // 1/rho of the newest held pair; 1 while none is held
    for (size_t k = 0; k < xs.size(); ++k) {
        const Vec& prev_x = k ? xs[k - 1] : xs[k];
        const Vec& prev_g = k ? gs[k - 1] : gs[k];
        const double* d = lbfgs_2loop_direction(xs[k].data(), prev_x.data(), gs[k].data(),
                                                prev_g.data(), static_cast<int>(k));
        Vec expected = gs[k];
        if (k > 0) {
            CorrectionPair pair{minus(xs[k], prev_x), minus(gs[k], prev_g)};
            const double sy = dot(pair.s, pair.y), yy = dot(pair.y, pair.y);
            if (sy > 0) {
                held.push_back(pair);
                if (static_cast<int>(held.size()) > m) held.erase(held.begin());
                newest_sy = sy;
            }
            const double gamma = yy > 0 ? newest_sy / yy : 1.0;
            expected = dense_bfgs_direction(held, gamma, gs[k]);
        }
        for (int i = 0; i < n; ++i)
            EXPECT_NEAR(d[i], expected[i], 1e-9 * (1.0 + std::fabs(expected[i])))
                << name << " call " << k << " component " << i;
    }
    lbfgs_2loop_free();
}

// Steps along the module's own directions on the quadratic, as an optimiser
// would, so that every pair is a real curvature pair.
void quadratic_run(int n, int m, int calls, unsigned seed, std::vector<Vec>* xs,
                   std::vector<Vec>* gs)
{
    Quadratic q(n, seed);
    Vec x(n);
    for (double& v : x) v = 2.0 * draw(&seed);
    for (int k = 0; k < calls; ++k) {
        xs->push_back(x);
        gs->push_back(q.gradient(x));
        for (int i = 0; i < n; ++i) x[i] -= (0.1 + 0.05 * k) * gs->back()[i];
    }
    (void)m;
}

TEST(Lbfgs2Loop, MatchesDenseRecursion)
{
    struct Case {
        const char* name;
        int n, m, calls;
    } cases[] = {
        {"first call only", 4, 3, 1},
        {"one pair", 5, 3, 2},
        {"two pairs", 6, 5, 3},
        {"m+1 pairs drop the oldest", 5, 3, 5},
        {"twice m pairs", 7, 2, 6},
        {"single pair memory", 3, 1, 5},
        // The store grows with the pairs that arrive: a memory asked for but
        // never filled costs nothing, where room for all of it was once taken
        // at the start.
        {"memory far beyond its pairs", 5, INT_MAX, 7},
    };
    for (const Case& c : cases) {
        std::vector<Vec> xs, gs;
        quadratic_run(c.n, c.m, c.calls, 17u + c.n, &xs, &gs);
        check_sequence(xs, gs, c.m, c.name);
    }
}

TEST(Lbfgs2Loop, RefusedPairsAndFlatGradients)
{
    // Hand-made sequences in two dimensions: {x, g} per call.
    struct Case {
        const char* name;
        int m;
        std::vector<Vec> xs, gs;
    } cases[] = {
        {"refused first pair scales by its own y.y", 3,
         {{0, 0}, {1, 0}}, {{1, 1}, {0, 3}}},
        {"refused pair after a stored one", 3,
         {{0, 0}, {1, 0}, {1, 1}}, {{1, 1}, {3, 1}, {3, 0}}},
        {"negative curvature after two pairs", 2,
         {{0, 0}, {1, 0}, {1, 1}, {2, 1}}, {{1, 1}, {3, 1}, {3, 4}, {2, 4}}},
        {"unchanged gradient: no division by zero", 3,
         {{0, 0}, {1, 2}}, {{0.5, -2}, {0.5, -2}}},
        {"unchanged gradient after a stored pair", 3,
         {{0, 0}, {1, 0}, {2, 0}}, {{1, 1}, {3, 1}, {3, 1}}},
    };
    for (const Case& c : cases) check_sequence(c.xs, c.gs, c.m, c.name);
}

TEST(Lbfgs2Loop, FirstCallAndBufferContract)
{
    ASSERT_EQ(lbfgs_2loop_init(3, 2), 1);
    const double x[] = {1, 2, 3}, g[] = {0.5, -1, 4};
    const double junk[] = {NAN, INFINITY, -7};
    const double* first = lbfgs_2loop_direction(x, junk, g, junk, 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(first[i], g[i]);
    const double x2[] = {2, 2, 3}, g2[] = {1.5, -1, 4};
    const double* second = lbfgs_2loop_direction(x2, x, g2, g, 1);
    EXPECT_EQ(first, second);
    // One pair s = e1, y = e1: H = I, so the direction is g2 itself.
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(second[i], g2[i]);
    lbfgs_2loop_free();
    // A fresh run holds no pair of the previous one: y = g - gPrev with
    // s.y > 0 gives the one-pair direction again, not a two-pair one.
    ASSERT_EQ(lbfgs_2loop_init(3, 2), 1);
    EXPECT_EQ(lbfgs_2loop_direction(x2, x, g2, g, 0)[0], g2[0]);
    lbfgs_2loop_free();
}

// A memory of no pairs is plain steepest descent: every direction is the
// gradient itself, also after steps whose pairs (s.y > 0) a memory of one
// pair or more would store.
TEST(Lbfgs2Loop, NoPairsGivesTheGradient)
{
    for (int m : {0, -1}) {
        SCOPED_TRACE(m);
        ASSERT_EQ(lbfgs_2loop_init(3, m), 1);
        const double xs[3][3] = {{1, 2, 3}, {2, 2, 3}, {2, 1, 3}};
        const double gs[3][3] = {{0.5, -1, 4}, {1.5, -1, 4}, {1.5, -3, 4}};
        for (int k = 0; k < 3; ++k) {
            const double* d =
                lbfgs_2loop_direction(xs[k], xs[k > 0 ? k - 1 : 0], gs[k], gs[k > 0 ? k - 1 : 0], k);
            for (int i = 0; i < 3; ++i) EXPECT_EQ(d[i], gs[k][i]) << k;
        }
        lbfgs_2loop_free();
    }
}

}  // namespace
