// Class-pair kernel discriminant: the sign matrix Q of the sample pairs (+1
// for two classes, -1 for one class, its row sum less 1 on the diagonal)
// and the leading eigenvectors of Kc Q Kc.
#ifndef TESSEL_PAIR_KERNEL_H
#define TESSEL_PAIR_KERNEL_H

#include <vector>

#include "plugins/kernel_frame/kernel_frame.h"

// Per row: its class as a position among the distinct label values (compared
// as stored reals), and the number of those values.
struct LabelGroups {
    int count;              // distinct label values
    std::vector<int> of_row;  // per row: the position of its value
};
LabelGroups group_labels(const DataMatrix* y);

// sumrowQ[i] = (rows of other classes) - (rows of i's class, i included).
void pair_sign_row_sums(const LabelGroups& groups, DataMatrix* sumrow);

// kp = Kc Q Kc with Q = J - 2 S + diag(sumrowQ), J all ones and S[i][j] = 1
// for rows of one class: Kc diag(sumrowQ) Kc + r r' - 2 sum over classes of
// s_c s_c', with r = Kc 1 and s_c = Kc 1_c (Kc is symmetric). Prints the
// row counter "%d\r" as it goes.
void pair_kernel_product(const DataMatrix* kc, const LabelGroups& groups,
                         const DataMatrix* sumrow, DataMatrix* kp);

bool train_tessel(TrainingSet& set, const KernelSettings& settings, const KernelTexts& texts,
                  KernelModel* model);

#endif
