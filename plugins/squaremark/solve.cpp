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

// The panel under the diagonal block: L21 = A21 * L11^-T, row by row, each
// row by forward substitution that subtracts a solved value from the rest
// of the row at once (a contiguous update through lt, L11 transposed).
void solve_panel(double* a, int n, int k0, int kb)
{
    std::vector<double> lt(static_cast<size_t>(kb) * kb, 0.0);
    for (int j = 0; j < kb; j++)
        for (int q = j; q < kb; q++)
            lt[static_cast<size_t>(j) * kb + q] = row_of(a, n, k0 + q)[k0 + j];
    for (int i = k0 + kb; i < n; i++) {
        double* __restrict x = row_of(a, n, i) + k0;
        for (int j = 0; j < kb; j++) {
            const double* __restrict column = lt.data() + static_cast<size_t>(j) * kb;
            x[j] /= column[j];
            for (int q = j + 1; q < kb; q++)
                x[q] -= x[j] * column[q];
        }
    }
}

// Four doubles handled as one value (never passed to or returned from a
// function, so no calling convention depends on the instruction set).
typedef double Lanes __attribute__((vector_size(32)));

// rows[r][j0 + q] -= sum_k panel[r][k] * tile[k][q] for 4 rows and 8
// columns: the eight accumulators stay in registers over the whole panel,
// and the tile (kb x 8, packed) is read contiguously.
__attribute__((always_inline)) inline void update_tile(double* const* rows,
                                                       const double* const* panel,
                                                       const double* tile, int kb, int j0)
{
    Lanes acc[4][2] = {};
    for (int k = 0; k < kb; k++) {
        Lanes p0, p1;
        __builtin_memcpy(&p0, tile + k * 8, sizeof p0);
        __builtin_memcpy(&p1, tile + k * 8 + 4, sizeof p1);
        for (int r = 0; r < 4; r++) {
            double f = panel[r][k];
            acc[r][0] += f * p0;
            acc[r][1] += f * p1;
        }
    }
    for (int r = 0; r < 4; r++) {
        Lanes low, high;
        __builtin_memcpy(&low, rows[r] + j0, sizeof low);
        __builtin_memcpy(&high, rows[r] + j0 + 4, sizeof high);
        low -= acc[r][0];
        high -= acc[r][1];
        __builtin_memcpy(rows[r] + j0, &low, sizeof low);
        __builtin_memcpy(rows[r] + j0 + 4, &high, sizeof high);
    }
}

// A[i][j] -= L[i][k0..] . L[j][k0..] for one row and columns from..to.
void update_row_part(double* a, int n, int k0, int kb, int i, int from, int to)
{
    const double* li = row_of(a, n, i) + k0;
    for (int j = from; j <= to; j++) {
        const double* lj = row_of(a, n, j) + k0;
        double s = 0.0;
        for (int k = 0; k < kb; k++)
            s += li[k] * lj[k];
        row_of(a, n, i)[j] -= s;
    }
}

// Trailing update of the lower triangle from column t0 = k0 + kb on:
// A[i][j] -= L[i][k0..] . L[j][k0..] for t0 <= j <= i. packed holds the
// panel's rows t0.. transposed in tiles of 8 columns (kb x 8 each). Blocks
// of 4 rows take whole tiles left of their diagonal, a chunk of tiles at a
// time so that the chunk stays in cache; the rest is done row by row.
#if defined(__x86_64__) && !defined(__clang__)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
void update_trailing(double* a, int n, int k0, int kb, const double* packed)
{
    const int chunk = 32;  // tiles per pass over the rows
    int t0 = k0 + kb, tiles = (n - t0 + 7) / 8;
    for (int c0 = 0; c0 < tiles; c0 += chunk) {
        for (int i = t0; i + 4 <= n; i += 4) {
            int full = (i - t0) / 8;
            if (full <= c0)
                continue;
            double* rows[4];
            const double* panel[4];
            for (int r = 0; r < 4; r++) {
                rows[r] = row_of(a, n, i + r) + t0;
                panel[r] = row_of(a, n, i + r) + k0;
            }
            int last = full < c0 + chunk ? full : c0 + chunk;
            for (int t = c0; t < last; t++)
                update_tile(rows, panel, packed + static_cast<size_t>(t) * kb * 8, kb, t * 8);
        }
    }
    for (int i = t0; i < n; i++) {
        int block = (i - t0) / 4 * 4 + t0;
        int from = block + 4 <= n ? t0 + (block - t0) / 8 * 8 : t0;
        update_row_part(a, n, k0, kb, i, from, i);
    }
}

// The panel's rows t0.. (columns k0..k0+kb-1) transposed into tiles of 8
// rows: tile t holds packed[t][k][q] = L[t0 + 8t + q][k0 + k], zero past n.
void pack_panel(const double* a, int n, int k0, int kb, std::vector<double>* packed)
{
    int t0 = k0 + kb, tiles = (n - t0 + 7) / 8;
    packed->assign(static_cast<size_t>(tiles) * kb * 8, 0.0);
    for (int j = t0; j < n; j++) {
        const double* lj = a + static_cast<size_t>(j) * n + k0;
        double* tile = packed->data() + static_cast<size_t>((j - t0) / 8) * kb * 8 + (j - t0) % 8;
        for (int k = 0; k < kb; k++)
            tile[k * 8] = lj[k];
    }
}

// Lower Cholesky factor in place; the strict upper triangle is not touched.
bool cholesky_lower(double* a, int n, double epsilon, Progress* progress)
{
    std::vector<double> packed;
    for (int k0 = 0; k0 < n; k0 += block) {
        int kb = std::min(block, n - k0);
        if (!factor_diagonal_block(a, n, k0, kb, epsilon, progress))
            return false;
        solve_panel(a, n, k0, kb);
        if (k0 + kb == n)
            break;
        pack_panel(a, n, k0, kb, &packed);
        update_trailing(a, n, k0, kb, packed.data());
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
