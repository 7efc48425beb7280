// Training step of the class-pair kernel discriminant plug-in. Q is never
// stored; Kc Q Kc costs one symmetric weighted product (n^3 / 2
// multiply-adds) and a few rank-one terms.
#include "plugins/tessel/pair_kernel.h"

#include <algorithm>

#include "plugins/kernel_frame/gram.h"
#include "scriptrun/messages.h"

LabelGroups group_labels(const DataMatrix* y)
{
    std::vector<double> values(y->data, y->data + y->rows);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    LabelGroups groups{static_cast<int>(values.size()), {}};
    for (int t = 0; t < y->rows; ++t)
        groups.of_row.push_back(static_cast<int>(
            std::lower_bound(values.begin(), values.end(), y->data[t]) - values.begin()));
    return groups;
}

void pair_sign_row_sums(const LabelGroups& groups, DataMatrix* sumrow)
{
    int n = static_cast<int>(groups.of_row.size());
    std::vector<int> size(groups.count, 0);
    for (int c : groups.of_row)
        ++size[c];
    for (int i = 0; i < n; ++i)
        sumrow->data[i] = n - 2.0 * size[groups.of_row[i]];
}

namespace {

void print_row(int row)
{
    print_message("%d\r", row);
}

}  // namespace

void pair_kernel_product(const DataMatrix* kc, const LabelGroups& groups,
                         const DataMatrix* sumrow, DataMatrix* kp)
{
    int n = kc->rows, p = groups.count;
    weighted_gram(kc, sumrow->data, 1.0, kp, print_row);
    print_message("\n");  // ends the counter's line
    // r = Kc 1 and the class sums s_c = Kc 1_c, row by row.
    std::vector<double> r(n, 0.0), s(static_cast<size_t>(n) * p, 0.0);
    for (int a = 0; a < n; ++a) {
        const double* row = matrix_row(kc, a);
        for (int t = 0; t < n; ++t) {
            r[a] += row[t];
            s[static_cast<size_t>(a) * p + groups.of_row[t]] += row[t];
        }
    }
    for (int a = 0; a < n; ++a) {
        double* out = matrix_row(kp, a);
        const double* sa = &s[static_cast<size_t>(a) * p];
        for (int b = 0; b < n; ++b) {
            const double* sb = &s[static_cast<size_t>(b) * p];
            double classes = 0.0;
            for (int c = 0; c < p; ++c)
                classes += sa[c] * sb[c];
            out[b] += r[a] * r[b] - 2.0 * classes;
        }
    }
}

namespace {

// Kp, or null after a message; Kc is released once Kp is made.
OwnedMatrix pair_matrix(TrainingSet& set, const KernelTexts& texts)
{
    OwnedMatrix kc = centred_training_kernel(set, texts);
    if (!kc)
        return nullptr;
    OwnedMatrix kp = make_matrix(set.n, set.n);
    if (!kp) {
        print_message("%s: not enough memory (Kp)!\n", texts.train_prefix);
        return nullptr;
    }
    OwnedMatrix sumrow = make_matrix(set.n, 1);
    if (!sumrow) {
        print_message("%s: not enough memory (sumrowQ)!\n", texts.train_prefix);
        return nullptr;
    }
    LabelGroups groups = group_labels(set.y.get());
    pair_sign_row_sums(groups, sumrow.get());
    pair_kernel_product(kc.get(), groups, sumrow.get(), kp.get());
    if (!all_finite(kp.get())) {
        print_message("%s: the computation gave a value that is not a finite number\n",
                      texts.train_prefix);
        return nullptr;
    }
    return kp;
}

}  // namespace

// No eigenvalue is filtered: with m = min(feanum, n, d) the directions of
// zero or negative eigenvalues are kept when m asks for them.
bool train_tessel(TrainingSet& set, const KernelSettings& settings, const KernelTexts& texts,
                  KernelModel* model)
{
    OwnedMatrix kp = pair_matrix(set, texts);
    if (!kp)
        return false;
    OwnedMatrix values = descending_eigenvalues(kp.get(), texts);
    if (!values)
        return false;
    int m = std::min(std::min(settings.feanum, set.n), set.d);
    if (m < 1) {
        print_message("%s: selected directions are not exist!\n", texts.train_prefix);
        return false;
    }
    OwnedMatrix v = leading_eigenvectors(kp.get(), values.get(), m, texts);
    if (!v)
        return false;
    normalise_against_kernel(set.kernel, v.get());
    model->coefficients = std::move(v);
    return true;
}
