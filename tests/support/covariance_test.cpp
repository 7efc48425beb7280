// Covariance of columns and powers of symmetric matrices: hand-worked
// values, products that must give the identity, and refused sizes.
#include <gtest/gtest.h>

#include <cmath>

#include "reference.h"
#include "support/covariance.h"

namespace {

// a b for two n x n records.
std::vector<double> square_product(const DataMatrix* a, const DataMatrix* b)
{
    int n = a->rows;
    std::vector<double> c(n * n, 0.0);
    for (int i = 0; i < n; i++)
        for (int k = 0; k < n; k++)
            for (int j = 0; j < n; j++)
                c[i * n + j] += a->data[i * n + k] * b->data[k * n + j];
    return c;
}

}  // namespace

TEST(MatrixCovariance, HandWorkedValues)
{
    struct Case {
        int rows, cols;
        std::vector<double> a, mean, expected;
    } cases[] = {
        // One row divides by 1: the outer product of the row.
        {1, 2, {2, 3}, {}, {4, 6, 6, 9}},
        {1, 2, {2, 3}, {1, 1}, {1, 2, 2, 4}},
        // Without a mean the columns are not centred: sum of x_i x_j / (r - 1).
        {3, 2, {1, 0, 0, 1, 1, 1}, {}, {1, 0.5, 0.5, 1}},
        {3, 2, {1, 0, 0, 1, 2, 2}, {1, 1}, {1, 0.5, 0.5, 1}},
        {4, 1, {1, 2, 3, 4}, {2.5}, {5.0 / 3}},
    };
    for (const Case& c : cases) {
        Matrix a = make_matrix(c.rows, c.cols, c.a);
        Matrix out = make_matrix(c.cols, c.cols, std::vector<double>(c.cols * c.cols, -7.0));
        Matrix mean = c.mean.empty() ? nullptr : make_column(c.mean);
        matrix_covariance(a.get(), mean.get(), out.get());
        std::vector<double> got = values_of(out.get());
        for (size_t t = 0; t < got.size(); t++)
            EXPECT_DOUBLE_EQ(got[t], c.expected[t]) << c.rows << " rows, entry " << t;
    }
}

// Three rows of +-1e154: each product is in range, their sum 3e308 is not,
// yet the covariance 1.5e308 is. Beside them a column at 1e-160 and one at
// 1e160: the cross entries are in range and keep their digits.
TEST(MatrixCovariance, ColumnsFarFromUnitScale)
{
    Matrix a = make_matrix(3, 3, {1e154, 1e-160, 1e160, -1e154, 2e-160, 2e160, 1e154, 3e-160, 3e160});
    Matrix c = make_matrix(3, 3, std::vector<double>(9, 0.0));
    matrix_covariance(a.get(), nullptr, c.get());
    EXPECT_NEAR(matrix_get(c.get(), 0, 0) / 1.5e308, 1.0, 1e-15);
    EXPECT_NEAR(matrix_get(c.get(), 0, 1) / 1e-6, 1.0, 1e-15);   // (1 - 2 + 3) 1e-6 / 2
    EXPECT_NEAR(matrix_get(c.get(), 1, 2) / 7.0, 1.0, 1e-15);    // (1 + 4 + 9) / 2
    EXPECT_NEAR(matrix_get(c.get(), 1, 1) / 7e-320, 1.0, 1e-3);  // subnormal: few digits
    EXPECT_EQ(matrix_get(c.get(), 2, 2), INFINITY);               // 7e320 is out of range
}

TEST(MatrixPower, HandWorkedValuesAndIdentities)
{
    double r3 = 1 / std::sqrt(3.0);
    struct Case {
        int n;
        std::vector<double> a;
        double exponent;
        std::vector<double> expected;
    } cases[] = {
        {2, {1, 0, 0, 1}, -0.5, {1, 0, 0, 1}},
        {3, {4, 0, 0, 0, 9, 0, 0, 0, 0.25}, -0.5, {0.5, 0, 0, 0, 1.0 / 3, 0, 0, 0, 2}},
        {2, {2, 1, 1, 2}, -0.5, {(r3 + 1) / 2, (r3 - 1) / 2, (r3 - 1) / 2, (r3 + 1) / 2}},
        {2, {2, 1, 1, 2}, 2, {5, 4, 4, 5}},
        {1, {16}, 0.25, {2}},
    };
    for (const Case& c : cases) {
        Matrix a = make_matrix(c.n, c.n, c.a);
        matrix_power(a.get(), c.exponent);
        for (int t = 0; t < c.n * c.n; t++)
            EXPECT_NEAR(a->data[t], c.expected[t], 1e-14) << "entry " << t;
    }
    // A random symmetric positive definite matrix: (A^-1/2)^2 A = I and
    // (A^1/2)^2 = A.
    Matrix b = random_matrix(6, 6, 7);
    Matrix spd = make_matrix(6, 6, std::vector<double>(36, 0.0));
    for (int i = 0; i < 6; i++)
        for (int j = 0; j < 6; j++) {
            for (int k = 0; k < 6; k++)
                spd->data[i * 6 + j] += b->data[i * 6 + k] * b->data[j * 6 + k];
            spd->data[i * 6 + j] += i == j ? 0.5 : 0.0;
        }
    Matrix half = make_matrix(6, 6, values_of(spd.get()));
    Matrix inverse_half = make_matrix(6, 6, values_of(spd.get()));
    matrix_power(half.get(), 0.5);
    matrix_power(inverse_half.get(), -0.5);
    std::vector<double> square = square_product(half.get(), half.get());
    Matrix inverse = make_matrix(6, 6, square_product(inverse_half.get(), inverse_half.get()));
    std::vector<double> identity = square_product(inverse.get(), spd.get());
    for (int t = 0; t < 36; t++) {
        EXPECT_NEAR(square[t], spd->data[t], 1e-12);
        EXPECT_NEAR(identity[t], t % 7 == 0 ? 1.0 : 0.0, 1e-10);
    }
}

// An eigenvalue of 0 or below has no inverse root: the result is not
// finite, so that callers can tell.
TEST(MatrixPower, EigenvaluesOfZeroOrBelowGiveValuesThatAreNotFinite)
{
    for (std::vector<double> values : {std::vector<double>{0, 0, 0, 1},
                                       std::vector<double>{1, 0, 0, -1}}) {
        Matrix a = make_matrix(2, 2, values);
        matrix_power(a.get(), -0.5);
        bool finite = true;
        for (double v : values_of(a.get()))
            finite = finite && std::isfinite(v);
        EXPECT_FALSE(finite) << values[0] << " " << values[3];
    }
}

TEST(CovarianceAndPower, BadSizesLeaveTheOutputUnchanged)
{
    Matrix a = make_matrix(2, 2, {1, 2, 3, 4});
    Matrix wide = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    Matrix c = make_matrix(2, 2, {9, 9, 9, 9});
    Matrix small = make_matrix(1, 1, {9});
    Matrix mean3 = make_column({1, 2, 3});
    DataMatrix empty{0, 0, nullptr};
    const std::string cov = "matrix_covariance: empty input or bad size\n";
    const std::string power = "matrix_power: empty input or bad size!\n";
    expect_messages({
        {[&] { matrix_covariance(nullptr, nullptr, c.get()); }, cov},
        {[&] { matrix_covariance(&empty, nullptr, c.get()); }, cov},
        {[&] { matrix_covariance(a.get(), nullptr, nullptr); }, cov},
        {[&] { matrix_covariance(a.get(), nullptr, small.get()); }, cov},
        {[&] { matrix_covariance(a.get(), mean3.get(), c.get()); }, cov},
        {[&] { matrix_covariance(a.get(), a.get(), c.get()); }, cov},
        {[&] { matrix_power(nullptr, 2); }, power},
        {[&] { matrix_power(&empty, 2); }, power},
        {[&] { matrix_power(wide.get(), 2); }, power},
    });
    EXPECT_EQ(values_of(c.get()), std::vector<double>(4, 9.0));
    EXPECT_EQ(values_of(small.get()), std::vector<double>{9.0});
    EXPECT_EQ(values_of(wide.get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
}
