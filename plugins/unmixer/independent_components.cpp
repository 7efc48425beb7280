// Training step of the kernel independent component plug-in.
#include "plugins/unmixer/independent_components.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "scriptrun/messages.h"
#include "support/covariance.h"
#include "support/eigen.h"

namespace {

// Whether the symmetric d has an eigenvalue of 0 or below, to working
// precision (at most m machine epsilons of its largest).
bool singular(const DataMatrix* d)
{
    OwnedMatrix values = make_matrix(d->rows, 1);
    if (!values || !matrix_eigenvalues_symm(d, values.get()))
        return true;
    double largest = values->data[0], smallest = values->data[d->rows - 1];
    return !(smallest > d->rows * DBL_EPSILON * largest);
}

}  // namespace

bool decorrelate(DataMatrix* w, DataMatrix* d)
{
    int m = w->cols;
    // The covariance about 0 divides by m - 1; scaling back gives w'w exactly.
    matrix_covariance(w, nullptr, d);
    matrix_scale(d, m > 1 ? m - 1.0 : 1.0);
    if (!all_finite(d) || singular(d))
        return false;
    matrix_power(d, -0.5);
    if (!all_finite(d))
        return false;
    return matrix_multiply(w, d, w) != 0;
}

void cubic_update(const DataMatrix* z, const DataMatrix* wold, DataMatrix* w)
{
    int n = z->rows, m = z->cols;
    matrix_fill(w, 0.0);
    for (int t = 0; t < n; ++t) {
        const double* zt = matrix_row(z, t);
        for (int s = 0; s < m; ++s) {
            double projection = 0.0;
            for (int k = 0; k < m; ++k)
                projection += matrix_row(wold, k)[s] * zt[k];
            double cube = projection * projection * projection;
            for (int r = 0; r < m; ++r)
                matrix_row(w, r)[s] += zt[r] * cube;
        }
    }
    for (int r = 0; r < m; ++r)
        for (int s = 0; s < m; ++s)
            matrix_row(w, r)[s] = matrix_row(w, r)[s] / n - 3.0 * matrix_row(wold, r)[s];
}

double largest_turn(const DataMatrix* w, const DataMatrix* wold)
{
    double error = 0.0;
    for (int s = 0; s < w->cols; ++s) {
        double dot = 0.0;
        for (int r = 0; r < w->rows; ++r)
            dot += matrix_row(w, r)[s] * matrix_row(wold, r)[s];
        error = std::max(error, 1.0 - std::fabs(dot));
    }
    return error;
}

namespace {

// Whitening coefficients: unit eigenvectors of Kc scaled by sqrt(n) / e_j, so
// that the scores Kc v_j = sqrt(n) u_j have unit mean square. Null after a
// message.
OwnedMatrix whitening(TrainingSet& set, const DataMatrix* kc, const KernelSettings& settings,
                      const KernelTexts& texts)
{
    OwnedMatrix values = descending_eigenvalues(kc, texts);
    if (!values)
        return nullptr;
    int m = std::min(std::min(settings.feanum, leading_run(values.get(), positive_eigenvalue)),
                     set.d);
    print_message("Remaining column %d\n", m);
    if (m < 1) {
        print_message("%s: positive eigenvalues are not exist!\n", texts.train_prefix);
        return nullptr;
    }
    OwnedMatrix v = leading_eigenvectors(kc, values.get(), m, texts);
    if (!v)
        return nullptr;
    for (int j = 0; j < m; ++j) {
        double scale = std::sqrt(static_cast<double>(set.n)) / values->data[j];
        for (int g = 0; g < set.n; ++g)
            matrix_row(v.get(), g)[j] *= scale;
    }
    return v;
}

// The unmixing matrix W (m x m) for the whitened scores z; null after a
// message. At most maxiter - 1 passes run.
OwnedMatrix unmixing(const DataMatrix* z, int maxiter, const KernelTexts& texts)
{
    int m = z->cols;
    OwnedMatrix w = make_matrix(m, m), wold = make_matrix(m, m), d = make_matrix(m, m);
    if (!w || !wold || !d) {
        print_memory_message(texts);
        return nullptr;
    }
    matrix_fill(w.get(), 0.0);
    for (int r = 0; r < m; ++r)
        matrix_row(w.get(), r)[r] = 1.0;
    matrix_fill(wold.get(), 0.0);
    for (int counter = 1; counter < maxiter; ++counter) {
        if (!decorrelate(w.get(), d.get()))
            break;
        double error = largest_turn(w.get(), wold.get());
        matrix_copy(wold.get(), w.get());
        cubic_update(z, wold.get(), w.get());
        print_message("Iteration %d.\n", counter);
        print_message("\terror: %g\n", error);
        if (error <= convergence_limit)
            break;
    }
    if (!decorrelate(w.get(), d.get()) || !all_finite(w.get())) {
        print_message("%s: the unmixing matrix became singular; no model is written\n",
                      texts.train_prefix);
        return nullptr;
    }
    return w;
}

}  // namespace

bool train_unmixer(TrainingSet& set, const KernelSettings& settings, const KernelTexts& texts,
                   KernelModel* model)
{
    OwnedMatrix kc = centred_training_kernel(set, texts);
    if (!kc)
        return false;
    OwnedMatrix v = whitening(set, kc.get(), settings, texts);
    if (!v)
        return false;
    OwnedMatrix z = make_matrix(set.n, v->cols);
    if (!z || !matrix_multiply(kc.get(), v.get(), z.get())) {
        print_memory_message(texts);
        return false;
    }
    OwnedMatrix w = unmixing(z.get(), settings.maxiter, texts);
    if (!w)
        return false;
    if (!matrix_multiply(v.get(), w.get(), v.get()) || !all_finite(v.get())) {
        print_message("%s: the computation gave a value that is not a finite number\n",
                      texts.train_prefix);
        return false;
    }
    model->coefficients = std::move(v);
    return true;
}
