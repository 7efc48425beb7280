// LU factors with partial pivoting of shifted tridiagonal and Hessenberg
// matrices, and the inverse iteration that solves against them.
#include "support/inverse_iteration.h"

#include <cmath>
#include <utility>

namespace {

// The change between two iterates below which the iteration stops.
const double TOLERANCE = 1e-10;
// Passes allowed; converging iterations stop within a handful.
const int MAX_PASSES = 40;

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

// Multiplier that eliminates below with pivot (0 when both are 0).
double multiplier(double below, double pivot)
{
    return pivot != 0.0 ? below / pivot : 0.0;
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
    for (int i = 0; i < n; i++)
        if (lu->u0[i] == 0.0)
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
        if (lu->u[lu->start[i]] == 0.0)
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

IterationEnd inverse_iteration(const std::function<void(double*)>& solve,
                               const std::function<void(double*)>& orthogonalise, double* x,
                               double* y, int n)
{
    double previous = 0.0;
    for (int pass = 1; pass <= MAX_PASSES; pass++) {
        for (int k = 0; k < n; k++)
            y[k] = x[k];
        solve(y);
        orthogonalise(y);
        double norm = checked_norm(y, n);
        if (!(norm > 0.0) || !std::isfinite(norm))
            return IterationEnd::lost;
        double change = 0.0;
        for (int k = 0; k < n; k++) {
            y[k] /= norm;
            change += (y[k] - x[k]) * (y[k] - x[k]);
            x[k] = y[k];
        }
        change = std::sqrt(change);
        if (change <= TOLERANCE || (pass > 1 && previous - change <= TOLERANCE))
            return IterationEnd::converged;
        previous = change;
    }
    return IterationEnd::converged;
}
