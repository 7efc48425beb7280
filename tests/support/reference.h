// Test helpers: owned DataMatrix records built from lists, and independent
// reference computations (Jacobi eigenvalues, normal equations, products).
#ifndef TESTS_SUPPORT_REFERENCE_H
#define TESTS_SUPPORT_REFERENCE_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/matrix.h"

struct MatrixDeleter {
    void operator()(DataMatrix* m) const { matrix_free(m); }
};
using Matrix = std::unique_ptr<DataMatrix, MatrixDeleter>;

// A rows x cols record holding values row by row (all entries given).
Matrix make_matrix(int rows, int cols, const std::vector<double>& values);
// A column of the given values.
Matrix make_column(const std::vector<double>& values);
// A rows x cols record of uniform values in [-1, 1) from a fixed seed.
Matrix random_matrix(int rows, int cols, unsigned seed);
// a + a', so symmetric.
Matrix symmetrised(const DataMatrix* a);
std::vector<double> values_of(const DataMatrix* m);
// Column c of m, and the largest |entry| of m.
std::vector<double> column_of(const DataMatrix* m, int c);
double largest_entry(const DataMatrix* m);

// A call and the exact text it must write to standard error.
struct MessageCase {
    std::function<void()> call;
    std::string message;
};
void expect_messages(const std::vector<MessageCase>& cases);

// Eigenvalues of a symmetric n x n matrix by cyclic Jacobi rotations, in
// descending order.
std::vector<double> jacobi_eigenvalues(const DataMatrix* a);
// x solving the n x n system a x = b (a row by row) by Gaussian elimination
// with partial pivoting.
std::vector<double> solve_linear(std::vector<double> a, std::vector<double> b, int n);
// Least-squares solution of a x = b from the normal equations a'a x = a'b,
// by Gaussian elimination with partial pivoting.
std::vector<double> normal_equations(const DataMatrix* a, const std::vector<double>& b);
// Determinant by Gaussian elimination with partial pivoting.
double determinant(std::vector<double> a, int n);
// a (n x m) times the column x (m entries).
std::vector<double> times(const DataMatrix* a, const std::vector<double>& x);

#endif
