// Solving the least-squares machine's system. The elimination is run as a
// Gauss-Jordan sweep only when some pivot falls below epsilon; otherwise the
// system is positive definite, every Gauss-Jordan pivot equals the square of
// a Cholesky diagonal, no row is ever skipped, and the blocked factorisation
// below gives the same solution with a third of the arithmetic and
// cache-sized blocks.
#include "plugins/squaremark/solve.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "scriptrun/messages.h"

namespace {

const int block = 64;  // columns per factorisation panel

inline double* row_of(double* a, int n, int i)
{
    return a + static_cast<size_t>(i) * n;
}

// The percentage line of the pivots: one line per pivot, each printed once
// even when the elimination restarts after the factorisation gave up.
struct Progress {
    bool on;      // print at all
    int printed;  // pivots already announced
    int total;    // pivots in all, the bias row's included
};

void announce_pivot(Progress* progress, int pivot)
{
    if (!progress->on || pivot < progress->printed)
        return;
    progress->printed = pivot + 1;
    print_message("%6.2f %%\r", (pivot + 1) * 100.0 / progress->total);
}

// Subtracts p * row h (columns from..n-1 of a, and all of v) from row r.
void eliminate_row(double* ar, const double* ah, int from, int n, double* vr, const double* vh,
                   int c, double p)
{
    for (int j = from; j < n; j++)
        ar[j] -= p * ah[j];
    for (int k = 0; k < c; k++)
        vr[k] -= p * vh[k];
}

// One diagonal block k0..k0+kb-1 of the lower factor, unblocked. False when
// a pivot (the Schur complement's diagonal) is below epsilon or not finite.
bool factor_diagonal_block(double* a, int n, int k0, int kb, double epsilon,
                           Progress* progress)
{
    for (int j = k0; j < k0 + kb; j++) {
        announce_pivot(progress, j);
        double* aj = row_of(a, n, j);
        double d = aj[j];
        for (int k = k0; k < j; k++)
            d -= aj[k] * aj[k];
        if (!(d >= epsilon) || !std::isfinite(d))
            return false;
        aj[j] = std::sqrt(d);
        for (int i = j + 1; i < k0 + kb; i++) {
            double* ai = row_of(a, n, i);
            double s = ai[j];
            for (int k = k0; k < j; k++)
                s -= ai[k] * aj[k];
            ai[j] = s / aj[j];
        }
    }
    return true;
}

// The panel under the diagonal block: L21 = A21 * L11^-T, row by row.
void solve_panel(double* a, int n, int k0, int kb)
{
    for (int i = k0 + kb; i < n; i++) {
        double* ai = row_of(a, n, i);
        for (int j = k0; j < k0 + kb; j++) {
            const double* aj = row_of(a, n, j);
            double s = ai[j];
            for (int k = k0; k < j; k++)
                s -= ai[k] * aj[k];
            ai[j] = s / aj[j];
        }
    }
}

// rows[r][t0 + j] -= sum_k panel[r][k] * pt[k][j] for 4 rows and 8 columns
// from j0: the accumulators stay in registers over the whole panel.
__attribute__((always_inline)) inline void update_tile(double* const* rows,
                                                       const double* const* panel,
                                                       const double* pt, int ldp, int kb, int j0,
                                                       int t0)
{
    double acc[4][8] = {};
    for (int k = 0; k < kb; k++) {
        const double* p = pt + static_cast<size_t>(k) * ldp + j0;
        for (int r = 0; r < 4; r++) {
            double f = panel[r][k];
            for (int q = 0; q < 8; q++)
                acc[r][q] += f * p[q];
        }
    }
    for (int r = 0; r < 4; r++)
        for (int q = 0; q < 8; q++)
            rows[r][t0 + j0 + q] -= acc[r][q];
}

// Trailing update of the lower triangle from column t0 = k0 + kb on:
// A[i][j] -= L[i][k0..] . L[j][k0..] for t0 <= j <= i. pt holds the panel
// transposed (kb x (n - t0)) so that the inner loops run over contiguous j.
#if defined(__x86_64__) && !defined(__clang__)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
void update_trailing(double* a, int n, int k0, int kb, const double* pt)
{
    int t0 = k0 + kb, m = n - t0;
    int i = t0;
    for (; i + 4 <= n; i += 4) {
        double* rows[4];
        const double* panel[4];
        for (int r = 0; r < 4; r++) {
            rows[r] = row_of(a, n, i + r);
            panel[r] = rows[r] + k0;
        }
        int full = i - t0;  // columns left of row i: below every row's diagonal
        int j = 0;
        for (; j + 8 <= full; j += 8)
            update_tile(rows, panel, pt, m, kb, j, t0);
        for (int r = 0; r < 4; r++)
            for (int jj = t0 + j; jj <= i + r; jj++) {
                const double* aj = row_of(a, n, jj) + k0;
                double s = 0.0;
                for (int k = 0; k < kb; k++)
                    s += panel[r][k] * aj[k];
                rows[r][jj] -= s;
            }
    }
    for (; i < n; i++) {
        double* ai = row_of(a, n, i);
        for (int jj = t0; jj <= i; jj++) {
            const double* aj = row_of(a, n, jj) + k0;
            double s = 0.0;
            for (int k = 0; k < kb; k++)
                s -= ai[k0 + k] * aj[k];
            ai[jj] += s;
        }
    }
}

// Lower Cholesky factor in place; the strict upper triangle is not touched.
bool cholesky_lower(double* a, int n, double epsilon, Progress* progress)
{
    std::vector<double> pt;
    for (int k0 = 0; k0 < n; k0 += block) {
        int kb = std::min(block, n - k0);
        if (!factor_diagonal_block(a, n, k0, kb, epsilon, progress))
            return false;
        solve_panel(a, n, k0, kb);
        int t0 = k0 + kb, m = n - t0;
        if (m == 0)
            break;
        pt.assign(static_cast<size_t>(kb) * m, 0.0);
        for (int j = 0; j < m; j++) {
            const double* aj = row_of(a, n, t0 + j) + k0;
            for (int k = 0; k < kb; k++)
                pt[static_cast<size_t>(k) * m + j] = aj[k];
        }
        update_trailing(a, n, k0, kb, pt.data());
    }
    return true;
}

// v = (L L^T)^-1 v, both sweeps over contiguous rows of L.
void cholesky_solve(const double* a, int n, double* v, int c)
{
    for (int i = 0; i < n; i++) {
        const double* ai = a + static_cast<size_t>(i) * n;
        double* vi = v + static_cast<size_t>(i) * c;
        for (int k = 0; k < i; k++)
            for (int q = 0; q < c; q++)
                vi[q] -= ai[k] * v[static_cast<size_t>(k) * c + q];
        for (int q = 0; q < c; q++)
            vi[q] /= ai[i];
    }
    for (int i = n - 1; i >= 0; i--) {
        const double* ai = a + static_cast<size_t>(i) * n;
        double* vi = v + static_cast<size_t>(i) * c;
        for (int q = 0; q < c; q++)
            vi[q] /= ai[i];
        for (int k = 0; k < i; k++)
            for (int q = 0; q < c; q++)
                v[static_cast<size_t>(k) * c + q] -= ai[k] * vi[q];
    }
}

void eliminate(double* a, int n, double* v, int c, double epsilon, Progress* progress)
{
    for (int h = 0; h < n; h++) {
        double* ah = row_of(a, n, h);
        double* vh = v + static_cast<size_t>(h) * c;
        double p = ah[h];
        announce_pivot(progress, h);
        if (!(std::fabs(p) >= epsilon)) {
            ah[h] = 0.0;
            std::fill(vh, vh + c, 0.0);
            continue;
        }
        for (int j = h; j < n; j++)
            ah[j] /= p;
        for (int k = 0; k < c; k++)
            vh[k] /= p;
        for (int r = 0; r < n; r++) {
            double* ar = row_of(a, n, r);
            if (r != h && ar[r] > 0.0)
                eliminate_row(ar, ah, h, n, v + static_cast<size_t>(r) * c, vh, c, ar[h]);
        }
    }
}

}  // namespace

// The bias row of the bordered system never takes part: its diagonal is 0,
// so it is left out of every elimination, and its own pivot, 0, is below any
// positive epsilon. Its pivot is only announced here.
void gauss_jordan_solve(double* a, int n, double* v, int c, double epsilon, bool progress)
{
    Progress p = {progress, 0, n + 1};
    eliminate(a, n, v, c, epsilon, &p);
    announce_pivot(&p, n);
}

void solve_kernel_system(double* a, int n, double* v, int c, double epsilon, bool progress)
{
    Progress p = {progress, 0, n + 1};
    std::vector<double> diagonal(n);
    for (int i = 0; i < n; i++)
        diagonal[i] = row_of(a, n, i)[i];
    if (cholesky_lower(a, n, epsilon, &p)) {
        cholesky_solve(a, n, v, c);
        announce_pivot(&p, n);
        return;
    }
    // Not positive definite to epsilon: back to the matrix as given (its upper
    // triangle is intact) and eliminate step by step.
    for (int i = 0; i < n; i++) {
        double* ai = row_of(a, n, i);
        for (int j = 0; j < i; j++)
            ai[j] = row_of(a, n, j)[i];
        ai[i] = diagonal[i];
    }
    eliminate(a, n, v, c, epsilon, &p);
    announce_pivot(&p, n);
}
