// Matrices on which plain shifted QR iterations never end: Jacobi's values,
// and ordinary matrices computed alike before and after them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "reference.h"
#include "support/eigen.h"

namespace {

// The library's Schur iteration never ends on this one.
const std::vector<double> schur_stall = {0, 0.01, 0, 0.01, 0, 1, 0, 1, 0};
// Nor its symmetric tridiagonal iteration on this one.
const std::vector<double> symmeig_stall = {0, -1, 1e-53, -1, 1, -1e-53, 1e-53, -1e-53, 0};

struct Eigenvalues {
    int returned;               // the routine's result
    std::vector<double> re;     // real parts (symmetric: the values)
    std::vector<double> im;     // imaginary parts; empty for symmetric
    std::string message;        // what the routine printed
};

Eigenvalues general_of(const DataMatrix* a)
{
    Matrix re = make_column(std::vector<double>(a->rows, 7));
    Matrix im = make_column(std::vector<double>(a->rows, 7));
    testing::internal::CaptureStderr();
    int returned = matrix_eigenvalues(a, re.get(), im.get());
    return {returned, values_of(re.get()), values_of(im.get()),
            testing::internal::GetCapturedStderr()};
}

Eigenvalues symmetric_of(const DataMatrix* a)
{
    Matrix values = make_column(std::vector<double>(a->rows, 7));
    testing::internal::CaptureStderr();
    int returned = matrix_eigenvalues_symm(a, values.get());
    return {returned, values_of(values.get()), {}, testing::internal::GetCapturedStderr()};
}

void expect_jacobi_values(const DataMatrix* a, const Eigenvalues& found)
{
    EXPECT_EQ(found.returned, 1);
    EXPECT_EQ(found.message, "");
    std::vector<double> sorted = found.re;
    std::sort(sorted.rbegin(), sorted.rend());
    std::vector<double> expected = jacobi_eigenvalues(a);
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_NEAR(sorted[i], expected[i], 1e-12) << i;
    for (double im : found.im)
        EXPECT_NEAR(im, 0.0, 1e-12);
}

void expect_same(const Eigenvalues& a, const Eigenvalues& b)
{
    EXPECT_EQ(a.returned, b.returned);
    EXPECT_EQ(a.re, b.re);
    EXPECT_EQ(a.im, b.im);
    EXPECT_EQ(a.message, b.message);
}

TEST(EigenGuard, StalledIterationsEndAndLeaveTheLibraryWorking)
{
    // Ordinary matrices of a smaller, the same and a larger order than the
    // stalled ones, so the library's work storage is reused and regrown.
    std::vector<Matrix> ordinary;
    for (int n : {2, 3, 8})
        ordinary.push_back(symmetrised(random_matrix(n, n, 90 + n).get()));
    std::vector<Eigenvalues> before;
    for (const Matrix& m : ordinary) {
        before.push_back(general_of(m.get()));
        before.push_back(symmetric_of(m.get()));
    }

    Matrix general = make_matrix(3, 3, schur_stall);
    Matrix symmetric = make_matrix(3, 3, symmeig_stall);
    expect_jacobi_values(general.get(), general_of(general.get()));
    Eigenvalues symm = symmetric_of(symmetric.get());
    expect_jacobi_values(symmetric.get(), symm);
    EXPECT_TRUE(std::is_sorted(symm.re.rbegin(), symm.re.rend()));
    EXPECT_EQ(values_of(general.get()), schur_stall);
    EXPECT_EQ(values_of(symmetric.get()), symmeig_stall);

    for (size_t i = 0; i < ordinary.size(); i++) {
        expect_same(general_of(ordinary[i].get()), before[2 * i]);
        expect_same(symmetric_of(ordinary[i].get()), before[2 * i + 1]);
        expect_jacobi_values(ordinary[i].get(), before[2 * i]);
    }
}

}  // namespace
