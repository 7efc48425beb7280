// Cholesky factorisation row by row (each entry one inner product of two
// factor rows) and forward and back substitution over whole rows.
#include "plugins/warpfold/cholesky.h"

#include <cfloat>
#include <cmath>

#include "support/matrix.h"

namespace {

// sum over k < count of x[k] y[k], in four partial sums.
double dot(const double* x, const double* y, int count)
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        s0 += x[k] * y[k];
        s1 += x[k + 1] * y[k + 1];
        s2 += x[k + 2] * y[k + 2];
        s3 += x[k + 3] * y[k + 3];
    }
    for (; k < count; ++k)
        s0 += x[k] * y[k];
    return (s0 + s1) + (s2 + s3);
}

}  // namespace

bool cholesky_factor(DataMatrix* a)
{
    int n = a->rows;
    double largest = 0.0;
    for (int i = 0; i < n; ++i)
        largest = std::fmax(largest, matrix_row(a, i)[i]);
    double floor = n * DBL_EPSILON * largest;
    for (int i = 0; i < n; ++i) {
        double* li = matrix_row(a, i);
        for (int j = 0; j < i; ++j) {
            const double* lj = matrix_row(a, j);
            li[j] = (li[j] - dot(li, lj, j)) / lj[j];
        }
        double pivot = li[i] - dot(li, li, i);
        if (!(pivot > floor))
            return false;
        li[i] = std::sqrt(pivot);
    }
    return true;
}

void solve_lower(const DataMatrix* l, DataMatrix* b)
{
    int n = l->rows, r = b->cols;
    for (int i = 0; i < n; ++i) {
        const double* li = matrix_row(l, i);
        double* bi = matrix_row(b, i);
        for (int k = 0; k < i; ++k) {
            const double* bk = matrix_row(b, k);
            for (int c = 0; c < r; ++c)
                bi[c] -= li[k] * bk[c];
        }
        for (int c = 0; c < r; ++c)
            bi[c] /= li[i];
    }
}

void solve_lower_transposed(const DataMatrix* l, DataMatrix* b)
{
    int n = l->rows, r = b->cols;
    for (int i = n - 1; i >= 0; --i) {
        double* bi = matrix_row(b, i);
        for (int k = i + 1; k < n; ++k) {
            double lki = matrix_row(l, k)[i];
            const double* bk = matrix_row(b, k);
            for (int c = 0; c < r; ++c)
                bi[c] -= lki * bk[c];
        }
        for (int c = 0; c < r; ++c)
            bi[c] /= matrix_row(l, i)[i];
    }
}
