// Cholesky factorisation, triangular solves and diagonal inverses with a
// singularity test relative to the matrix's scale.
#include "plugins/bellmix/cholesky.h"

#include <cmath>

namespace {

double largest_diagonal(const DataMatrix* a)
{
    double largest = 0.0;
    for (int i = 0; i < a->rows; ++i)
        largest = std::fmax(largest, a->data[static_cast<size_t>(i) * a->cols + i]);
    return largest;
}

// A pivot is usable when positive and not negligible against the scale;
// NaN fails both comparisons.
bool usable_pivot(double pivot, double scale)
{
    return pivot > 0.0 && pivot >= kRelativePivotLimit * scale;
}

}  // namespace

// Row by row: L[i][j] = (a[i][j] - sum_{m<j} L[i][m] L[j][m]) / L[j][j], and
// L[i][i] = sqrt(a[i][i] - sum_{m<i} L[i][m]^2). Entries above the diagonal
// become 0.
int cholesky_factor(const DataMatrix* a, DataMatrix* l, double* logDeterminant)
{
    if (!a || !l || !a->data || !l->data || a->rows != a->cols || l->rows != a->rows ||
        l->cols != a->cols || a->rows <= 0)
        return 0;
    int n = a->rows;
    double scale = largest_diagonal(a);
    double logDet = 0.0;
    for (int i = 0; i < n; ++i) {
        const double* arow = a->data + static_cast<size_t>(i) * n;
        double* lrow = l->data + static_cast<size_t>(i) * n;
        for (int j = 0; j <= i; ++j) {
            const double* ljrow = l->data + static_cast<size_t>(j) * n;
            double sum = arow[j];
            for (int m = 0; m < j; ++m)
                sum -= lrow[m] * ljrow[m];
            if (j < i) {
                lrow[j] = sum / ljrow[j];
                continue;
            }
            if (!usable_pivot(sum, scale))
                return 0;
            lrow[i] = std::sqrt(sum);
            logDet += std::log(sum);
        }
        for (int j = i + 1; j < n; ++j)
            lrow[j] = 0.0;
    }
    *logDeterminant = logDet;
    return 1;
}

void cholesky_forward(const DataMatrix* l, const double* x, double* y)
{
    int n = l->rows;
    for (int i = 0; i < n; ++i) {
        const double* lrow = l->data + static_cast<size_t>(i) * n;
        double sum = x[i];
        for (int m = 0; m < i; ++m)
            sum -= lrow[m] * y[m];
        y[i] = sum / lrow[i];
    }
}

void cholesky_solve(const DataMatrix* l, double* x)
{
    int n = l->rows;
    cholesky_forward(l, x, x);
    for (int i = n - 1; i >= 0; --i) {
        double sum = x[i];
        for (int m = i + 1; m < n; ++m)
            sum -= l->data[static_cast<size_t>(m) * n + i] * x[m];
        x[i] = sum / l->data[static_cast<size_t>(i) * n + i];
    }
}

int invert_variances(const DataMatrix* variances, DataMatrix* reciprocals,
                     double* logDeterminant)
{
    int n = variances->rows * variances->cols;
    double scale = 0.0;
    for (int i = 0; i < n; ++i)
        scale = std::fmax(scale, variances->data[i]);
    double logDet = 0.0;
    for (int i = 0; i < n; ++i) {
        double v = variances->data[i];
        if (!usable_pivot(v, scale))
            return 0;
        reciprocals->data[i] = 1.0 / v;
        logDet += std::log(v);
    }
    *logDeterminant = logDet;
    return 1;
}
