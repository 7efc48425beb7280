// Kernel principal components: the leading unit eigenvectors of the centred
// training kernel, as far as their eigenvalues are positive.
#ifndef CURVAXIS_PRINCIPAL_AXES_H
#define CURVAXIS_PRINCIPAL_AXES_H

#include "plugins/kernel_frame/kernel_frame.h"

// Eigenvalues above this count as positive.
const double positive_eigenvalue = 1e-5;

// The number of leading entries of the descending column values greater
// than the threshold (counting stops at the first that is not).
int leading_run(const DataMatrix* values, double threshold);

bool train_curvaxis(TrainingSet& set, const KernelSettings& settings, const KernelTexts& texts,
                    KernelModel* model);

#endif
