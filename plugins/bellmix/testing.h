// Classification of a split database by the mixtures' likelihoods or by the
// network's outputs, with the report line of both tests.
#ifndef BELLMIX_TESTING_H
#define BELLMIX_TESTING_H

#include <memory>
#include <vector>

#include "plugins/bellmix/mixture_model.h"
#include "plugins/bellmix/rbf_network.h"
#include "scriptrun/plugin_api.h"

// Mixtures 1 .. C of a model file (slot 0 empty), read from one parse in
// one pass; reading stops at the first that cannot be read, and the result
// is then empty.
std::vector<std::unique_ptr<MixtureModel>> read_class_mixtures(const char* file, int C);

// The class (1 .. C) of the largest log-likelihood at a row of D reals (ties
// to the lower class); 0 after a message naming rowNumber when a likelihood
// is not finite.
int class_by_likelihood(std::vector<std::unique_ptr<MixtureModel>>& mixtures, const double* row,
                        int rowNumber);

// The class (1 .. C) of the largest network output at a row (ties to the
// lower class); 0 after a message naming rowNumber when an output is not
// finite.
int class_by_network(RbfNetwork* net, const double* row, int rowNumber);

// Rows whose label equals the class of the largest log-likelihood (ties to
// the lower class); -1 after a message when a likelihood is not finite.
int count_correct_by_likelihood(std::vector<std::unique_ptr<MixtureModel>>& mixtures,
                                const DataMatrix* features, const DataMatrix* labels);

// Rows whose label minus 1 equals the index of the largest output (ties to
// the lower index); -1 after a message when an output is not finite.
int count_correct_by_network(RbfNetwork* net, const DataMatrix* features,
                             const DataMatrix* labels);

// Nothing for a refused count (below 0).
void print_test_report(int correct, int rows);

#endif
