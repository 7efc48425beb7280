// Kernel independent component analysis: whitening by the kernel principal
// components, then a fixed-point iteration with a cubic non-linearity and
// symmetric decorrelation on the whitened scores.
#ifndef UNMIXER_INDEPENDENT_COMPONENTS_H
#define UNMIXER_INDEPENDENT_COMPONENTS_H

#include "plugins/kernel_frame/kernel_frame.h"

// The iteration stops once no column of W turns by more than this.
const double convergence_limit = 1e-5;

// w := w (w'w)^-1/2, with d as m x m work space; false when w'w has an
// eigenvalue of 0 or below to working precision (no inverse root).
bool decorrelate(DataMatrix* w, DataMatrix* d);

// w[r][s] := (1/n) sum over t of z[t][r] (wold_s . z_t)^3 - 3 wold[r][s].
void cubic_update(const DataMatrix* z, const DataMatrix* wold, DataMatrix* w);

// The largest 1 - |w_s . wold_s| over the columns s.
double largest_turn(const DataMatrix* w, const DataMatrix* wold);

bool train_unmixer(TrainingSet& set, const KernelSettings& settings, const KernelTexts& texts,
                   KernelModel* model);

#endif
