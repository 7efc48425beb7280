// The Cholesky factor of a symmetric positive definite matrix and the two
// triangular solves with it, row by row over several right-hand sides.
#ifndef WARPFOLD_CHOLESKY_H
#define WARPFOLD_CHOLESKY_H

#include "scriptrun/plugin_api.h"

// a = L L' with L written into a's lower triangle (the upper one is left as
// it was). False when a pivot is not above n * machine epsilon times a's
// largest diagonal entry: a is then singular to working precision, or not
// positive definite, and its contents are undefined.
bool cholesky_factor(DataMatrix* a);

// b := L^-1 b for the n x r matrix b, L the factor in a's lower triangle.
void solve_lower(const DataMatrix* l, DataMatrix* b);

// b := L'^-1 b for the n x r matrix b.
void solve_lower_transposed(const DataMatrix* l, DataMatrix* b);

#endif
