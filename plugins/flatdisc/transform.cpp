// Training of the linear discriminant: scatters, inverse, eigenproblem.
#include "plugins/flatdisc/transform.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "plugins/flatdisc/scatter.h"
#include "support/eigen.h"

namespace {

// Inverts w in place; false when it is singular. The inverse routine leaves a
// singular matrix unchanged and gives 0 or a product that is not finite; a
// 1 x 1 matrix below its threshold becomes 0.
bool invert_within(DataMatrix* w)
{
    int d = w->rows;
    OwnedMatrix before = make_matrix(d, d);
    if (!before)
        return false;
    size_t bytes = sizeof(double) * static_cast<size_t>(d) * d;
    memcpy(before->data, w->data, bytes);
    double product = matrix_invert(w);
    if (!std::isfinite(product))
        return false;
    if (product == 0.0 && memcmp(before->data, w->data, bytes) == 0)
        return false;
    return !(d == 1 && w->data[0] == 0.0);
}

// The real parts of the kept eigenvalues of c, in decreasing order; null when
// none is kept or memory is short, or (*computed false) when the eigenvalue
// routine refused.
OwnedMatrix kept_eigenvalues(const DataMatrix* c, bool* computed)
{
    int d = c->rows;
    OwnedMatrix re = make_matrix(d, 1), im = make_matrix(d, 1);
    if (!re || !im)
        return nullptr;
    matrix_fill(re.get(), 0.0);
    matrix_fill(im.get(), 0.0);
    *computed = matrix_eigenvalues(c, re.get(), im.get()) != 0;
    if (!*computed)
        return nullptr;
    int kept = 0;
    for (int i = 0; i < d; ++i)
        if (std::fabs(im->data[i]) <= eigenvalue_tolerance && re->data[i] > eigenvalue_tolerance)
            re->data[kept++] = re->data[i];
    OwnedMatrix values = make_matrix(kept, 1);
    if (!values)
        return nullptr;
    memcpy(values->data, re->data, sizeof(double) * kept);
    vector_sort(values.get(), nullptr, 1);
    return values;
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

TrainStatus discriminant_directions(DataMatrix* w, const DataMatrix* b, OwnedMatrix* v)
{
    if (!invert_within(w))
        return TrainStatus::singular;
    if (!matrix_multiply(w, b, w))
        return TrainStatus::no_memory;
    if (!all_finite(w))
        return TrainStatus::not_finite;
    bool computed = true;
    OwnedMatrix values = kept_eigenvalues(w, &computed);
    if (!computed)
        return TrainStatus::no_eigenvalues;
    if (!values)
        return TrainStatus::no_memory;
    OwnedMatrix vectors = make_matrix(w->rows, values->rows);
    if (!vectors)
        return TrainStatus::no_memory;
    matrix_fill(vectors.get(), 0.0);
    matrix_eigenvectors(w, values.get(), vectors.get());
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
