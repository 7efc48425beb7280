// Class statistics and scatter matrices of the linear discriminant.
#include "plugins/flatdisc/scatter.h"

#include "support/matrix.h"

namespace {

// Class index of a label (truncated), or -1 outside the class tables.
int class_index(double label, int classes)
{
    if (!(label >= 1.0) || label >= static_cast<double>(classes) + 1.0)
        return -1;
    return static_cast<int>(label) - 1;
}

double* row_of(const DataMatrix* m, int i)
{
    return m->data + static_cast<size_t>(i) * m->cols;
}

// Copies the upper triangle of a square matrix into its lower triangle.
void mirror_upper(DataMatrix* s)
{
    int d = s->rows;
    for (int i = 0; i < d; ++i)
        for (int j = 0; j < i; ++j)
            row_of(s, i)[j] = row_of(s, j)[i];
}

// s += factor * v v' on the upper triangle.
void add_outer_upper(DataMatrix* s, const double* v, double factor)
{
    int d = s->rows;
    for (int i = 0; i < d; ++i) {
        double vi = factor * v[i];
        double* s_row = row_of(s, i);
        for (int j = i; j < d; ++j)
            s_row[j] += vi * v[j];
    }
}

}  // namespace

void class_statistics(const DataMatrix* x, const DataMatrix* y, ClassStatistics* stats)
{
    int d = x->cols, classes = stats->counts->rows;
    matrix_fill(stats->mean, 0.0);
    matrix_fill(stats->class_means, 0.0);
    matrix_fill(stats->counts, 0.0);
    for (int r = 0; r < x->rows; ++r) {
        const double* xr = row_of(x, r);
        for (int i = 0; i < d; ++i)
            stats->mean->data[i] += xr[i];
        int c = class_index(y->data[r], classes);
        if (c < 0)
            continue;
        double* mc = row_of(stats->class_means, c);
        for (int i = 0; i < d; ++i)
            mc[i] += xr[i];
        stats->counts->data[c] += 1.0;
    }
    for (int c = 0; c < classes; ++c) {
        double count = stats->counts->data[c];
        double divisor = count > 0.0 ? count : 1.0;
        double* mc = row_of(stats->class_means, c);
        for (int i = 0; i < d; ++i)
            mc[i] /= divisor;
    }
    for (int i = 0; i < d; ++i)
        stats->mean->data[i] /= x->rows;
}

void between_scatter(const ClassStatistics& stats, int n, DataMatrix* b)
{
    int d = b->rows, classes = stats.counts->rows;
    const double* m = stats.mean->data;
    matrix_fill(b, 0.0);
    for (int c = 0; c < classes; ++c) {
        const double* mc = row_of(stats.class_means, c);
        double weight = stats.counts->data[c] / n;
        for (int i = 0; i < d; ++i) {
            double di = weight * (mc[i] - m[i]);
            double* b_row = row_of(b, i);
            for (int j = i; j < d; ++j)
                b_row[j] += di * (mc[j] - m[j]);
        }
    }
    mirror_upper(b);
}

void within_scatter(DataMatrix* x, const DataMatrix* y, const ClassStatistics& stats,
                    double epsilon, DataMatrix* w)
{
    int d = w->rows, classes = stats.counts->rows, n = x->rows;
    matrix_fill(w, 0.0);
    for (int r = 0; r < n; ++r) {
        int c = class_index(y->data[r], classes);
        if (c < 0)
            continue;
        double* xr = row_of(x, r);
        const double* mc = row_of(stats.class_means, c);
        for (int i = 0; i < d; ++i)
            xr[i] -= mc[i];
        double count = stats.counts->data[c];
        add_outer_upper(w, xr, 1.0 / (count > 1.0 ? count - 1.0 : 1.0));
    }
    for (int i = 0; i < d; ++i)
        for (int j = i; j < d; ++j)
            row_of(w, i)[j] /= n;
    mirror_upper(w);
    for (int i = 0; i < d; ++i)
        row_of(w, i)[i] += epsilon;
}
