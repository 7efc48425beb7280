// LU factors with partial pivoting of shifted tridiagonal and Hessenberg
// matrices, and the inverse iteration that solves against them.
#include "support/inverse_iteration.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

namespace {

// The change between two iterates below which the iteration stops.
const double TOLERANCE = 1e-10;
// Passes allowed; converging iterations stop within a handful.
const int MAX_PASSES = 40;
// Passes before a change that no longer falls may end the loop. An iterate
// that turns within a group of coinciding eigenvalues changes by as much on
// every pass, yet the share of each eigenvalue outside the group (at least
// 100 shifts away) still falls a hundredfold per pass: after 6 passes it is
// below 1e-12.
const int SETTLING_PASSES = 6;

// |x|, or -1 when an entry is not finite; safe from overflow in the squares.
double checked_norm(const double* x, int n)
{
    double largest = 0.0;
    for (int k = 0; k < n; k++) {
        if (!std::isfinite(x[k]))
            return -1.0;
        largest = std::fmax(largest, std::fabs(x[k]));
    }
    if (largest == 0.0)
        return 0.0;
    double sum = 0.0;
    for (int k = 0; k < n; k++)
        sum += (x[k] / largest) * (x[k] / largest);
    return largest * std::sqrt(sum);
}

// |r|, or infinity when an entry is not finite, so that it is never allowed.
double residual_norm(const std::vector<double>& r)
{
    double norm = checked_norm(r.data(), static_cast<int>(r.size()));
    return norm < 0.0 ? INFINITY : norm;
}

// Multiplier that eliminates below with pivot (0 when both are 0).
double multiplier(double below, double pivot)
{
    return pivot != 0.0 ? below / pivot : 0.0;
}

// An exact eigenvalue of a matrix with a Jordan block of order 3 or more can
// leave a pivot that cancels to exactly 0 however small the shift. Such a
// pivot, or one below the normal range (its reciprocal overflows), becomes
// eps |form|, so that the solve amplifies the eigenvector as intended. A
// pivot that is merely small is kept: sigma^k for a Jordan block of order k
// is its true value, and raising it would spoil the solve. Only a pivot
// that is not finite (a shift beyond range) makes the factorisation fail.
bool floor_pivot(double* pivot, double norm)
{
    if (std::fabs(*pivot) < DBL_MIN)
        *pivot = std::copysign(DBL_EPSILON * (norm > 0.0 ? norm : 1.0), *pivot);
    return std::isfinite(*pivot);
}

// Largest |entry| of the tridiagonal matrix (diag, off).
double tridiagonal_norm(const std::vector<double>& diag, const std::vector<double>& off)
{
    double largest = 0.0;
    for (size_t i = 0; i < diag.size(); i++)
        largest = std::fmax(largest, std::fmax(std::fabs(diag[i]), std::fabs(off[i])));
    return largest;
}

}  // namespace

bool factor_tridiagonal(const std::vector<double>& diag, const std::vector<double>& off,
                        double sigma, TridiagonalLu* lu)
{
    int n = static_cast<int>(diag.size());
    lu->u0.resize(n);
    lu->u1.assign(off.begin(), off.end());
    lu->u1[n - 1] = 0.0;
    lu->u2.assign(n, 0.0);
    lu->l.assign(n, 0.0);
    lu->exchanged.assign(n, 0);
    for (int i = 0; i < n; i++)
        lu->u0[i] = diag[i] - sigma;
    for (int i = 0; i + 1 < n; i++) {
        double sub = off[i];
        if (std::fabs(lu->u0[i]) >= std::fabs(sub)) {
            lu->l[i] = multiplier(sub, lu->u0[i]);
            lu->u0[i + 1] -= lu->l[i] * lu->u1[i];
            continue;
        }
        // Row i+1 (sub, u0[i+1], u1[i+1]) becomes the pivot row.
        double m = lu->u0[i] / sub, upper = lu->u1[i];
        lu->exchanged[i] = 1;
        lu->l[i] = m;
        lu->u0[i] = sub;
        lu->u1[i] = lu->u0[i + 1];
        lu->u2[i] = lu->u1[i + 1];
        lu->u0[i + 1] = upper - m * lu->u1[i];
        lu->u1[i + 1] = -m * lu->u2[i];
    }
    double norm = tridiagonal_norm(diag, off);
    for (int i = 0; i < n; i++)
        if (!floor_pivot(&lu->u0[i], norm))
            return false;
    return true;
}

void solve_tridiagonal(const TridiagonalLu& lu, double* x)
{
    int n = static_cast<int>(lu.u0.size());
    for (int i = 0; i + 1 < n; i++) {
        if (lu.exchanged[i])
            std::swap(x[i], x[i + 1]);
        x[i + 1] -= lu.l[i] * x[i];
    }
    for (int i = n - 1; i >= 0; i--) {
        double s = x[i];
        if (i + 1 < n)
            s -= lu.u1[i] * x[i + 1];
        if (i + 2 < n)
            s -= lu.u2[i] * x[i + 2];
        x[i] = s / lu.u0[i];
    }
}

bool factor_hessenberg(const HessenbergForm& h, double sigma, HessenbergLu* lu)
{
    int n = h.n;
    lu->n = n;
    lu->start.resize(n);
    size_t size = 0;
    for (int i = 0; i < n; i++) {
        lu->start[i] = size;
        size += static_cast<size_t>(n - i);
    }
    lu->u.resize(size);
    lu->l.assign(n, 0.0);
    lu->exchanged.assign(n, 0);
    // carry: the row still to be eliminated, columns k..n-1.
    std::vector<double> carry(h.work.begin(), h.work.begin() + n);
    carry[0] -= sigma;
    for (int k = 0; k + 1 < n; k++) {
        const double* next = &h.work[static_cast<size_t>(k + 1) * n];
        double* urow = &lu->u[lu->start[k]];
        bool exchange = std::fabs(carry[k]) < std::fabs(next[k]);
        lu->exchanged[k] = exchange;
        lu->l[k] = exchange ? carry[k] / next[k] : multiplier(next[k], carry[k]);
        double m = lu->l[k];
        for (int j = k; j < n; j++) {
            double below = next[j] - (j == k + 1 ? sigma : 0.0);
            urow[j - k] = exchange ? below : carry[j];
            carry[j] = exchange ? carry[j] - m * below : below - m * carry[j];
        }
    }
    lu->u[lu->start[n - 1]] = carry[n - 1];
    for (int i = 0; i < n; i++)
        if (!floor_pivot(&lu->u[lu->start[i]], h.norm))
            return false;
    return true;
}

void solve_hessenberg(const HessenbergLu& lu, double* x)
{
    int n = lu.n;
    for (int k = 0; k + 1 < n; k++) {
        if (lu.exchanged[k])
            std::swap(x[k], x[k + 1]);
        x[k + 1] -= lu.l[k] * x[k];
    }
    for (int i = n - 1; i >= 0; i--) {
        const double* urow = &lu.u[lu.start[i]];
        double s = x[i];
        for (int j = i + 1; j < n; j++)
            s -= urow[j - i] * x[j];
        x[i] = s / urow[0];
    }
}

double tridiagonal_residual(const std::vector<double>& diag, const std::vector<double>& off,
                            double value, const double* x)
{
    int n = static_cast<int>(diag.size());
    std::vector<double> r(n);
    for (int i = 0; i < n; i++) {
        r[i] = (diag[i] - value) * x[i];
        if (i > 0)
            r[i] += off[i - 1] * x[i - 1];
        if (i + 1 < n)
            r[i] += off[i] * x[i + 1];
    }
    return residual_norm(r);
}

double hessenberg_residual(const HessenbergForm& h, double value, const double* x)
{
    int n = h.n;
    std::vector<double> r(n);
    for (int i = 0; i < n; i++) {
        const double* row = &h.work[static_cast<size_t>(i) * n];
        double s = -value * x[i];
        for (int j = i > 0 ? i - 1 : 0; j < n; j++)
            s += row[j] * x[j];
        r[i] = s;
    }
    return residual_norm(r);
}

namespace {

// y := (form - sigma I)^-1 x negated, that is (sigma I - form)^-1 x: with
// sigma just above the eigenvalue the wanted component then keeps its sign
// from pass to pass, so successive iterates can be compared. y is then
// orthogonalised and normalised; false when it vanished or is not finite.
bool next_iterate(const IterationSteps& steps, const double* x, double* y, int n)
{
    for (int k = 0; k < n; k++)
        y[k] = x[k];
    steps.solve(y);
    for (int k = 0; k < n; k++)
        y[k] = -y[k];
    steps.orthogonalise(y);
    double norm = checked_norm(y, n);
    if (!(norm > 0.0) || !std::isfinite(norm))
        return false;
    for (int k = 0; k < n; k++)
        y[k] /= norm;
    return true;
}

// How far the direction moved from x to y: |y - x| or |y + x|, whichever is
// smaller, so that an iterate that only changed its sign (a shift that lies
// below an inexactly computed eigenvalue) counts as unchanged.
double direction_change(const double* x, const double* y, int n)
{
    double minus = 0.0, plus = 0.0;
    for (int k = 0; k < n; k++) {
        minus += (y[k] - x[k]) * (y[k] - x[k]);
        plus += (y[k] + x[k]) * (y[k] + x[k]);
    }
    return std::sqrt(std::fmin(minus, plus));
}

}  // namespace

IterationEnd inverse_iteration(const IterationSteps& steps, double allowed, double* x, double* y,
                               int n)
{
    std::vector<double> best(x, x + n);
    double best_residual = INFINITY, previous = 0.0;
    for (int pass = 1; pass <= MAX_PASSES; pass++) {
        if (!next_iterate(steps, x, y, n))
            return IterationEnd::lost;
        double change = direction_change(x, y, n);
        for (int k = 0; k < n; k++)
            x[k] = y[k];
        double residual = steps.residual(x);
        bool settled =
            change <= TOLERANCE || (pass >= SETTLING_PASSES && previous - change <= TOLERANCE);
        if (settled && residual <= allowed)
            return IterationEnd::converged;
        if (residual < best_residual) {
            best_residual = residual;
            best.assign(x, x + n);
        }
        previous = change;
    }
    std::copy(best.begin(), best.end(), x);
    return best_residual <= allowed ? IterationEnd::converged : IterationEnd::no_eigenvector;
}
