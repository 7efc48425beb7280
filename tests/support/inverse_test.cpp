// In-place inverses: the diagonal held as a vector, square matrices, the
// singular rules of both routines; library errors end with status 1.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "reference.h"
#include "support/matrix.h"
#include "support/meschach_bridge.h"

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

typedef double (*Inverse)(DataMatrix*);

// Entry-wise equality that counts NaN equal to NaN.
bool same_entries(const DataMatrix* m, const std::vector<double>& values)
{
    std::vector<double> entries = values_of(m);
    for (size_t i = 0; i < values.size(); i++)
        if (!(entries[i] == values[i] || (std::isnan(entries[i]) && std::isnan(values[i]))))
            return false;
    return true;
}

TEST(Inverse, VectorIsADiagonal)
{
    for (Inverse invert : {matrix_invert, invert_with_determinant}) {
        Matrix v = make_column({4, 1e-12, -2});
        EXPECT_DOUBLE_EQ(invert(v.get()), -8e-12);
        EXPECT_EQ(values_of(v.get()), (std::vector<double>{0.25, 0, -0.5}));
        Matrix row = make_matrix(1, 2, {2, 8});
        EXPECT_EQ(invert(row.get()), 16.0);
        EXPECT_EQ(values_of(row.get()), (std::vector<double>{0.5, 0.125}));
    }
}

TEST(Inverse, SquareMatrixTimesInverseIsIdentity)
{
    for (Inverse invert : {matrix_invert, invert_with_determinant}) {
        for (int n : {2, 3, 6}) {
            Matrix a = random_matrix(n, n, 7 + n);
            Matrix inverse = make_matrix(n, n, values_of(a.get()));
            double d = invert(inverse.get());
            EXPECT_NEAR(std::fabs(d), std::fabs(determinant(values_of(a.get()), n)), 1e-12);
            Matrix product(matrix_alloc(n, n));
            ASSERT_EQ(matrix_multiply(a.get(), inverse.get(), product.get()), 1);
            for (int i = 0; i < n; i++)
                for (int j = 0; j < n; j++)
                    EXPECT_NEAR(matrix_get(product.get(), i, j), i == j ? 1.0 : 0.0, 1e-10);
        }
    }
}

TEST(Inverse, PivotSignIsNotApplied)
{
    Matrix swap = make_matrix(2, 2, {0, 1, 1, 0});
    EXPECT_EQ(matrix_invert(swap.get()), 1.0);
    EXPECT_EQ(values_of(swap.get()), (std::vector<double>{0, 1, 1, 0}));
}

TEST(Inverse, SingularAndThresholdRules)
{
    struct Case {
        Inverse invert;
        std::vector<double> entries;  // 2 x 2
        bool inverted;
    } cases[] = {
        {matrix_invert, {1, 2, 2, 4}, false},                // zero pivot
        {invert_with_determinant, {1, 2, 2, 4}, false},
        {matrix_invert, {1e-6, 0, 0, 1e-5}, true},           // |d| = 1e-11
        {invert_with_determinant, {1e-6, 0, 0, 1e-5}, false},
        {matrix_invert, {1e200, 0, 0, 1e200}, true},         // product overflows
        {invert_with_determinant, {1e200, 0, 0, 1e200}, true},
        {matrix_invert, {NaN, 1, 1, 1}, false},
        {matrix_invert, {INF, 1, 1, 1}, false},
        {matrix_invert, {1e8, 0, 0, 1e-8}, true},           // each pivot by its own scale
        {invert_with_determinant, {1e8, 0, 0, 1e-8}, true},
        {matrix_invert, {1e-200, 0, 0, 1e-200}, true},       // product underflows
        {invert_with_determinant, {1e-200, 0, 0, 1e-200}, false},
        {invert_with_determinant, {1e-20, 1, 1e-20, 2}, false},  // |d| = 1e-20
    };
    for (const Case& c : cases) {
        Matrix m = make_matrix(2, 2, c.entries);
        c.invert(m.get());
        EXPECT_EQ(!same_entries(m.get(), c.entries), c.inverted) << c.entries[0];
    }
    Matrix singular = make_matrix(2, 2, {1, 2, 2, 4});
    EXPECT_EQ(matrix_invert(singular.get()), 0.0);
    Matrix small = make_matrix(2, 2, {1e-6, 0, 0, 1e-5});
    EXPECT_DOUBLE_EQ(invert_with_determinant(small.get()), 1e-11);
    Matrix column_scaled = make_matrix(2, 2, {1e-20, 1, 1e-20, 2});  // a column far smaller
    matrix_invert(column_scaled.get());
    EXPECT_EQ(values_of(column_scaled.get()), (std::vector<double>{2e20, -1e20, -1, 1}));
}

// Pivots s, s eps and 1 (a product that is not 0): the middle pivot is what
// cancellation among entries of size s left, rounding alone, so the
// matrix is refused; the result used to be the product, which a caller could
// not tell from a determinant.
TEST(Inverse, RefusedInversionReturnsZero)
{
    const double eps = std::numeric_limits<double>::epsilon();
    std::vector<std::vector<double>> cases;
    for (double s : {1e8, 1e-9})
        cases.push_back({s, s, 0, s, s * (1 + eps), 0, 0, 0, 1});
    for (Inverse invert : {matrix_invert, invert_with_determinant})
        for (const std::vector<double>& entries : cases) {
            Matrix m = make_matrix(3, 3, entries);
            EXPECT_EQ(invert(m.get()), 0.0) << entries[0];
            EXPECT_EQ(values_of(m.get()), entries);
        }
}

// 0 is a refusal only: a product below the smallest real is reported as
// that real, and a partial product that leaves the reals does not lose the
// whole one.
TEST(Inverse, PivotProductIsNotLostToUnderflow)
{
    const int n = 340;  // 0.1^340 underflows to 0
    Matrix m = make_matrix(n, n, std::vector<double>(n * n, 0.0));
    for (int i = 0; i < n; i++)
        matrix_set(m.get(), i, i, i % 2 ? -0.1 : 0.1);
    EXPECT_EQ(matrix_invert(m.get()), DBL_TRUE_MIN);
    EXPECT_NEAR(matrix_get(m.get(), 0, 0), 10.0, 1e-12);
    EXPECT_NEAR(matrix_get(m.get(), n - 1, n - 1), -10.0, 1e-12);
    Matrix diagonal = make_column(std::vector<double>(n, -0.1));
    EXPECT_EQ(matrix_invert(diagonal.get()), DBL_TRUE_MIN);
    Matrix spread = make_matrix(4, 4, {1e-200, 0, 0, 0, 0, 1e-200, 0, 0,
                                       0, 0, 1e300, 0, 0, 0, 0, -1e300});
    EXPECT_DOUBLE_EQ(matrix_invert(spread.get()), -1e200);
    EXPECT_DOUBLE_EQ(matrix_get(spread.get(), 0, 0), 1e200);
}

// Singularity is judged pivot against pivot: a well-conditioned matrix at any
// scale is inverted whatever its pivot product does, and a pivot within n
// roundings of the largest is refused.
TEST(Inverse, SingularityDoesNotDependOnScale)
{
    const int n = 50;
    Matrix base = symmetrised(random_matrix(n, n, 31).get());
    for (int t = 0; t < n * n; t++)
        base->data[t] *= 0.02;
    for (int i = 0; i < n; i++)
        base->data[i * n + i] += 2.0;  // eigenvalues within about [1, 3]
    struct Case {
        double scale;
        bool finite_determinant;
    } cases[] = {{1e10, false}, {1.0, true}, {1e-10, true}, {1e-300, true}};
    for (const Case& c : cases) {
        Matrix a = make_matrix(n, n, values_of(base.get()));
        for (int t = 0; t < n * n; t++)
            a->data[t] *= c.scale;
        Matrix inverse = make_matrix(n, n, values_of(a.get()));
        double d = matrix_invert(inverse.get());
        EXPECT_EQ(std::isfinite(d), c.finite_determinant) << c.scale;
        Matrix product(matrix_alloc(n, n));
        ASSERT_EQ(matrix_multiply(a.get(), inverse.get(), product.get()), 1);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                ASSERT_NEAR(matrix_get(product.get(), i, j), i == j ? 1.0 : 0.0, 1e-12) << c.scale;
    }
    const double eps = std::numeric_limits<double>::epsilon();
    for (double scale : {1e-200, 1.0, 1e200}) {
        std::vector<double> nearly = {scale, scale, scale, scale * (1 + eps)};
        Matrix m = make_matrix(2, 2, nearly);
        matrix_invert(m.get());
        EXPECT_EQ(values_of(m.get()), nearly) << scale;
    }
}

TEST(Inverse, OtherShapesAreLeftAlone)
{
    Matrix m = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(matrix_invert(m.get()), 0.0);
    EXPECT_EQ(invert_with_determinant(m.get()), 0.0);
    EXPECT_EQ(values_of(m.get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(matrix_invert(nullptr), 0.0);
}

TEST(InverseDeathTest, LibraryErrorEndsWithStatusOne)
{
    // A diagonal vector too short for the factorisation: the library's own
    // report, then status 1 rather than 0.
    Matrix a = make_matrix(3, 2, {1, 2, 3, 4, 5, 6});
    Matrix diag = make_column({0});
    EXPECT_EXIT(
        {
            MatView* view = matrix_as_mat(a.get());
            VecView* short_diag = vector_as_vec(diag.get());
            qr_factor(view, short_diag);
        },
        testing::ExitedWithCode(1), "QRfactor");
}

}  // namespace
