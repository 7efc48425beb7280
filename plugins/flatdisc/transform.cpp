// Training of the linear discriminant: scatters, Cholesky factor of W, the
// symmetric eigenproblem it leads to.
#include "plugins/flatdisc/transform.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "plugins/discriminant_common/unit_scale.h"
#include "plugins/flatdisc/scatter.h"
#include "support/cholesky.h"
#include "support/eigen.h"

namespace {

double& at(DataMatrix* m, int i, int j)
{
    return m->data[static_cast<size_t>(i) * m->cols + j];
}

// b := L^-1 b L'^-1, made exactly symmetric: the symmetric matrix whose
// eigenvalues are those of W^-1 B.
void reduce_to_standard(const DataMatrix* l, DataMatrix* b)
{
    int d = b->rows;
    cholesky_solve_lower(l, b);
    for (int i = 0; i < d; ++i)
        for (int j = i + 1; j < d; ++j)
            std::swap(at(b, i, j), at(b, j, i));
    cholesky_solve_lower(l, b);
    for (int i = 0; i < d; ++i)
        for (int j = i + 1; j < d; ++j)
            at(b, i, j) = at(b, j, i) = 0.5 * (at(b, i, j) + at(b, j, i));
}

// The leading eigenvalues of the symmetric c above the tolerance, in
// decreasing order; null when none is kept or memory is short, or
// (*computed false) when the eigenvalue routine refused. reduced receives
// c's reduced form for the eigenvector call.
OwnedMatrix kept_eigenvalues(const DataMatrix* c, bool* computed, KeptReduction* reduced)
{
    int d = c->rows;
    OwnedMatrix all = make_matrix(d, 1);
    if (!all)
        return nullptr;
    *computed = matrix_eigenvalues_symm(c, all.get(), reduced) != 0;
    if (!*computed)
        return nullptr;
    int kept = 0;
    while (kept < d && all->data[kept] > eigenvalue_tolerance)
        ++kept;
    OwnedMatrix values = make_matrix(kept, 1);
    if (!values)
        return nullptr;
    memcpy(values->data, all->data, sizeof(double) * kept);
    return values;
}

// Each column of v scaled to unit length with a first entry not negative.
void normalise_columns(DataMatrix* v)
{
    for (int c = 0; c < v->cols; ++c) {
        double largest = 0.0, sum = 0.0;
        for (int r = 0; r < v->rows; ++r)
            largest = std::fmax(largest, std::fabs(at(v, r, c)));
        for (int r = 0; r < v->rows && largest > 0.0; ++r)
            sum += (at(v, r, c) / largest) * (at(v, r, c) / largest);
        double length = largest * std::sqrt(sum);
        double scale = at(v, 0, c) < 0.0 ? -1.0 / length : 1.0 / length;
        for (int r = 0; r < v->rows && length > 0.0; ++r)
            at(v, r, c) *= scale;
    }
}

// Renumbers the truncated labels 1..K in increasing order of the classes
// present and returns K. A class without rows adds exactly nothing to either
// scatter, so the results are those of the tables 1..max_label, without
// rows for absent labels: a last column of large numbers would otherwise
// ask for tables of that many rows.
int renumber_classes(DataMatrix* y)
{
    std::vector<int> present(y->rows);
    for (int r = 0; r < y->rows; ++r)
        present[r] = static_cast<int>(y->data[r]);
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());
    for (int r = 0; r < y->rows; ++r) {
        int label = static_cast<int>(y->data[r]);
        y->data[r] = std::lower_bound(present.begin(), present.end(), label) - present.begin() + 1;
    }
    return static_cast<int>(present.size());
}

}  // namespace

// The symmetric-definite problem B v = lambda W v: with W = L L', the eigenpairs
// (lambda, u) of the symmetric L^-1 B L'^-1 give the directions v = L'^-1 u. The
// eigenvalues are those of W^-1 B, real by construction and unchanged by any
// scaling of the features.
TrainStatus discriminant_directions(DataMatrix* w, const DataMatrix* b, OwnedMatrix* v)
{
    int d = w->rows;
    // W is singular to working precision, or not positive definite, when a
    // pivot is not above d roundings of its own diagonal entry: the test
    // follows each feature's own scale.
    PivotRule rule = {PivotScale::own_diagonal, d * DBL_EPSILON, false};
    if (!cholesky_factor(w, rule))
        return TrainStatus::singular;
    OwnedMatrix c = make_matrix(d, d);
    if (!c)
        return TrainStatus::no_memory;
    memcpy(c->data, b->data, sizeof(double) * static_cast<size_t>(d) * d);
    reduce_to_standard(w, c.get());
    if (!all_finite(c.get()))
        return TrainStatus::not_finite;
    bool computed = true;
    KeptReduction reduced;
    OwnedMatrix values = kept_eigenvalues(c.get(), &computed, &reduced);
    if (!computed)
        return TrainStatus::no_eigenvalues;
    if (!values)
        return TrainStatus::no_memory;
    OwnedMatrix vectors = make_matrix(d, values->rows);
    if (!vectors)
        return TrainStatus::no_memory;
    if (!matrix_eigenvectors(c.get(), values.get(), vectors.get(), &reduced))
        return TrainStatus::no_eigenvectors;
    cholesky_solve_upper(w, vectors.get());
    normalise_columns(vectors.get());
    if (!all_finite(vectors.get()))
        return TrainStatus::not_finite;
    *v = std::move(vectors);
    return TrainStatus::ok;
}

TrainStatus train_flatdisc(const DataMatrix* db, double epsilon, OwnedMatrix* v)
{
    int n = db->rows, d = db->cols - 1;
    OwnedMatrix x = make_matrix(1, 1), y = make_matrix(1, 1);
    if (!x || !y)
        return TrainStatus::no_memory;
    split_features_labels(db, x.get(), y.get());
    if (x->data == nullptr || y->data == nullptr)
        return TrainStatus::no_memory;
    // Exact power-of-two scaling keeps the scatter sums in range; epsilon
    // follows W's scale, so the directions are those of the data as given.
    int exponent = scale_to_unit(x.get());
    epsilon = std::ldexp(epsilon, -2 * exponent);
    int classes = renumber_classes(y.get());
    OwnedMatrix mean = make_matrix(1, d), class_means = make_matrix(classes, d),
                counts = make_matrix(classes, 1), b = make_matrix(d, d), w = make_matrix(d, d);
    if (!mean || !class_means || !counts || !b || !w)
        return TrainStatus::no_memory;
    ClassStatistics stats{mean.get(), class_means.get(), counts.get()};
    class_statistics(x.get(), y.get(), &stats);
    between_scatter(stats, n, b.get());
    within_scatter(x.get(), y.get(), stats, epsilon, w.get());
    if (!all_finite(b.get()) || !all_finite(w.get()))
        return TrainStatus::not_finite;
    return discriminant_directions(w.get(), b.get(), v);
}
