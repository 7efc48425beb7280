// The matrix library as the rest of the support code sees it: views and
// copies of DataMatrix records, and the few factorisations the support code
// calls. Only meschach_bridge.cpp includes the library's headers, whose
// macros (catch, min, max) would leak into every other source.
//
// Arguments are checked before every library call: a call outside the
// contract stated here ends the process with status 1 after a message naming
// the library routine. Running out of memory is reported through the return
// values, never through the library's error handler.
#ifndef SUPPORT_MESCHACH_BRIDGE_H
#define SUPPORT_MESCHACH_BRIDGE_H

#include "scriptrun/plugin_api.h"

// The library's matrix type; used only through pointers.
struct MatView;
// The library's vector type; used only through pointers.
struct VecView;
// An LU factorisation of a library copy with its row permutation.
struct LuFactors;

// A library matrix header sharing m's data (row i at data + i * cols);
// null for null m, an empty m, a size the library cannot index, or no memory.
MatView* matrix_as_mat(const DataMatrix* m);
// A library vector header of dimension v->rows sharing v's data.
VecView* vector_as_vec(const DataMatrix* v);
// A library-owned copy of m's entries; released with free_mat_copy.
MatView* matrix_copy_to_mat(const DataMatrix* m);
// Release a view's header (and row pointers), never the shared data.
void free_mat_wrapper(MatView* view);
void free_vec_wrapper(VecView* view);
// Release a matrix the library allocated.
void free_mat_copy(MatView* copy);

// Householder QR in place: R in the upper triangle, the reflections below,
// their diagonal part in diag (at least min(rows, cols) entries).
void qr_factor(MatView* a, VecView* diag);
// 1 when the triangular factor of a QR or LU form has an exact zero on its
// diagonal, so that no solve is possible; also 1 for a null factor.
int triangular_diagonal_has_zero(const MatView* factor);
// Solves against a QR form without a zero on R's diagonal for right-hand
// side b (qr->rows entries, left unchanged); the qr->cols entries of the
// solution go into x (qr->cols rows). Returns 1, or 0 (x unchanged) when out
// of memory.
int qr_solve_into(MatView* qr, VecView* diag, const DataMatrix* b, DataMatrix* x);

// LU factorisation with partial pivoting of a copy of the square matrix m;
// null for a null, empty or not square m, a size the library cannot index,
// or no memory. All the memory later solves need is taken here.
LuFactors* lu_factor(const DataMatrix* m);
// Diagonal entry i of the U factor; 0 for i out of range.
double lu_pivot(const LuFactors* lu, int i);
// The size of what pivot i was computed from: |a_{p(i),i}| + the sum over
// j < i of |L_ij U_ji|, for the matrix m that lu factors (p(i) its row
// moved to position i). Rounding leaves the pivot of a singular matrix
// within a few n machine epsilons of it. 0 for i out of range.
double lu_pivot_scale(const LuFactors* lu, const DataMatrix* m, int i);
// Solves A x = e_i (U without a zero pivot, 0 <= i < n) and stores x as
// column i of out (n x n).
void lu_solve_unit(LuFactors* lu, int i, DataMatrix* out);
void lu_free(LuFactors* lu);

// The library's plain inner product of two rows of n reals; 0 for n <= 0.
double inner_product(const double* x, const double* y, int n);

#endif
