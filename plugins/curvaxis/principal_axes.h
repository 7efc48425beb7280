// Kernel principal components: the leading unit eigenvectors of the centred
// training kernel, as far as their eigenvalues are positive.
#ifndef CURVAXIS_PRINCIPAL_AXES_H
#define CURVAXIS_PRINCIPAL_AXES_H

#include "plugins/kernel_frame/kernel_frame.h"

bool train_curvaxis(TrainingSet& set, const KernelSettings& settings, const KernelTexts& texts,
                    KernelModel* model);

#endif
