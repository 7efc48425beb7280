// Training and applying the least-squares machine.
#ifndef SQUAREMARK_TRAINING_H
#define SQUAREMARK_TRAINING_H

#include "plugins/squaremark/model.h"

// Trains on db (labels last, already checked) and writes the model file.
// Every failure prints its message and returns without a file.
void train_squaremark_model(const DataMatrix* db, const char* file,
                            const SquaremarkSettings& settings);

// The kernel system of X: A (n x n) = K(X, X) + I/gamma; prints the
// percentage of rows done.
void fill_system_matrix(struct KernelMatrix* kernel, int n, double gamma, DataMatrix* A);

// V ((n + 1) x C): +1 where the truncated label of row i is c + 1, else -1;
// the bias row n is 0.
void fill_right_sides(const DataMatrix* y, DataMatrix* V);

// out[r][c] = b[c] + sum_i k(x_r, X_i) V[i][c]; out[r][C] = the label of r.
void apply_squaremark_model(const SquaremarkModel& model, struct KernelMatrix* kernel,
                            const DataMatrix* labels, DataMatrix* out);

#endif
