// Directions from eigen-decompositions: the symmetric eigenvalues and the
// leading eigenvectors the plug-ins keep, their checks, and the scaling of
// directions to unit norm in the kernel's feature space.
#include <cmath>

#include "plugins/kernel_frame/kernel_frame.h"
#include "scriptrun/messages.h"
#include "support/eigen.h"

int leading_run(const DataMatrix* values, double threshold)
{
    int run = 0;
    while (run < values->rows && values->data[run] > threshold)
        ++run;
    return run;
}

namespace {

// The reduced form of the matrix whose eigenvalues were taken last, held
// for the eigenvector call that follows them so that the matrix is reduced
// once; that call releases it, and so does the frame when a training step
// returns without making it.
KeptReduction last_reduction;

}  // namespace

void release_kept_reduction()
{
    last_reduction.release();
}

OwnedMatrix descending_eigenvalues(const DataMatrix* a, const KernelTexts& texts)
{
    last_reduction.release();
    OwnedMatrix values = make_matrix(a->rows, 1);
    if (!values) {
        print_memory_message(texts);
        return nullptr;
    }
    if (!matrix_eigenvalues_symm(a, values.get(), &last_reduction))
        return nullptr;
    return values;
}

OwnedMatrix leading_eigenvectors(const DataMatrix* a, DataMatrix* values, int m,
                                 const KernelTexts& texts)
{
    values->rows = m;
    OwnedMatrix v = make_matrix(a->rows, m);
    if (!v) {
        last_reduction.release();
        print_memory_message(texts);
        return nullptr;
    }
    matrix_fill(v.get(), 0.0);
    // A refusal has printed its message; the check below guards what the
    // routine reports as done.
    bool found = matrix_eigenvectors(a, values, v.get(), &last_reduction);
    last_reduction.release();
    if (!found || !usable_directions(v.get(), texts))
        return nullptr;
    return v;
}

bool usable_directions(const DataMatrix* v, const KernelTexts& texts)
{
    bool usable = all_finite(v);
    for (int j = 0; usable && j < v->cols; ++j) {
        bool nonzero = false;
        for (int g = 0; g < v->rows; ++g)
            nonzero = nonzero || matrix_row(v, g)[j] != 0.0;
        usable = nonzero;
    }
    if (!usable)
        print_message("%s: the eigenvectors could not be computed\n", texts.train_prefix);
    return usable;
}

// r_j = sum over g, k of K(x_g, x_k) v[g][j] v[k][j], each kernel value
// taken once for the pair (g, k) and its mirror, from the cache when held.
void normalise_against_kernel(KernelMatrix* kernel, DataMatrix* v)
{
    int n = v->rows, m = v->cols;
    std::vector<double> r(m, 0.0);
    for (int g = 0; g < n; ++g) {
        const double* vg = matrix_row(v, g);
        for (int k = 0; k <= g; ++k) {
            double value = kernel_matrix_entry(kernel, g, k) * (k == g ? 1.0 : 2.0);
            const double* vk = matrix_row(v, k);
            for (int j = 0; j < m; ++j)
                r[j] += value * vg[j] * vk[j];
        }
    }
    for (int j = 0; j < m; ++j) {
        if (!(r[j] > 0.0))
            continue;
        double scale = 1.0 / std::sqrt(r[j]);
        for (int g = 0; g < n; ++g)
            matrix_row(v, g)[j] *= scale;
    }
}
