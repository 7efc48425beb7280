// Eigenvalues against a Jacobi solver and determinants, eigenvectors by
// A v = lambda v, the selection sort, bad shapes and values that are not finite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "reference.h"
#include "support/eigen.h"
#include "support/random.h"

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

TEST(VectorSort, OrdersAndRecordsExchanges)
{
    struct Case {
        std::vector<double> values;
        double dir;
        std::vector<double> sorted, swaps;
    } cases[] = {
        {{1, 3, 2}, 1, {3, 2, 1}, {1, 2, 2}},
        {{1, 3, 2}, -1, {1, 2, 3}, {0, 2, 2}},
        {{1, 1, 2}, 1, {2, 1, 1}, {2, 1, 2}},
        {{5, 9, 1, 7}, 0, {5, 9, 1, 7}, {0, 1, 2, 3}},
        {{4}, 1, {4}, {0}},
    };
    for (const Case& c : cases) {
        Matrix v = make_column(c.values);
        Matrix swaps = make_column(std::vector<double>(c.values.size(), -1));
        EXPECT_EQ(vector_sort(v.get(), swaps.get(), c.dir), static_cast<int>(c.values.size()));
        EXPECT_EQ(values_of(v.get()), c.sorted);
        EXPECT_EQ(values_of(swaps.get()), c.swaps);
    }
    Matrix v = make_column({1, 3, 2});
    EXPECT_EQ(vector_sort(v.get(), nullptr, 1), 3);
    EXPECT_EQ(values_of(v.get()), (std::vector<double>{3, 2, 1}));
}

TEST(VectorSort, SwapsReplayTheSortOnAnotherArray)
{
    Matrix v = random_matrix(12, 1, 5);
    std::vector<double> original = values_of(v.get());
    Matrix swaps = make_column(std::vector<double>(12, 0));
    vector_sort(v.get(), swaps.get(), 1);
    for (int i = 0; i < 12; i++)
        std::swap(original[i], original[static_cast<int>(swaps->data[i])]);
    EXPECT_EQ(original, values_of(v.get()));
    EXPECT_TRUE(std::is_sorted(original.rbegin(), original.rend()));
}

TEST(Eigenvalues, SymmetricMatchJacobiInDescendingOrder)
{
    Matrix d = make_matrix(3, 3, {1, 0, 0, 0, 3, 0, 0, 0, 2});
    Matrix evals = make_column({0, 0, 0});
    matrix_eigenvalues_symm(d.get(), evals.get());
    EXPECT_EQ(values_of(evals.get()), (std::vector<double>{3, 2, 1}));

    for (int n : {2, 5, 9}) {
        Matrix a = symmetrised(random_matrix(n, n, 40 + n).get());
        std::vector<double> before = values_of(a.get());
        Matrix values = make_column(std::vector<double>(n, 0));
        matrix_eigenvalues_symm(a.get(), values.get());
        std::vector<double> expected = jacobi_eigenvalues(a.get());
        for (int i = 0; i < n; i++)
            EXPECT_NEAR(values->data[i], expected[i], 1e-10) << n << " " << i;
        EXPECT_EQ(values_of(a.get()), before);
    }
}

TEST(Eigenvalues, GeneralRealAndComplex)
{
    Matrix rotation = make_matrix(2, 2, {0, -1, 1, 0});
    Matrix re = make_column({9, 9}), im = make_column({9, 9});
    matrix_eigenvalues(rotation.get(), re.get(), im.get());
    EXPECT_NEAR(re->data[0], 0, 1e-15);
    EXPECT_NEAR(re->data[1], 0, 1e-15);
    EXPECT_NEAR(std::max(im->data[0], im->data[1]), 1, 1e-15);
    EXPECT_NEAR(std::min(im->data[0], im->data[1]), -1, 1e-15);

    // A symmetric input must give Jacobi's values, in some order.
    Matrix s = symmetrised(random_matrix(6, 6, 3).get());
    Matrix re6 = make_column(std::vector<double>(6, 0)), im6 = make_column(std::vector<double>(6, 9));
    matrix_eigenvalues(s.get(), re6.get(), im6.get());
    std::vector<double> found = values_of(re6.get());
    std::sort(found.rbegin(), found.rend());
    std::vector<double> expected = jacobi_eigenvalues(s.get());
    for (int i = 0; i < 6; i++) {
        EXPECT_NEAR(found[i], expected[i], 1e-10);
        EXPECT_EQ(im6->data[i], 0.0);
    }
}

TEST(Eigenvalues, GeneralMatrixSatisfiesTraceAndCharacteristicEquation)
{
    const int n = 7;
    Matrix a = random_matrix(n, n, 21);
    std::vector<double> before = values_of(a.get());
    Matrix re = make_column(std::vector<double>(n, 0)), im = make_column(std::vector<double>(n, 0));
    matrix_eigenvalues(a.get(), re.get(), im.get());
    EXPECT_EQ(values_of(a.get()), before);
    double trace = 0, sum_re = 0, sum_im = 0;
    for (int i = 0; i < n; i++) {
        trace += before[i * n + i];
        sum_re += re->data[i];
        sum_im += im->data[i];
        if (im->data[i] != 0.0)
            continue;
        std::vector<double> shifted = before;
        for (int j = 0; j < n; j++)
            shifted[j * n + j] -= re->data[i];
        EXPECT_NEAR(determinant(shifted, n), 0.0, 1e-9) << re->data[i];
    }
    EXPECT_NEAR(sum_re, trace, 1e-10);
    EXPECT_NEAR(sum_im, 0.0, 1e-10);
}

TEST(Eigenvalues, FarFromUnitScaleStillEnd)
{
    // The library's iterations never end on these as they are; scaled by a
    // power of two they do, and the values come back in the input's scale.
    Matrix base = symmetrised(random_matrix(5, 5, 8).get());
    Matrix re = make_column(std::vector<double>(5, 0)), im = make_column(std::vector<double>(5, 0));
    Matrix symm = make_column(std::vector<double>(5, 0));
    matrix_eigenvalues_symm(base.get(), symm.get());
    for (double scale : {1e100, 1e-100, 1e300}) {
        Matrix a = make_matrix(5, 5, values_of(base.get()));
        matrix_scale(a.get(), scale);
        Matrix values = make_column(std::vector<double>(5, 0));
        matrix_eigenvalues_symm(a.get(), values.get());
        matrix_eigenvalues(a.get(), re.get(), im.get());
        std::vector<double> general = values_of(re.get());
        std::sort(general.rbegin(), general.rend());
        for (int i = 0; i < 5; i++) {
            EXPECT_NEAR(values->data[i] / scale, symm->data[i], 1e-12) << scale;
            EXPECT_NEAR(general[i] / scale, symm->data[i], 1e-12) << scale;
        }
    }
    Matrix tiny = make_matrix(2, 2, {0, -7.5515192617205808e-158, -7.5515192617205808e-158,
                                     -1.4965274000686095e-12});
    Matrix values = make_column({9, 9});
    matrix_eigenvalues_symm(tiny.get(), values.get());
    EXPECT_EQ(values_of(values.get()), (std::vector<double>{0, -1.4965274000686095e-12}));
    // The smallest subnormal numbers: their symmetric part is themselves.
    Matrix least = make_matrix(2, 2, {DBL_TRUE_MIN, 0, 0, DBL_TRUE_MIN});
    matrix_eigenvalues_symm(least.get(), values.get());
    EXPECT_EQ(values_of(values.get()), (std::vector<double>{DBL_TRUE_MIN, DBL_TRUE_MIN}));
}

// Checks each column of vecs is a unit eigenvector with first entry >= 0.
void expect_eigenvectors(const DataMatrix* a, const DataMatrix* evals, const DataMatrix* vecs)
{
    int n = a->rows;
    for (int i = 0; i < evals->rows; i++) {
        std::vector<double> v(n);
        for (int j = 0; j < n; j++)
            v[j] = matrix_get(vecs, j, i);
        std::vector<double> av = times(a, v);
        double length = 0;
        for (int j = 0; j < n; j++) {
            EXPECT_NEAR(av[j], evals->data[i] * v[j], 1e-8) << "column " << i;
            length += v[j] * v[j];
        }
        EXPECT_NEAR(length, 1.0, 1e-12);
        EXPECT_GE(v[0], 0.0);
    }
}

TEST(Eigenvectors, UnitVectorsOfSmallAndRandomMatrices)
{
    Matrix a = make_matrix(2, 2, {2, 1, 1, 2});
    Matrix evals = make_column({3, 1});
    Matrix vecs = make_matrix(2, 2, {0, 0, 0, 0});
    matrix_eigenvectors(a.get(), evals.get(), vecs.get());
    const double h = 1 / std::sqrt(2.0);
    std::vector<double> expected = {h, h, h, -h};
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(vecs->data[i], expected[i], 1e-9);

    for (int n : {3, 6, 10}) {
        Matrix s = symmetrised(random_matrix(n, n, 60 + n).get());
        Matrix values = make_column(std::vector<double>(n, 0));
        matrix_eigenvalues_symm(s.get(), values.get());
        Matrix keep = make_column({values->data[0], values->data[1], values->data[n - 1]});
        Matrix columns = make_matrix(n, 3, std::vector<double>(3 * n, 0));
        matrix_eigenvectors(s.get(), keep.get(), columns.get());
        expect_eigenvectors(s.get(), keep.get(), columns.get());
    }
}

TEST(Eigenvectors, StartVectorsComeFromTheGenerator)
{
    Matrix s = symmetrised(random_matrix(4, 4, 2).get());
    Matrix values = make_column(std::vector<double>(4, 0));
    matrix_eigenvalues_symm(s.get(), values.get());
    Matrix first = make_matrix(4, 4, std::vector<double>(16, 0));
    Matrix second = make_matrix(4, 4, std::vector<double>(16, 0));
    seed_random15(17);
    matrix_eigenvectors(s.get(), values.get(), first.get());
    seed_random15(17);
    matrix_eigenvectors(s.get(), values.get(), second.get());
    EXPECT_EQ(values_of(first.get()), values_of(second.get()));
}

TEST(Eigen, BadShapesPrintAndChangeNothing)
{
    Matrix square = make_matrix(2, 2, {1, 0, 0, 2});
    Matrix wide = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    Matrix col2 = make_column({7, 7}), col3 = make_column({7, 7, 7});
    Matrix vecs_wrong = make_matrix(2, 3, std::vector<double>(6, 7));
    Matrix two_cols = make_matrix(2, 2, {7, 7, 7, 7});
    const std::string sort = "vector_sort: empty input or bad size!\n";
    const std::string general = "matrix_eigenvalues: empty input or bad size!\n";
    const std::string symm = "matrix_eigenvalues_symm: empty input or bad size!\n";
    const std::string vectors = "matrix_eigenvectors: empty input or bad size!\n";
    expect_messages({
        {[&] { vector_sort(two_cols.get(), nullptr, 1); }, sort},
        {[&] { vector_sort(col2.get(), col3.get(), 1); }, sort},
        {[&] { vector_sort(nullptr, nullptr, 1); }, sort},
        {[&] { matrix_eigenvalues(wide.get(), col2.get(), col2.get()); }, general},
        {[&] { matrix_eigenvalues(square.get(), col2.get(), col3.get()); }, general},
        {[&] { matrix_eigenvalues(square.get(), nullptr, col2.get()); }, general},
        {[&] { matrix_eigenvalues_symm(square.get(), col3.get()); }, symm},
        {[&] { matrix_eigenvalues_symm(nullptr, col2.get()); }, symm},
        {[&] { matrix_eigenvectors(square.get(), col2.get(), vecs_wrong.get()); }, vectors},
        {[&] { matrix_eigenvectors(wide.get(), col2.get(), two_cols.get()); }, vectors},
        {[&] { matrix_eigenvectors(square.get(), two_cols.get(), two_cols.get()); }, vectors},
    });
    for (const DataMatrix* m : {col2.get(), col3.get(), vecs_wrong.get(), two_cols.get()})
        for (double v : values_of(m))
            EXPECT_EQ(v, 7.0);
}

TEST(Eigen, NotFiniteInputIsReportedAndChangesNothing)
{
    for (double bad : {NaN, INF, -INF}) {
        Matrix a = make_matrix(2, 2, {1, bad, bad, 2});
        Matrix fine = make_matrix(2, 2, {2, 1, 1, 2});
        Matrix re = make_column({7, 7}), im = make_column({7, 7});
        Matrix bad_evals = make_column({3, bad});
        Matrix vecs = make_matrix(2, 2, {7, 7, 7, 7});
        expect_messages({
            {[&] { matrix_eigenvalues(a.get(), re.get(), im.get()); },
             "matrix_eigenvalues: the input holds NaN or infinity!\n"},
            {[&] { matrix_eigenvalues_symm(a.get(), re.get()); },
             "matrix_eigenvalues_symm: the input holds NaN or infinity!\n"},
            {[&] { matrix_eigenvectors(a.get(), re.get(), vecs.get()); },
             "matrix_eigenvectors: the input holds NaN or infinity!\n"},
            {[&] { matrix_eigenvectors(fine.get(), bad_evals.get(), vecs.get()); },
             "matrix_eigenvectors: the input holds NaN or infinity!\n"},
        });
        for (const DataMatrix* m : {re.get(), im.get(), vecs.get()})
            for (double v : values_of(m))
                EXPECT_EQ(v, 7.0);
    }
    // Finite entries whose eigenvalue 3.4e308 is not finite.
    Matrix huge = make_matrix(2, 2, {1.7e308, 1.7e308, 1.7e308, 1.7e308});
    Matrix re = make_column({7, 7}), im = make_column({7, 7});
    expect_messages({
        {[&] { matrix_eigenvalues(huge.get(), re.get(), im.get()); },
         "matrix_eigenvalues: the eigenvalues overflow!\n"},
        {[&] { matrix_eigenvalues_symm(huge.get(), re.get()); },
         "matrix_eigenvalues_symm: the eigenvalues overflow!\n"},
    });
    EXPECT_EQ(values_of(re.get()), (std::vector<double>{7, 7}));
    EXPECT_EQ(values_of(im.get()), (std::vector<double>{7, 7}));
}

TEST(Eigenvectors, DegenerateShiftsEndWithoutHanging)
{
    // (L + 1e-10) I - a is exactly singular, L + 1e-10 being a's eigenvalue:
    // the zero pivot is raised and the solve gives the eigenvector.
    Matrix zero = make_matrix(1, 1, {0});
    Matrix shift = make_column({-1e-10});
    Matrix vec = make_matrix(1, 1, {7});
    testing::internal::CaptureStderr();
    EXPECT_EQ(matrix_eigenvectors(zero.get(), shift.get(), vec.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(vec->data[0], 1.0);

    // Values that are no eigenvalues: far beyond the matrix's range, or
    // halfway between two eigenvalues after one that is. Each call ends with
    // its message and leaves vecs as it was, also the column it found first.
    Matrix huge = make_matrix(2, 2, {-1e308, 0, 0, 1});
    Matrix diag = make_matrix(2, 2, {1, 0, 0, 2});
    Matrix small = make_matrix(2, 2, {1e-10, 0, 0, 2e-10});
    const std::string none = "matrix_eigenvectors: the inverse iteration found no eigenvector\n";
    struct Case {
        const DataMatrix* a;
        std::vector<double> values;
        std::string message;
    } cases[] = {
        {huge.get(), {1e308}, none},
        {diag.get(), {1, 1.5}, none},
        {small.get(), {1e308}, "matrix_eigenvectors: an eigenvalue is out of range!\n"},
    };
    for (const Case& c : cases) {
        Matrix evals = make_column(c.values);
        int k = static_cast<int>(c.values.size());
        Matrix vecs = make_matrix(2, k, std::vector<double>(2 * k, 7));
        testing::internal::CaptureStderr();
        EXPECT_EQ(matrix_eigenvectors(c.a, evals.get(), vecs.get()), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(values_of(vecs.get()), std::vector<double>(2 * k, 7));
    }
}

}  // namespace
