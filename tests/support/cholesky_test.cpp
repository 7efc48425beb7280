// Cholesky factorisation: a hand-worked 3 x 3 factor with its solves and
// log-determinant, the pivot rule's refusals, the blocked path on matrices
// larger than a panel, and the diagonal case.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "reference.h"
#include "support/cholesky.h"

namespace {

// A = L L' with L = [2 0 0; 1 3 0; -1 1 2]: pivots 4, 9, 4 and det A = 144.
// The upper triangle holds markers that must be neither read nor changed.
const std::vector<double> kHandWorked = {4, 91, 92, 2, 10, 93, -2, 2, 6};

const PivotRule kStrict = {PivotScale::absolute, 0.0, false};

void count_pivot(void* context, int pivot)
{
    std::vector<int>* seen = static_cast<std::vector<int>*>(context);
    seen->push_back(pivot);
}

TEST(Cholesky, HandWorkedFactorSolvesAndLogDeterminant)
{
    Matrix a = make_matrix(3, 3, kHandWorked);
    ASSERT_TRUE(cholesky_factor(a.get(), kStrict));
    EXPECT_EQ(values_of(a.get()), std::vector<double>({2, 91, 92, 1, 3, 93, -1, 1, 2}));
    EXPECT_NEAR(cholesky_log_determinant(a.get()), std::log(144.0), 1e-14);

    // A x = b for x = (1, -1, 2) and 2x, b = A x; L^-1 b = (-1, -1, 4).
    Matrix b = make_matrix(3, 2, {-2, -4, -4, -8, 8, 16});
    cholesky_solve_lower(a.get(), b.get());
    EXPECT_EQ(values_of(b.get()), std::vector<double>({-1, -2, -1, -2, 4, 8}));
    cholesky_solve_upper(a.get(), b.get());
    EXPECT_EQ(values_of(b.get()), std::vector<double>({1, 2, -1, -2, 2, 4}));
    Matrix c = make_column({-2, -4, 8});
    cholesky_solve(a.get(), c.get());
    EXPECT_EQ(values_of(c.get()), std::vector<double>({1, -1, 2}));
}

// The second pivot of [1 1; 1 1+t] is exactly t; of [100 0; 0 1] it is 1.
TEST(Cholesky, PivotRuleDecidesRefusal)
{
    const double t = std::ldexp(1.0, -20), nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    const std::vector<double> small = {1, 1, 1, 1 + t}, scaled = {100, 0, 0, 1};
    struct Case {
        std::vector<double> a;  // 2 x 2, row by row
        PivotRule rule;
        bool accepted;
        int notified;           // pivots announced before the outcome
    } cases[] = {
        {small, {PivotScale::absolute, t, true}, true, 2},
        {small, {PivotScale::absolute, t, false}, false, 2},
        {small, {PivotScale::absolute, 2 * t, true}, false, 2},
        {small, {PivotScale::largest_diagonal, t / 2, false}, true, 2},
        {small, {PivotScale::largest_diagonal, t, true}, false, 2},  // floor t (1 + t)
        {scaled, {PivotScale::own_diagonal, 0.05, false}, true, 2},
        {scaled, {PivotScale::largest_diagonal, 0.05, false}, false, 2},
        {{1, 2, 2, 1}, kStrict, false, 2},    // indefinite: pivot -3
        {{0, 0, 0, 1}, {PivotScale::absolute, 0.0, true}, false, 1},  // zero pivot
        {{nan, 0, 0, 1}, kStrict, false, 1},
        {{inf, 0, 0, 1}, kStrict, false, 1},
        {{1, 0, 0, inf}, {PivotScale::largest_diagonal, 1e-12, true}, false, 1},  // floor inf
    };
    for (const Case& c : cases) {
        Matrix a = make_matrix(2, 2, c.a);
        std::vector<int> seen;
        PivotListener listener = {count_pivot, &seen};
        EXPECT_EQ(cholesky_factor(a.get(), c.rule, &listener), c.accepted) << c.a[3];
        EXPECT_EQ(static_cast<int>(seen.size()), c.notified) << c.a[3];
    }
}

// Sizes across the 64-column panels and the 4-row, 8-column tiles of the
// trailing update: L L' must give A back, and the solve must match an
// independent elimination.
TEST(Cholesky, BlockedFactorReproducesTheMatrix)
{
    for (int n : {5, 64, 65, 150}) {
        Matrix m = random_matrix(n, n, 7 + n);
        std::vector<double> a(static_cast<size_t>(n) * n);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                double s = i == j ? 1.0 : 0.0;
                for (int k = 0; k < n; k++)
                    s += matrix_row(m.get(), i)[k] * matrix_row(m.get(), j)[k] / n;
                a[static_cast<size_t>(i) * n + j] = s;
            }
        Matrix l = make_matrix(n, n, a);
        ASSERT_TRUE(cholesky_factor(l.get(), kStrict)) << n;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                double s = 0.0;
                for (int k = 0; k <= std::min(i, j); k++)
                    s += matrix_row(l.get(), i)[k] * matrix_row(l.get(), j)[k];
                if (j <= i)
                    ASSERT_NEAR(s, a[static_cast<size_t>(i) * n + j], 1e-12) << n << " " << i;
                else
                    ASSERT_EQ(matrix_row(l.get(), i)[j], a[static_cast<size_t>(i) * n + j]);
            }
        std::vector<double> b(n);
        for (int i = 0; i < n; i++)
            b[i] = std::sin(i + 1.0);
        Matrix x = make_column(b);
        cholesky_solve(l.get(), x.get());
        std::vector<double> expected = solve_linear(a, b, n);
        for (int i = 0; i < n; i++)
            ASSERT_NEAR(matrix_row(x.get(), i)[0], expected[i], 1e-10) << n << " " << i;
    }
}

TEST(Cholesky, DiagonalCaseAndShapes)
{
    const PivotRule relative = {PivotScale::largest_diagonal, 1e-12, true};
    std::vector<double> reciprocals(3);
    double logDet = 0.0;
    ASSERT_TRUE(invert_diagonal(std::vector<double>{4, 0.5, 2}.data(), 3, relative,
                                reciprocals.data(), &logDet));
    EXPECT_EQ(reciprocals, std::vector<double>({0.25, 2, 0.5}));
    EXPECT_NEAR(logDet, std::log(4.0), 1e-15);
    EXPECT_FALSE(invert_diagonal(std::vector<double>{1, 1e-13}.data(), 2, relative,
                                 reciprocals.data(), &logDet));
    EXPECT_FALSE(invert_diagonal(std::vector<double>{1, -1}.data(), 2, kStrict,
                                 reciprocals.data(), &logDet));

    Matrix wide = make_matrix(2, 3, {1, 0, 0, 0, 1, 0});
    expect_messages({{[&] { EXPECT_FALSE(cholesky_factor(wide.get(), kStrict)); },
                      "cholesky_factor: the matrix is not square\n"}});
    EXPECT_EQ(values_of(wide.get()), std::vector<double>({1, 0, 0, 0, 1, 0}));
}

}  // namespace
