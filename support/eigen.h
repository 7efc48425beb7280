// Eigenvalues (general along the real Schur form, symmetric sorted in
// descending order), unit eigenvectors by inverse iteration, the whole
// symmetric eigen-decomposition, and the selection sort the eigen-based
// plug-ins use to order what they keep. Every iteration here is capped, and
// every tolerance is taken relative to the matrix's largest entry.
#ifndef SUPPORT_EIGEN_H
#define SUPPORT_EIGEN_H

#include <cstdint>
#include <memory>

#include "scriptrun/plugin_api.h"

struct TridiagonalForm;

// The tridiagonal form matrix_eigenvalues_symm made of a matrix, kept for
// matrix_eigenvectors on the same matrix so that it is reduced only once.
// The eigenvector call takes it only for a matrix of the same storage, order
// and entries (by their fingerprint); any other matrix is reduced afresh.
// Either way it returns only vectors that satisfy the matrix it is given.
struct KeptReduction {
    KeptReduction();
    ~KeptReduction();
    void release();  // drops the kept form (its n x n work block)
    std::unique_ptr<TridiagonalForm> form;  // null until an eigenvalue call keeps one
    const double* entries = nullptr;        // the reduced matrix's storage
    int n = 0;                              // its order
    uint64_t fingerprint = 0;               // a hash of its entries' bits
    bool symmetric = false;                 // judged symmetric (else vectors ignore form)
};

// Sorts the column v so that dir * v does not increase; swaps (null or v's
// shape) receives at i the position exchanged with i at step i. Returns the
// number of rows of v, 0 after bad input.
int vector_sort(DataMatrix* v, DataMatrix* swaps, double dir);
// Real and imaginary parts of the eigenvalues of the square matrix a, in
// their places along its real Schur form. Returns 1; 0 after a printed
// refusal (bad shape, NaN or infinity, no memory, an iteration that reaches
// its cap, an eigenvalue that overflows), outputs then unchanged.
int matrix_eigenvalues(const DataMatrix* a, DataMatrix* re, DataMatrix* im);
// Eigenvalues of the symmetric matrix a (of its symmetric part (a + a')/2),
// in descending order; returns as above. A non-null keep receives the
// reduced form for matrix_eigenvectors, and whether a counts as symmetric
// (n max|a_ij - a_ji| <= 1e-10 max|a_ij|), as that routine judges it too.
int matrix_eigenvalues_symm(const DataMatrix* a, DataMatrix* evals, KeptReduction* keep = nullptr);
// Column i of vecs (n x k) := unit eigenvector of a for evals[i], first
// entry not negative; eigenvalues of a symmetric a that coincide get
// orthogonal vectors. Every vector is checked against a itself. Returns 1;
// 0 after a printed refusal, vecs then unchanged: bad shape, NaN or
// infinity, no memory, an eigenvalue out of range, an iterate that vanishes
// or overflows, or no vector with a residual |a v - L v| within about twice
// the shift. kept (may be null) is the record an eigenvalue call filled for a.
int matrix_eigenvectors(const DataMatrix* a, const DataMatrix* evals, DataMatrix* vecs,
                        const KeptReduction* kept = nullptr);
// The whole eigen-decomposition of the symmetric n x n matrix a (left
// unchanged): eigenvalues into the column values, unsorted, and the matching
// orthonormal eigenvectors as the columns of vectors (n x n), each with a
// first entry not negative. Returns 1; 0 after a printed refusal: bad shape,
// NaN or infinity, no memory (outputs unchanged), an iteration that does not
// converge or eigenvalues that overflow (values unchanged, vectors then holds
// no eigenvectors).
int matrix_eigens_symmetric(const DataMatrix* a, DataMatrix* values, DataMatrix* vectors);

#endif
