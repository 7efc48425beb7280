// The pair-weighted discriminant transformation: all eigenvectors of the pair
// scatter, in decreasing order of their eigenvalues.
#ifndef GROUPFOLD_TRANSFORM_H
#define GROUPFOLD_TRANSFORM_H

#include "plugins/discriminant_common/arguments.h"
#include "plugins/discriminant_common/owned_matrix.h"
#include "plugins/groupfold/pair_scatter.h"

// The whole training on a database (checked beforehand): split, pair scatter,
// symmetric eigenproblem; the d x d transformation into *q.
TrainStatus train_groupfold(const DataMatrix* db, PairWeights weights, OwnedMatrix* q);

#endif
