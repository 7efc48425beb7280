// Cross-product (covariance) matrices of the columns of a matrix, and real
// powers of symmetric matrices through their eigen-decomposition.
#ifndef SUPPORT_COVARIANCE_H
#define SUPPORT_COVARIANCE_H

#include "scriptrun/plugin_api.h"

// c (p x p) := the covariance of the p columns of the r x p matrix a about
// mean (a p x 1 column; null: about 0, columns not centred), divided by
// r - 1 (by 1 for a single row), each column pre-scaled by a power of two.
// Bad sizes print "matrix_covariance: empty input or bad size" and leave c
// unchanged, as does a lack of memory for the scaled copy.
void matrix_covariance(const DataMatrix* a, const DataMatrix* mean, DataMatrix* c);

// a := E diag(lambda^exponent) E' for the symmetric a = E diag(lambda) E'.
// Bad sizes or no memory print a message and leave a unchanged; when the
// decomposition is refused (its message printed) every entry of a becomes
// NaN, so that no caller takes the old matrix for its power.
void matrix_power(DataMatrix* a, double exponent);

#endif
