// Fitting one mixture to listed rows of a feature matrix: several K-means
// clusterings from random seeds, the best of them as the start of
// expectation maximisation.
#ifndef BELLMIX_TRAINING_H
#define BELLMIX_TRAINING_H

#include "plugins/bellmix/mixture_model.h"
#include "scriptrun/plugin_api.h"

// Fits m (its own diagonal flag) to the n rows of features listed in rows.
// Returns 1 when m holds a fitted mixture, 0 when it could not be fitted
// (the reason printed); m then holds whatever it last received.
int train_mixture(MixtureModel* m, const DataMatrix* features, const int* rows, int n, int K,
                  int starts, int emMaxIt, double epsilon, int kmeansMaxIt);

// Lloyd's K-means from K seeds drawn among the listed rows. Fills the
// assignment (n), sizes (K) and centres (K x D); returns the number of
// centre updates, or 0 when that number reached maxIt (or the internal cap
// when maxIt is 0 or less). A cluster without rows keeps its centre.
int kmeans_cluster(const DataMatrix* features, const int* rows, int* assignment, int* sizes,
                   DataMatrix* centres, int n, int K, int maxIt);

// Weights, means and covariances of m from a clustering; returns the number
// of components whose covariance was set, K on success.
int mixture_from_clusters(MixtureModel* m, const DataMatrix* features, const int* rows,
                          const int* assignment, const int* sizes, const DataMatrix* centres,
                          int n);

// Expectation maximisation from m's parameters; returns the number of
// updates, 0 when that number equals maxIt, or -1 when a pass could not be
// completed (a component's responsibilities sum to 1 or less, or its new
// covariance is singular): m then keeps the last complete pass.
int em_refine(MixtureModel* m, const DataMatrix* features, const int* rows, int n, int maxIt,
              double epsilon);

// The plug-in's generator is seeded from this source on every training call
// (the time by default); tests set a fixed one. Null restores the time.
void set_training_seed_source(unsigned (*source)());
void seed_training_generator();

#endif
