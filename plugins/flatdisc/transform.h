// The linear discriminant transformation: the eigenvectors of W^-1 B for the
// real, positive eigenvalues, in decreasing order of those eigenvalues.
#ifndef FLATDISC_TRANSFORM_H
#define FLATDISC_TRANSFORM_H

#include "plugins/discriminant_common/arguments.h"
#include "plugins/discriminant_common/owned_matrix.h"

// Eigenvalues counted as real and positive: |imaginary| <= 1e-8, real > 1e-8.
constexpr double eigenvalue_tolerance = 1e-8;

// From the within-class scatter w (overwritten) and the between-class scatter
// b: the d x l transformation into *v.
TrainStatus discriminant_directions(DataMatrix* w, const DataMatrix* b, OwnedMatrix* v);

// The whole training on a database (checked beforehand): split, class
// statistics, scatters with epsilon on W's diagonal, transformation.
TrainStatus train_flatdisc(const DataMatrix* db, double epsilon, OwnedMatrix* v);

#endif
