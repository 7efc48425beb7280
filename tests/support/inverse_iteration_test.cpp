// Inverse iteration on spectra that defeat a careless stopping rule: close
// and graded eigenvalues, Jordan blocks, shifts with no real eigenvector.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "reference.h"
#include "support/eigen.h"
#include "support/random.h"

namespace {

// The reflection I - 2 u u' / u'u for a fixed u: an orthogonal matrix that
// mixes every coordinate.
std::vector<double> reflection(int n)
{
    std::vector<double> u(n), q(n * n);
    double length = 0;
    for (int i = 0; i < n; i++) {
        u[i] = 1.0 + 0.37 * i * i - 0.5 * i;
        length += u[i] * u[i];
    }
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            q[i * n + j] = (i == j ? 1.0 : 0.0) - 2.0 * u[i] * u[j] / length;
    return q;
}

// Q B Q' for the n x n b and the reflection above (Q' = Q).
Matrix reflected(const std::vector<double>& b, int n)
{
    std::vector<double> q = reflection(n), a(n * n, 0.0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            for (int k = 0; k < n; k++)
                for (int l = 0; l < n; l++)
                    a[i * n + j] += q[i * n + k] * b[k * n + l] * q[l * n + j];
    return make_matrix(n, n, a);
}

struct Residuals {
    double largest;       // max over columns of max |A v - L v|, relative to |A|
    double orthogonality; // max |V'V - I|
};

Residuals measure(const DataMatrix* a, const DataMatrix* evals, const DataMatrix* v)
{
    int n = a->rows, k = v->cols;
    double scale = largest_entry(a);
    Residuals r{0, 0};
    for (int c = 0; c < k; c++) {
        std::vector<double> column = column_of(v, c);
        std::vector<double> av = times(a, column);
        for (int i = 0; i < n; i++)
            r.largest = std::fmax(r.largest, std::fabs(av[i] - evals->data[c] * column[i]) / scale);
        for (int d = 0; d <= c; d++) {
            double dot = 0;
            for (int i = 0; i < n; i++)
                dot += column[i] * v->data[i * k + d];
            r.orthogonality = std::fmax(r.orthogonality, std::fabs(dot - (c == d ? 1.0 : 0.0)));
        }
    }
    return r;
}

// Eigenvalues 2e-8 apart, or spread over twelve orders down a graded
// tridiagonal (two of them 6e-11 apart, three within 1e-9): each solve used
// to reverse the iterate, the change stayed near 2 and the loop stopped after
// two passes, long before a close neighbour's share had gone (orthogonality
// 4e-7 and 8e-5). Rounding alone allows about eps |A| / gap, 1e-8 for the
// pair. Hilbert 12 (eigenvalues down to 1e-16) and W21+ (pairs 1e-14 apart)
// need the vectors of close eigenvalues kept orthogonal while they iterate:
// up to 2e-5 without. Several start vectors, as the generator's state is that of
// whichever tests ran before.
TEST(InverseIteration, CloseAndGradedSpectraGiveOrthonormalVectors)
{
    const double g = 2e-8;
    std::vector<double> pair = {2, 0, 0, 0, 1 + g, 0, 0, 0, 1};
    const int n = 12;
    std::vector<double> graded(n * n, 0.0);
    for (int i = 0; i < n; i++) {
        graded[i * n + i] = std::pow(10.0, -i);
        if (i + 1 < n)
            graded[i * n + i + 1] = graded[(i + 1) * n + i] = std::pow(10.0, -i - 0.5);
    }
    struct Case {
        std::string label;
        Matrix a;
    };
    std::vector<double> hilbert(n * n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            hilbert[i * n + j] = 1.0 / (i + j + 1);
    const int w = 21;
    std::vector<double> wilkinson(w * w, 0.0);
    for (int i = 0; i < w; i++) {
        wilkinson[i * w + i] = std::fabs(10.0 - i);
        if (i + 1 < w)
            wilkinson[i * w + i + 1] = wilkinson[(i + 1) * w + i] = 1;
    }
    std::vector<Case> cases;
    cases.push_back({"close pair", reflected(pair, 3)});
    cases.push_back({"graded", make_matrix(n, n, graded)});
    cases.push_back({"Hilbert 12", make_matrix(n, n, hilbert)});
    cases.push_back({"Wilkinson W21+", make_matrix(w, w, wilkinson)});
    for (Case& c : cases)
        for (unsigned seed : {1u, 2u, 181u, 4242u}) {
            SCOPED_TRACE(c.label + ", seed " + std::to_string(seed));
            int order = c.a->rows;
            Matrix values = make_column(std::vector<double>(order, 0));
            ASSERT_EQ(matrix_eigenvalues_symm(c.a.get(), values.get()), 1);
            Matrix v = make_matrix(order, order, std::vector<double>(order * order, 0));
            seed_random15(seed);
            ASSERT_EQ(matrix_eigenvectors(c.a.get(), values.get(), v.get()), 1);
            Residuals r = measure(c.a.get(), values.get(), v.get());
            EXPECT_LE(r.orthogonality, 1e-9);
            EXPECT_LE(r.largest, 1e-9);
        }
}

// A nilpotent matrix with Jordan blocks of orders 4 and 1, given the
// eigenvalues its own Schur form reports (about 1e-4 off, some with
// imaginary parts): the stopping rule ended at the second pass with a
// residual of about 1e-2 |A| and reported success. Now a vector is either
// refused or has a residual within the shift's reach.
TEST(InverseIteration, DefectiveMatrixNeverGivesALargeResidual)
{
    std::vector<double> j(25, 0.0);
    j[0 * 5 + 1] = j[1 * 5 + 2] = j[2 * 5 + 3] = 1.0;
    Matrix a = reflected(j, 5);
    Matrix re = make_column(std::vector<double>(5, 0)), im = make_column(std::vector<double>(5, 0));
    ASSERT_EQ(matrix_eigenvalues(a.get(), re.get(), im.get()), 1);
    Matrix v = make_matrix(5, 5, std::vector<double>(25, 0));
    testing::internal::CaptureStderr();
    int done = matrix_eigenvectors(a.get(), re.get(), v.get());
    std::string message = testing::internal::GetCapturedStderr();
    if (!done) {
        EXPECT_EQ(message, "matrix_eigenvectors: the inverse iteration found no eigenvector\n");
        return;
    }
    EXPECT_LE(measure(a.get(), re.get(), v.get()).largest, 1e-9);
}

// An exact eigenvalue 0 of a matrix similar to a Jordan block of order 3:
// the shifted factor's last pivot cancels to exactly 0, which used to end the
// call with "multi_leastsquare: singular matrix, no solution". The null
// vector by hand: row 3 gives v3 = v2, row 2 v1 = -2 v2.
TEST(InverseIteration, ExactEigenvalueOfAJordanBlockIsSolved)
{
    Matrix a = make_matrix(3, 3, {0, 2, -2, 1, -1, 3, 0, -1, 1});
    Matrix evals = make_column({0});
    Matrix v = make_matrix(3, 1, {7, 7, 7});
    testing::internal::CaptureStderr();
    EXPECT_EQ(matrix_eigenvectors(a.get(), evals.get(), v.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const double s = std::sqrt(6.0);
    std::vector<double> expected = {2 / s, -1 / s, -1 / s};
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(v->data[i], expected[i], 1e-8) << i;
}

}  // namespace
