// In-place inverses: of a diagonal held as a vector, and of a square matrix
// by LU factorisation; both return the determinant up to its sign.
#include <cmath>

#include "matrix.h"
#include "meschach_bridge.h"

namespace {

// Whether to form the inverse, given the pivot product and whether some
// pivot is exactly zero (the triangular solve would then fail).
typedef bool (*InverseRule)(double product, bool zero_pivot);

bool invert_unless_singular(double product, bool zero_pivot)
{
    return !zero_pivot && std::isfinite(product);
}

bool invert_above_threshold(double product, bool zero_pivot)
{
    return !zero_pivot && std::fabs(product) > 1e-10;
}

// Each entry x becomes 1/x, or 0 when |x| < 1e-10; returns the product of
// the entries as they were.
double invert_diagonal(DataMatrix* m)
{
    double product = 1.0;
    size_t count = matrix_entry_count(m->rows, m->cols);
    for (size_t t = 0; t < count; t++) {
        double x = m->data[t];
        product *= x;
        m->data[t] = std::fabs(x) >= 1e-10 ? 1.0 / x : 0.0;
    }
    return product;
}

// Product of U's diagonal in order; the permutation's sign is not applied.
double invert_square(DataMatrix* m, InverseRule rule)
{
    LuFactors* lu = lu_factor(m);
    if (!lu)
        return 0.0;
    double product = 1.0;
    bool zero_pivot = false;
    for (int i = 0; i < m->rows; i++) {
        double pivot = lu_pivot(lu, i);
        product *= pivot;
        zero_pivot = zero_pivot || pivot == 0.0;
    }
    if (rule(product, zero_pivot))
        for (int i = 0; i < m->rows; i++)
            lu_solve_unit(lu, i, m);
    lu_free(lu);
    return product;
}

double invert_by_rule(DataMatrix* m, InverseRule rule)
{
    if (!m || !m->data || m->rows <= 0 || m->cols <= 0)
        return 0.0;
    if (m->rows == 1 || m->cols == 1)
        return invert_diagonal(m);
    if (m->rows == m->cols)
        return invert_square(m, rule);
    return 0.0;
}

}  // namespace

// Singular (left unchanged) when a pivot is exactly 0 or the pivot product
// is not finite.
double matrix_invert(DataMatrix* m)
{
    return invert_by_rule(m, invert_unless_singular);
}

// Left unchanged unless |product of pivots| > 1e-10.
double invert_with_determinant(DataMatrix* m)
{
    return invert_by_rule(m, invert_above_threshold);
}
