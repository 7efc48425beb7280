// Covariance of columns and powers of symmetric matrices.
#include "covariance.h"

#include <cmath>

#include "eigen.h"
#include "matrix.h"
#include "scriptrun/messages.h"

namespace {

bool usable(const DataMatrix* m)
{
    return m && m->data && m->rows > 0 && m->cols > 0;
}

}  // namespace

void matrix_covariance(const DataMatrix* a, const DataMatrix* mean, DataMatrix* c)
{
    if (!usable(a) || !usable(c) || c->rows != a->cols || c->cols != a->cols ||
        (mean && (!usable(mean) || mean->cols != 1 || mean->rows != a->cols))) {
        print_message("matrix_covariance: empty input or bad size\n");
        return;
    }
    int r = a->rows, p = a->cols;
    double divisor = r >= 2 ? r - 1.0 : 1.0;
    for (int i = 0; i < p; ++i) {
        double mi = mean ? mean->data[i] : 0.0;
        for (int j = i; j < p; ++j) {
            double mj = mean ? mean->data[j] : 0.0;
            double s = 0.0;
            for (int k = 0; k < r; ++k) {
                const double* row = matrix_row(a, k);
                s += (row[i] - mi) * (row[j] - mj);
            }
            matrix_row(c, i)[j] = matrix_row(c, j)[i] = s / divisor;
        }
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
