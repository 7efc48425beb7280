// In-place inverses: of a diagonal held as a vector, and of a square matrix
// by LU factorisation; both return the determinant up to its sign.
#include <cfloat>
#include <cmath>

#include "matrix.h"
#include "meschach_bridge.h"

namespace {

// Whether to form the inverse, given the pivot product and whether the
// pivots show the matrix singular.
typedef bool (*InverseRule)(double product, bool singular);

bool invert_unless_singular(double, bool singular)
{
    return !singular;
}

bool invert_above_threshold(double product, bool singular)
{
    return !singular && std::fabs(product) > 1e-10;
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

// Singular when a pivot is exactly 0 or not finite, or lies below n machine
// epsilons of the largest pivot: a test on each pivot against the others,
// so it holds at any scale, where their product may overflow or underflow
// for a well-conditioned matrix.
bool pivots_show_singular(const LuFactors* lu, int n)
{
    double largest = 0.0;
    for (int i = 0; i < n; i++) {
        double pivot = lu_pivot(lu, i);
        if (pivot == 0.0 || !std::isfinite(pivot))
            return true;
        largest = std::fmax(largest, std::fabs(pivot));
    }
    for (int i = 0; i < n; i++)
        if (std::fabs(lu_pivot(lu, i)) < n * DBL_EPSILON * largest)
            return true;
    return false;
}

// Product of U's diagonal in order (it may overflow or underflow); the
// permutation's sign is not applied. A matrix the pivots show singular is
// left unchanged and gives 0, whatever the product, so that a caller reading
// the result sees the refusal.
double invert_square(DataMatrix* m, InverseRule rule)
{
    LuFactors* lu = lu_factor(m);
    if (!lu)
        return 0.0;
    double product = 1.0;
    for (int i = 0; i < m->rows; i++)
        product *= lu_pivot(lu, i);
    bool singular = pivots_show_singular(lu, m->rows);
    if (rule(product, singular))
        for (int i = 0; i < m->rows; i++)
            lu_solve_unit(lu, i, m);
    lu_free(lu);
    return singular ? 0.0 : product;
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

// Left unchanged, returning 0, when the pivots show the matrix singular.
double matrix_invert(DataMatrix* m)
{
    return invert_by_rule(m, invert_unless_singular);
}

// Left unchanged when the pivots show the matrix singular (returning 0) or
// unless |product of pivots| > 1e-10 (returning the product).
double invert_with_determinant(DataMatrix* m)
{
    return invert_by_rule(m, invert_above_threshold);
}
