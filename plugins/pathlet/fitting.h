// The fitting steps that train a ProjectionModel, each one linear
// least-squares problem over all training rows, and the two error measures.
// They work on the module's training rows and work matrices, set up first.
#ifndef PATHLET_FITTING_H
#define PATHLET_FITTING_H

#include "plugins/pathlet/projection_model.h"
#include "scriptrun/plugin_api.h"

// The rows the steps and measures read: X (N x D features) and the label
// column (N x 1, labels 1..classes as reals), both borrowed until release.
void set_training_rows(const DataMatrix* X, const DataMatrix* labels, int classes);

// Work matrices for up to M projections of R Hermite functions over the
// rows set; false (nothing kept) when memory is short.
bool allocate_training_state(int M, int R);

// Frees the work matrices and forgets the rows.
void release_training_state();

// Means := the share of training rows of each class.
void set_class_priors(ProjectionModel* model);

// One Gauss-Newton step of projection m's direction and shift; returns the
// error measure from before the step.
double fit_direction(ProjectionModel* model, int m);

// Least-squares refit of projection m's Hermite coefficients against the
// residual with its own contribution restored; error measure from before.
double fit_hermite(ProjectionModel* model, int m);

// Least-squares refit of all output weights in use, one factorisation for
// every class; error measure from before.
double fit_output_weights(ProjectionModel* model);

// sum over rows and classes of (output_c(x) - t_c)^2, divided by N x D.
double training_error(ProjectionModel* model);

// The share of rows whose first largest output is not the label's class;
// not a number when an output is not finite, with that row (from 1) in
// *unfinished_row when it is given.
double classification_error(ProjectionModel* model, int* unfinished_row = nullptr);

#endif
