// The whole symmetric eigen-decomposition: residuals, orthonormal vectors and
// Jacobi's values on hand-made, hostile and scaled matrices; refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "reference.h"
#include "support/eigen.h"

namespace {

Matrix scaled(const DataMatrix* a, double factor)
{
    Matrix m = make_matrix(a->rows, a->cols, values_of(a));
    for (int t = 0; t < a->rows * a->cols; t++)
        m->data[t] *= factor;
    return m;
}

// A V = V diag(values) to tolerance * |A|, V'V = I, first entries >= 0, and
// the values factor times those of an independent Jacobi solver on a / factor
// (its stopping rule is absolute, so it runs at unit scale).
void expect_decomposition(const DataMatrix* a, const DataMatrix* values, const DataMatrix* v,
                          double factor, const std::string& label)
{
    int n = a->rows;
    // Rounding errors grow with the order: 1e-12 up to n = 200.
    const double tolerance = 1e-12 * std::max(1, n / 100);
    double scale = largest_entry(a);
    for (int i = 0; i < n; i++) {
        std::vector<double> column = column_of(v, i);
        std::vector<double> av = times(a, column);
        for (int r = 0; r < n; r++)
            EXPECT_LE(std::fabs(av[r] - values->data[i] * column[r]), tolerance * scale)
                << label << " vector " << i << " row " << r;
        EXPECT_GE(column[0], 0.0) << label;
        for (int j = 0; j <= i; j++) {
            double dot = 0;
            for (int r = 0; r < n; r++)
                dot += column[r] * v->data[r * n + j];
            EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-12) << label << " " << i << "," << j;
        }
    }
    std::vector<double> found = values_of(values);
    std::sort(found.rbegin(), found.rend());
    std::vector<double> expected = jacobi_eigenvalues(scaled(a, 1 / factor).get());
    for (int i = 0; i < n; i++)
        EXPECT_NEAR(found[i], expected[i] * factor, tolerance * scale) << label << " value " << i;
}
TEST(SymmetricDecomposition, HandMadeHostileAndScaledMatrices)
{
    const double t = -2.24e-49;
    struct Case {
        std::string label;
        Matrix a;
        double factor = 1;  // a's scale against its Jacobi reference
    };
    std::vector<Case> cases;
    cases.push_back({"diagonal", make_matrix(3, 3, {1, 0, 0, 0, 3, 0, 0, 0, 2})});
    cases.push_back({"2x2", make_matrix(2, 2, {2, 1, 1, 2})});
    cases.push_back({"1x1", make_matrix(1, 1, {-4})});
    cases.push_back({"zero", make_matrix(3, 3, std::vector<double>(9, 0))});
    cases.push_back({"stalls shifted QR", make_matrix(3, 3, {0, 0.01, 0, 0.01, 0, 1, 0, 1, 0})});
    cases.push_back({"tiny corner", make_matrix(3, 3, {0, 0, t, 0, 0, -1, t, -1, 0})});
    cases.push_back({"mixed 1e-53",
                     make_matrix(3, 3, {0, -1, 1e-53, -1, 1, -1e-53, 1e-53, -1e-53, 0})});
    cases.push_back({"repeated", make_matrix(4, 4, {2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 2})});
    // 200: rotations applied in several batches; 301: update tiles over more
    // than one column range, cut at the diagonal and the last row.
    for (int n : {5, 12, 40, 200, 301})
        cases.push_back({"random " + std::to_string(n), symmetrised(random_matrix(n, n, n).get())});
    Matrix base = symmetrised(random_matrix(8, 8, 99).get());
    for (double factor : {1e-150, 1e-10, 1e150, 1e300})
        cases.push_back({"scaled " + std::to_string(std::log10(factor)), scaled(base.get(), factor),
                         factor});
    for (Case& c : cases) {
        int n = c.a->rows;
        std::vector<double> before = values_of(c.a.get());
        Matrix values = make_column(std::vector<double>(n, 7));
        Matrix vectors = make_matrix(n, n, std::vector<double>(n * n, 7));
        testing::internal::CaptureStderr();
        EXPECT_EQ(matrix_eigens_symmetric(c.a.get(), values.get(), vectors.get()), 1) << c.label;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.label;
        EXPECT_EQ(values_of(c.a.get()), before) << c.label;
        expect_decomposition(c.a.get(), values.get(), vectors.get(), c.factor, c.label);
    }
}

TEST(SymmetricDecomposition, TinyCornerHasEigenvaluesOfUnitSize)
{
    // Plain relative deflation returns +-0.733 here; the values are 0, +-1.
    Matrix a = make_matrix(3, 3, {0, 0, -2.24e-49, 0, 0, -1, -2.24e-49, -1, 0});
    Matrix values = make_column({0, 0, 0});
    Matrix vectors = make_matrix(3, 3, std::vector<double>(9, 0));
    ASSERT_EQ(matrix_eigens_symmetric(a.get(), values.get(), vectors.get()), 1);
    std::vector<double> found = values_of(values.get());
    std::sort(found.begin(), found.end());
    EXPECT_NEAR(found[0], -1, 1e-12);
    EXPECT_NEAR(found[1], 0, 1e-12);
    EXPECT_NEAR(found[2], 1, 1e-12);
}

TEST(SymmetricDecomposition, RefusalsPrintAndChangeNothing)
{
    const double NaN = std::numeric_limits<double>::quiet_NaN();
    Matrix square = make_matrix(2, 2, {1, 0, 0, 2});
    Matrix bad = make_matrix(2, 2, {1, NaN, NaN, 2});
    Matrix wide = make_matrix(2, 3, std::vector<double>(6, 1));
    Matrix col2 = make_column({7, 7}), col3 = make_column({7, 7, 7});
    Matrix vec2 = make_matrix(2, 2, {7, 7, 7, 7});
    Matrix vec3 = make_matrix(3, 3, std::vector<double>(9, 7));
    const std::string size = "matrix_eigens_symmetric: empty input or bad size!\n";
    expect_messages({
        {[&] { matrix_eigens_symmetric(nullptr, col2.get(), vec2.get()); }, size},
        {[&] { matrix_eigens_symmetric(wide.get(), col2.get(), vec2.get()); }, size},
        {[&] { matrix_eigens_symmetric(square.get(), col3.get(), vec2.get()); }, size},
        {[&] { matrix_eigens_symmetric(square.get(), col2.get(), vec3.get()); }, size},
        {[&] { matrix_eigens_symmetric(square.get(), col2.get(), wide.get()); }, size},
        {[&] { matrix_eigens_symmetric(square.get(), nullptr, vec2.get()); }, size},
        {[&] { matrix_eigens_symmetric(bad.get(), col2.get(), vec2.get()); },
         "matrix_eigens_symmetric: the input holds NaN or infinity!\n"},
    });
    for (const DataMatrix* m : {col2.get(), col3.get(), vec2.get(), vec3.get()})
        for (double v : values_of(m))
            EXPECT_EQ(v, 7.0);
    // Finite entries whose eigenvalue 3.4e308 is not finite.
    Matrix huge = make_matrix(2, 2, {1.7e308, 1.7e308, 1.7e308, 1.7e308});
    expect_messages({{[&] { matrix_eigens_symmetric(huge.get(), col2.get(), vec2.get()); },
                      "matrix_eigens_symmetric: the eigenvalues overflow!\n"}});
    EXPECT_EQ(values_of(col2.get()), (std::vector<double>{7, 7}));
}

}  // namespace
