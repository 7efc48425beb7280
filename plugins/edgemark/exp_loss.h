// The exponential-loss kernel classifier of one class against the rest:
// f(u) = sum_i exp_loss(y_i * sum_j K(i, j) u_j), no bias, no regulariser.
#ifndef EDGEMARK_EXP_LOSS_H
#define EDGEMARK_EXP_LOSS_H

#include "plugins/edgemark/model.h"

// e^-z, or 1e8 once e^-z + 1 rounds to e^-z (e^-z >= 2^53, infinity included).
double exp_loss(double z);
double exp_loss_derivative(double z);

// The per-class work arrays (loss derivatives, a kernel row); 1, or 0 after
// "Out of memory\n".
int edgemark_alloc_work(int n);
void edgemark_free_work();

// f(u) for cls's labels and kernel (cls's own u is not used); alpha unused.
double edgemark_objective(const double* u, double alpha, edgemark_class_model cls);

// The N components of the gradient of f at u into g.
void edgemark_gradient(const double* u, double alpha, edgemark_class_model cls, double* g);

// Trains cls->u in place; 1, or 0 when memory runs out.
int edgemark_train_class(edgemark_class_model* cls, double gradThreshold, double alpha,
                         int maxIter, int maxArmijoIter, double armijoMultiplier,
                         double armijoDelta, double maxStepSize, int m);

// out[i][c-1] = +1.0 when sum_k K_c(i, k) u_c[k] >= 0, else -1.0; out[i][C]
// the label.
void edgemark_classify(const edgemark_class_model* classes, int classCount,
                       const DataMatrix* labels, DataMatrix* out);

#endif
