// Kernel discriminant analysis: class means of the centred kernel, the
// between-class matrix KB and the within-class matrix KW, and the
// directions of KW^-1 KB for its largest positive eigenvalues.
#ifndef WARPFOLD_KERNEL_DISCRIMINANT_H
#define WARPFOLD_KERNEL_DISCRIMINANT_H

#include <vector>

#include "plugins/kernel_frame/kernel_frame.h"

// Eigenvalues of KW^-1 KB at or below this are no direction.
const double eigenvalue_tolerance = 1e-8;

// The classes of the training rows: labels truncated to class numbers.
struct ClassIndex {
    int largest;                // C, the largest class number
    std::vector<int> present;   // the class numbers that have rows, ascending
    std::vector<int> of_row;    // per row: its position in present
    std::vector<double> count;  // per present class: its rows
};
ClassIndex index_classes(const DataMatrix* y);

// sums[g][c] = mean of kc[g][t] over the rows t of present class c;
// sums[g][P] = mean over all rows (P classes present; sums is n x (P + 1)).
void class_kernel_means(const DataMatrix* kc, const ClassIndex& classes, DataMatrix* sums);

// The factor D (n x (P + 1)) with KB = D D': KB[a][b] is the sum over the
// classes 1..C of (mean_c[a] - mean[a]) (mean_c[b] - mean[b]), unweighted;
// a class without rows has the mean row 0, so the C - P of them add
// (C - P) mean[a] mean[b], which the last column carries.
void between_factor(const DataMatrix* sums, const ClassIndex& classes, DataMatrix* d);

// kc := E with E[a][t] = kc[a][t] - sums[a][class of t]; then
// KW = (1/n) E E' + epsilon I.
void within_residuals(DataMatrix* kc, const DataMatrix* sums, const ClassIndex& classes);

bool train_warpfold(TrainingSet& set, const KernelSettings& settings, const KernelTexts& texts,
                    KernelModel* model);

#endif
