// The three error functions of a row, the batch gradient, the objective the
// optimisers minimise, and one epoch of online back-propagation.
#ifndef NEURNET_ERROR_FUNCTIONS_H
#define NEURNET_ERROR_FUNCTIONS_H

#include "plugins/neurnet/network.h"

// Called after forward_pass of a row: sets the output deltas and returns
// the row's error. Targets: t_k = 1 for k = label, else 0; e_k = t_k - y_k.
typedef double (*ErrorFunction)(Network* network, int label);

// The Minkowski exponent R (2 until changed); it outlives a call.
void set_minkowski_exponent(double R);

double minkowski_error(Network* network, int label);
double tse_error_deltas(Network* network, int label);
double cross_entropy_deltas(Network* network, int label);
double tse_error_value(const Network* network, int label);
double cross_entropy_value(const Network* network, int label);

// 1 Minkowski, 2 total squared error, anything else cross entropy.
ErrorFunction select_error_function(int type);

// Summed error over the rows; every connection's grad holds its summed
// gradient (the derivative as the deltas define it).
double batch_gradient(Network* network, const double* const* rows, int count,
                      ErrorFunction error);

// Loads x into the weights, runs batch_gradient, copies the gradients to g.
double network_error_and_gradient(Network* network, const double* const* rows, int count,
                                  const double* x, double* g, ErrorFunction error);

// The optimisers' objective f(x, g) over the context last set.
void set_optim_objective_context(Network* network, const double* const* rows, int count,
                                 ErrorFunction error);
double optim_objective(const double* x, double* g);

// One online pass: weights change after every row; returns the summed error.
double backprop_epoch(Network* network, const double* const* rows, int count,
                      double learningRate, double momentum, ErrorFunction error);

#endif
