// Covariance of columns and powers of symmetric matrices.
#include "covariance.h"

#include <cmath>
#include <new>
#include <vector>

#include "eigen.h"
#include "matrix.h"
#include "scriptrun/messages.h"

namespace {

bool usable(const DataMatrix* m)
{
    return m && m->data && m->rows > 0 && m->cols > 0;
}

// The power of two that brings column j of a (and its mean) below 1, so the
// pairwise products and their sums stay in range; 0 for a zero column.
int column_exponent(const DataMatrix* a, const DataMatrix* mean, int j)
{
    double largest = mean ? std::fabs(mean->data[j]) : 0.0;
    for (int k = 0; k < a->rows; ++k)
        largest = std::fmax(largest, std::fabs(matrix_row(a, k)[j]));
    int exponent = 0;
    if (largest > 0.0 && std::isfinite(largest))
        std::frexp(largest, &exponent);
    return exponent;
}

}  // namespace

// Each column and its mean are scaled by the column's own power of two
// (exact) before they are subtracted and multiplied, and each entry is scaled
// back at the end: only an entry that is itself out of range overflows, and
// a small column keeps its digits next to a large one.
void matrix_covariance(const DataMatrix* a, const DataMatrix* mean, DataMatrix* c)
{
    if (!usable(a) || !usable(c) || c->rows != a->cols || c->cols != a->cols ||
        (mean && (!usable(mean) || mean->cols != 1 || mean->rows != a->cols))) {
        print_message("matrix_covariance: empty input or bad size\n");
        return;
    }
    int r = a->rows, p = a->cols;
    double divisor = r >= 2 ? r - 1.0 : 1.0;
    std::vector<int> e(p);
    std::vector<double> centred;  // r x p, the scaled columns less their means
    try {
        centred.resize(static_cast<size_t>(r) * p);
    } catch (const std::bad_alloc&) {
        print_message("matrix_covariance: not enough memory!\n");
        return;
    }
    for (int j = 0; j < p; ++j) {
        e[j] = column_exponent(a, mean, j);
        double mj = mean ? std::ldexp(mean->data[j], -e[j]) : 0.0;
        for (int k = 0; k < r; ++k)
            centred[static_cast<size_t>(k) * p + j] = std::ldexp(matrix_row(a, k)[j], -e[j]) - mj;
    }
    for (int i = 0; i < p; ++i)
        for (int j = i; j < p; ++j) {
            double s = 0.0;
            for (int k = 0; k < r; ++k)
                s += centred[static_cast<size_t>(k) * p + i] * centred[static_cast<size_t>(k) * p + j];
            matrix_row(c, i)[j] = matrix_row(c, j)[i] = std::ldexp(s / divisor, e[i] + e[j]);
        }
}

void matrix_power(DataMatrix* a, double exponent)
{
    if (!usable(a) || a->rows != a->cols) {
        print_message("matrix_power: empty input or bad size!\n");
        return;
    }
    int n = a->rows;
    DataMatrix* e = matrix_alloc(n, n);
    DataMatrix* values = matrix_alloc(n, 1);
    if (!e || !values) {
        print_message("matrix_power: not enough memory!\n");
        matrix_free(e);
        matrix_free(values);
        return;
    }
    if (!matrix_eigens_symmetric(a, values, e)) {
        matrix_fill(a, NAN);
    } else {
        for (int k = 0; k < n; ++k)
            values->data[k] = std::pow(values->data[k], exponent);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j <= i; ++j) {
                const double* ei = matrix_row(e, i);
                const double* ej = matrix_row(e, j);
                double s = 0.0;
                for (int k = 0; k < n; ++k)
                    s += ei[k] * ej[k] * values->data[k];
                matrix_row(a, i)[j] = matrix_row(a, j)[i] = s;
            }
    }
    matrix_free(e);
    matrix_free(values);
}
