// Cholesky factors of symmetric positive definite matrices: the covariances
// of the mixture components and the ridged normal equations of the network.
#ifndef BELLMIX_CHOLESKY_H
#define BELLMIX_CHOLESKY_H

#include "scriptrun/plugin_api.h"

// A pivot below this fraction of the largest diagonal entry marks the matrix
// as singular: the test is relative to the matrix's own scale.
constexpr double kRelativePivotLimit = 1e-12;

// l := the lower factor L of the square a (a = L L', only a's lower triangle
// read; l may be a itself). Returns 1 and sets *logDeterminant = log det a,
// or 0 (l partly written) when a pivot is not positive or falls below
// kRelativePivotLimit times the largest diagonal entry.
int cholesky_factor(const DataMatrix* a, DataMatrix* l, double* logDeterminant);

// y := L^-1 x for the D x D lower factor L (forward substitution); x and y
// hold D reals and may be the same array.
void cholesky_forward(const DataMatrix* l, const double* x, double* y);

// x := (L L')^-1 x in place: forward, then backward substitution.
void cholesky_solve(const DataMatrix* l, double* x);

// Reciprocals of the D variances of a diagonal covariance; returns 1 and the
// log-determinant, or 0 when a variance is not positive or below
// kRelativePivotLimit times the largest (reciprocals then unspecified).
int invert_variances(const DataMatrix* variances, DataMatrix* reciprocals,
                     double* logDeterminant);

#endif
