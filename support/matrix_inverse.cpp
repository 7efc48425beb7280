// In-place inverses: of a diagonal held as a vector, and of a square matrix
// by LU factorisation; both return the determinant up to its sign.
#include <cfloat>
#include <climits>
#include <cmath>

#include "matrix.h"
#include "meschach_bridge.h"

namespace {

// A product kept as mantissa x 2^exponent, so that no partial product
// underflows or overflows: it rounds as the plain product does wherever that
// stays among the normal numbers, and goes to 0 or infinity only when the
// whole product lies beyond the reals.
struct ScaledProduct {
    double mantissa = 1.0;  // in [0.5, 1), or 0
    long exponent = 0;      // of 2

    void times(double x)
    {
        int e;
        double m = std::frexp(x, &e);
        exponent += e;
        mantissa = std::frexp(mantissa * m, &e);
        exponent += e;
    }
    double value() const
    {
        long e = exponent < INT_MIN / 2 ? INT_MIN / 2 : exponent > INT_MAX / 2 ? INT_MAX / 2 : exponent;
        return std::ldexp(mantissa, static_cast<int>(e));
    }
};

// What a routine returns and whether it inverts, from the pivots' product
// and whether the pivots show the matrix singular.
struct InverseRule {
    bool (*inverts)(double product, bool singular);
    bool zero_means_refused;  // a product that underflows is returned as the
                              // smallest real of its sign, so 0 is a refusal only
};

bool invert_unless_singular(double, bool singular)
{
    return !singular;
}

bool invert_above_threshold(double product, bool singular)
{
    return !singular && std::fabs(product) > 1e-10;
}

const InverseRule unless_singular = {invert_unless_singular, true};
const InverseRule above_threshold = {invert_above_threshold, false};

// The product as the rule reports it.
double reported(const ScaledProduct& product, const InverseRule& rule)
{
    double value = product.value();
    if (value == 0.0 && product.mantissa != 0.0 && rule.zero_means_refused)
        return std::copysign(DBL_TRUE_MIN, product.mantissa);
    return value;
}

// Each entry x becomes 1/x, or 0 when |x| < 1e-10; returns the product of
// the entries as they were.
double invert_diagonal(DataMatrix* m, const InverseRule& rule)
{
    ScaledProduct product;
    size_t count = matrix_entry_count(m->rows, m->cols);
    for (size_t t = 0; t < count; t++) {
        double x = m->data[t];
        product.times(x);
        m->data[t] = std::fabs(x) >= 1e-10 ? 1.0 / x : 0.0;
    }
    return reported(product, rule);
}

// Singular when a pivot is 0 or not finite, or lies within n machine
// epsilons of what it was computed from (lu_pivot_scale): each pivot judged
// by its own scale, so a diagonal matrix with entries of any sizes is
// regular, while a pivot left by cancellation among far larger terms is
// rounding alone.
bool pivots_show_singular(const LuFactors* lu, const DataMatrix* m)
{
    int n = m->rows;
    for (int i = 0; i < n; i++) {
        double pivot = lu_pivot(lu, i);
        if (pivot == 0.0 || !std::isfinite(pivot) ||
            !(std::fabs(pivot) > n * DBL_EPSILON * lu_pivot_scale(lu, m, i)))
            return true;
    }
    return false;
}

// Product of U's diagonal in order; the permutation's sign is not applied.
// A matrix the pivots show singular is left unchanged and gives 0, whatever
// the product, so that a caller reading the result sees the refusal.
double invert_square(DataMatrix* m, const InverseRule& rule)
{
    LuFactors* lu = lu_factor(m);
    if (!lu)
        return 0.0;
    ScaledProduct product;
    for (int i = 0; i < m->rows; i++)
        product.times(lu_pivot(lu, i));
    bool singular = pivots_show_singular(lu, m);
    if (rule.inverts(product.value(), singular))
        for (int i = 0; i < m->rows; i++)
            lu_solve_unit(lu, i, m);
    lu_free(lu);
    return singular ? 0.0 : reported(product, rule);
}

double invert_by_rule(DataMatrix* m, const InverseRule& rule)
{
    if (!m || !m->data || m->rows <= 0 || m->cols <= 0)
        return 0.0;
    if (m->rows == 1 || m->cols == 1)
        return invert_diagonal(m, rule);
    if (m->rows == m->cols)
        return invert_square(m, rule);
    return 0.0;
}

}  // namespace

// Returns 0 only when it leaves m unchanged as singular (or m is no square
// or vector), or when a diagonal entry is 0; any inverse it forms gives a
// product that is not 0.
double matrix_invert(DataMatrix* m)
{
    return invert_by_rule(m, unless_singular);
}

// Left unchanged when the pivots show the matrix singular (returning 0) or
// unless |product of pivots| > 1e-10 (returning the product).
double invert_with_determinant(DataMatrix* m)
{
    return invert_by_rule(m, above_threshold);
}
