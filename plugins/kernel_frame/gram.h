// Weighted Gram products of the rows of a matrix, the cubic step that the
// class-based kernel plug-ins share.
#ifndef KERNEL_FRAME_GRAM_H
#define KERNEL_FRAME_GRAM_H

#include "scriptrun/plugin_api.h"

// out[i][j] = scale * sum over k of a[i][k] w[k] a[j][k] (w null: every
// weight 1), for the n x n out of the n x p matrix a; each symmetric pair is
// computed once. progress, when not null, is called with each row index
// before that row's products are formed.
void weighted_gram(const DataMatrix* a, const double* w, double scale, DataMatrix* out,
                   void (*progress)(int row));

#endif
