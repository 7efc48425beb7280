// Training step of the kernel discriminant plug-in. The eigenproblem
// KW^-1 KB v = lambda v is solved as the symmetric-definite problem it is:
// with KW = L L' and KB = D D', the eigenvalues are those of the small
// symmetric G'G, G = L^-1 D, and each direction is v = L'^-1 G w / sqrt(lambda)
// for an eigenvector w of G'G; real by construction.
#include "plugins/warpfold/kernel_discriminant.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "plugins/kernel_frame/gram.h"
#include "scriptrun/messages.h"
#include "support/cholesky.h"

ClassIndex index_classes(const DataMatrix* y)
{
    ClassIndex c{0, {}, {}, {}};
    for (int t = 0; t < y->rows; ++t)
        c.present.push_back(static_cast<int>(y->data[t]));
    std::sort(c.present.begin(), c.present.end());
    c.present.erase(std::unique(c.present.begin(), c.present.end()), c.present.end());
    c.largest = c.present.back();
    c.count.assign(c.present.size(), 0.0);
    for (int t = 0; t < y->rows; ++t) {
        int label = static_cast<int>(y->data[t]);
        int at = static_cast<int>(std::lower_bound(c.present.begin(), c.present.end(), label) -
                                  c.present.begin());
        c.of_row.push_back(at);
        c.count[at] += 1.0;
    }
    return c;
}

void class_kernel_means(const DataMatrix* kc, const ClassIndex& classes, DataMatrix* sums)
{
    int n = kc->rows, p = static_cast<int>(classes.present.size());
    matrix_fill(sums, 0.0);
    for (int g = 0; g < n; ++g) {
        const double* row = matrix_row(kc, g);
        double* s = matrix_row(sums, g);
        for (int t = 0; t < n; ++t) {
            s[classes.of_row[t]] += row[t];
            s[p] += row[t];
        }
        for (int c = 0; c < p; ++c)
            s[c] /= classes.count[c];
        s[p] /= n;
    }
}

void between_factor(const DataMatrix* sums, const ClassIndex& classes, DataMatrix* d)
{
    int p = static_cast<int>(classes.present.size());
    double absent = std::sqrt(static_cast<double>(classes.largest - p));
    for (int g = 0; g < sums->rows; ++g) {
        const double* s = matrix_row(sums, g);
        double* row = matrix_row(d, g);
        for (int c = 0; c < p; ++c)
            row[c] = s[c] - s[p];
        row[p] = absent * s[p];
    }
}

void within_residuals(DataMatrix* kc, const DataMatrix* sums, const ClassIndex& classes)
{
    for (int a = 0; a < kc->rows; ++a) {
        double* row = matrix_row(kc, a);
        const double* s = matrix_row(sums, a);
        for (int t = 0; t < kc->cols; ++t)
            row[t] -= s[classes.of_row[t]];
    }
}

namespace {

// KW and the factor of KB; false after a message.
bool scatter_matrices(TrainingSet& set, const KernelSettings& settings, const KernelTexts& texts,
                      OwnedMatrix* kw, OwnedMatrix* d)
{
    ClassIndex classes = index_classes(set.y.get());
    int n = set.n, width = static_cast<int>(classes.present.size()) + 1;
    OwnedMatrix kc = centred_training_kernel(set, texts);
    if (!kc)
        return false;
    OwnedMatrix sums = make_matrix(n, width);
    if (!sums) {
        print_message("%s: not enough memory (sums)!\n", texts.train_prefix);
        return false;
    }
    *kw = make_matrix(n, n);
    if (!*kw) {
        print_message("%s: not enough memory (KW)!\n", texts.train_prefix);
        return false;
    }
    *d = make_matrix(n, width);
    if (!*d) {
        print_message("%s: not enough memory (KB)!\n", texts.train_prefix);
        return false;
    }
    class_kernel_means(kc.get(), classes, sums.get());
    between_factor(sums.get(), classes, d->get());
    within_residuals(kc.get(), sums.get(), classes);
    weighted_gram(kc.get(), nullptr, 1.0 / n, kw->get(), nullptr);
    for (int a = 0; a < n; ++a)
        matrix_row(kw->get(), a)[a] += settings.epsilon;
    if (!all_finite(kw->get()) || !all_finite(d->get())) {
        print_message("%s: the computation gave a value that is not a finite number\n",
                      texts.train_prefix);
        return false;
    }
    return true;
}

// h = g'g, r x r for the n x r matrix g.
void column_gram(const DataMatrix* g, DataMatrix* h)
{
    int r = g->cols;
    matrix_fill(h, 0.0);
    for (int t = 0; t < g->rows; ++t) {
        const double* row = matrix_row(g, t);
        for (int i = 0; i < r; ++i)
            for (int j = 0; j <= i; ++j)
                matrix_row(h, i)[j] += row[i] * row[j];
    }
    for (int i = 0; i < r; ++i)
        for (int j = 0; j < i; ++j)
            matrix_row(h, j)[i] = matrix_row(h, i)[j];
}

// The eigenvalues of g'g above the tolerance, descending, cut to at most
// limit, and their unit eigenvectors w (columns); false after a message.
bool small_eigenproblem(const DataMatrix* g, int limit, const KernelTexts& texts,
                        OwnedMatrix* values, OwnedMatrix* w)
{
    int r = g->cols;
    OwnedMatrix h = make_matrix(r, r);
    if (!h) {
        print_memory_message(texts);
        return false;
    }
    column_gram(g, h.get());
    *values = descending_eigenvalues(h.get(), texts);
    if (!*values)
        return false;
    int kept = 0;
    while (kept < r && (*values)->data[kept] > eigenvalue_tolerance)
        ++kept;
    int m = std::min(limit, kept);
    if (m < 1) {
        print_message("%s: selected directions are not exist!\n", texts.train_prefix);
        return false;
    }
    *w = leading_eigenvectors(h.get(), values->get(), m, texts);
    return *w != nullptr;
}

// Column j of v: unit length, first entry not negative.
void unit_columns(DataMatrix* v)
{
    for (int j = 0; j < v->cols; ++j) {
        double norm = 0.0;
        for (int g = 0; g < v->rows; ++g)
            norm += matrix_row(v, g)[j] * matrix_row(v, g)[j];
        double scale = (matrix_row(v, 0)[j] < 0 ? -1.0 : 1.0) / std::sqrt(norm);
        for (int g = 0; g < v->rows; ++g)
            matrix_row(v, g)[j] *= scale;
    }
}

}  // namespace

bool train_warpfold(TrainingSet& set, const KernelSettings& settings, const KernelTexts& texts,
                    KernelModel* model)
{
    OwnedMatrix kw, g;
    if (!scatter_matrices(set, settings, texts, &kw, &g))
        return false;
    // KW is singular to working precision when a pivot is not above n
    // roundings of its largest diagonal entry.
    PivotRule rule = {PivotScale::largest_diagonal, set.n * DBL_EPSILON, false};
    if (!cholesky_factor(kw.get(), rule)) {
        print_message("%s: KW is singular; use the epsilon option\n", texts.train_prefix);
        return false;
    }
    cholesky_solve_lower(kw.get(), g.get());
    OwnedMatrix values, w;
    int limit = std::min(settings.feanum, set.d);
    if (!small_eigenproblem(g.get(), limit, texts, &values, &w))
        return false;
    OwnedMatrix v = make_matrix(set.n, w->cols);
    if (!v || !matrix_multiply(g.get(), w.get(), v.get())) {
        print_memory_message(texts);
        return false;
    }
    cholesky_solve_upper(kw.get(), v.get());
    unit_columns(v.get());
    if (!usable_directions(v.get(), texts))
        return false;
    normalise_against_kernel(set.kernel, v.get());
    model->coefficients = std::move(v);
    model->settings = {format_text("epsilon for W matrix diagonal: %e", settings.epsilon),
                       format_text("epsilon for eigenvalue testing: %e", eigenvalue_tolerance)};
    return true;
}
