// Blocked Cholesky factorisation (diagonal block, panel solve, trailing
// update in register tiles), the triangular solves over whole rows, the
// log-determinant and the diagonal case, all under one pivot rule.
#include "cholesky.h"

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

// The floor of each of the n pivots under the rule, from the diagonal as
// given (entry i at diagonal[i * stride]). fmax passes over a NaN entry,
// whose own pivot is refused anyway.
std::vector<double> pivot_floors(const double* diagonal, int n, size_t stride,
                                 const PivotRule& rule)
{
    double largest = 0.0;
    for (int i = 0; i < n; i++)
        largest = std::fmax(largest, diagonal[i * stride]);
    std::vector<double> floors(n, rule.factor);
    for (int i = 0; i < n; i++) {
        if (rule.scale == PivotScale::largest_diagonal)
            floors[i] = rule.factor * largest;
        else if (rule.scale == PivotScale::own_diagonal)
            floors[i] = rule.factor * std::fabs(diagonal[i * stride]);
    }
    return floors;
}

bool accepted(double pivot, double floor, bool inclusive)
{
    return std::isfinite(pivot) && pivot > 0.0 &&
           (pivot > floor || (inclusive && pivot == floor));
}

// How the factorisation tests its pivots and whom it tells.
struct PivotCheck {
    const double* floors;             // n: each pivot's floor
    bool inclusive;                   // a pivot equal to its floor passes
    const PivotListener* listener;    // told each pivot's index, or null
};

// One diagonal block k0..k0+kb-1 of the lower factor, unblocked. False at
// the first pivot the check refuses.
bool factor_diagonal_block(double* a, int n, int k0, int kb, const PivotCheck& check)
{
    for (int j = k0; j < k0 + kb; j++) {
        if (check.listener)
            check.listener->notify(check.listener->context, j);
        double* aj = row_of(a, n, j);
        double d = aj[j];
        for (int k = k0; k < j; k++)
            d -= aj[k] * aj[k];
        if (!accepted(d, check.floors[j], check.inclusive))
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
        int start = (i - t0) / 4 * 4 + t0;
        int from = start + 4 <= n ? t0 + (start - t0) / 8 * 8 : t0;
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

}  // namespace

bool cholesky_factor(DataMatrix* a, const PivotRule& rule, const PivotListener* listener)
{
    if (!a || a->rows != a->cols || a->rows < 0 || (a->rows > 0 && !a->data)) {
        print_message("cholesky_factor: the matrix is not square\n");
        return false;
    }
    int n = a->rows;
    std::vector<double> floors = pivot_floors(a->data, n, static_cast<size_t>(n) + 1, rule);
    PivotCheck check = {floors.data(), rule.inclusive, listener};
    std::vector<double> packed;
    for (int k0 = 0; k0 < n; k0 += block) {
        int kb = std::min(block, n - k0);
        if (!factor_diagonal_block(a->data, n, k0, kb, check))
            return false;
        solve_panel(a->data, n, k0, kb);
        if (k0 + kb == n)
            break;
        pack_panel(a->data, n, k0, kb, &packed);
        update_trailing(a->data, n, k0, kb, packed.data());
    }
    return true;
}

double cholesky_log_determinant(const DataMatrix* l)
{
    double sum = 0.0;
    for (int j = 0; j < l->rows; j++)
        sum += std::log(l->data[static_cast<size_t>(j) * l->cols + j]);
    return 2.0 * sum;
}

void cholesky_solve_lower(const DataMatrix* l, DataMatrix* b)
{
    int n = l->rows, r = b->cols;
    for (int i = 0; i < n; i++) {
        const double* li = l->data + static_cast<size_t>(i) * n;
        double* bi = b->data + static_cast<size_t>(i) * r;
        for (int k = 0; k < i; k++) {
            const double* bk = b->data + static_cast<size_t>(k) * r;
            for (int q = 0; q < r; q++)
                bi[q] -= li[k] * bk[q];
        }
        for (int q = 0; q < r; q++)
            bi[q] /= li[i];
    }
}

// From the last row up: row i is final once divided by L[i][i], and is then
// taken out of every earlier row at once, so L is read a row at a time.
void cholesky_solve_upper(const DataMatrix* l, DataMatrix* b)
{
    int n = l->rows, r = b->cols;
    for (int i = n - 1; i >= 0; i--) {
        const double* li = l->data + static_cast<size_t>(i) * n;
        double* bi = b->data + static_cast<size_t>(i) * r;
        for (int q = 0; q < r; q++)
            bi[q] /= li[i];
        for (int k = 0; k < i; k++) {
            double* bk = b->data + static_cast<size_t>(k) * r;
            for (int q = 0; q < r; q++)
                bk[q] -= li[k] * bi[q];
        }
    }
}

void cholesky_solve(const DataMatrix* l, DataMatrix* b)
{
    cholesky_solve_lower(l, b);
    cholesky_solve_upper(l, b);
}

bool invert_diagonal(const double* entries, int n, const PivotRule& rule, double* reciprocals,
                     double* logDeterminant)
{
    std::vector<double> floors = pivot_floors(entries, n, 1, rule);
    double logDet = 0.0;
    for (int i = 0; i < n; i++) {
        if (!accepted(entries[i], floors[i], rule.inclusive))
            return false;
        reciprocals[i] = 1.0 / entries[i];
        logDet += std::log(entries[i]);
    }
    *logDeterminant = logDet;
    return true;
}
