// Symmetric eigenproblems by Householder reduction to tridiagonal form and
// the implicit QL iteration with Wilkinson shifts on that form.
#ifndef SUPPORT_TRIDIAGONAL_H
#define SUPPORT_TRIDIAGONAL_H

#include <cstddef>
#include <memory>
#include <vector>

#include "scriptrun/plugin_api.h"

// Releases a block from allocate_work_block.
struct WorkBlockRelease {
    void operator()(double* block) const;
};
using WorkBlock = std::unique_ptr<double[], WorkBlockRelease>;

// count reals of uninitialised storage from allocate_block; throws
// std::bad_alloc when memory is short.
WorkBlock allocate_work_block(size_t count);

// A symmetric matrix a = 2^exponent Q T Q', with T tridiagonal and Q the
// product of the reflections kept in work.
struct TridiagonalForm {
    int n = 0;                  // order
    int exponent = 0;           // the copy holds a * 2^-exponent, largest |entry| in [0.5, 1)
    double norm = 0.0;          // largest |entry| of the scaled copy (0 for a zero matrix)
    double largest_entry = 0.0; // largest |a_ij| of a itself, either triangle
    double asymmetry = 0.0;     // largest |a_ij - a_ji| of a itself
    WorkBlock work;             // n(n+1)/2: the lower triangle packed row by row (row i
                                // from i(i+1)/2); row i, entries 0..i-1: reflection
                                // vector of step i
    std::vector<double> beta;   // n; step i's reflection is I - beta[i] u u' (0: none)
    std::vector<double> diag;   // n; T's diagonal
    std::vector<double> off;    // n; off[i] couples i and i+1, off[n-1] = 0
};

// Reduces the symmetric part (a + a') / 2 of the square matrix a; throws
// std::bad_alloc when the work copy cannot be had.
void reduce_to_tridiagonal(const DataMatrix* a, TridiagonalForm* t);

// Eigenvalues of T into values (unsorted, in T's scale) by implicit QL with
// Wilkinson shifts, at most 30 iterations per eigenvalue. When rows is not
// null it holds k x n reals, row j a vector in T's basis, and each rotation
// is applied to it, so rows holding Q' end as the eigenvectors of a, one per
// row. False when an eigenvalue does not converge within its 30 iterations.
bool tridiagonal_ql(const TridiagonalForm& t, std::vector<double>* values, double* rows, int k);

// The rows of Q' (n x n): the starting point of tridiagonal_ql that yields
// the eigenvectors of a.
void reflections_transposed(const TridiagonalForm& t, double* rows);

// y := Q' y and y := Q y for one vector of n entries.
void to_tridiagonal_basis(const TridiagonalForm& t, double* y);
// y := Q' y for each of k vectors of n entries, one after another; each
// reflection is read once for all of them.
void vectors_to_tridiagonal_basis(const TridiagonalForm& t, double* y, int k);
void from_tridiagonal_basis(const TridiagonalForm& t, double* y);

// Each of the k columns of the n x k block (row by row) y := Q y.
void columns_from_tridiagonal_basis(const TridiagonalForm& t, double* block, int k);

#endif
