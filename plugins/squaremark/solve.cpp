// Solving the least-squares machine's system. The elimination is run as a
// Gauss-Jordan sweep only when some pivot falls below epsilon; otherwise the
// system is positive definite, every Gauss-Jordan pivot equals the square of
// a Cholesky diagonal, no row is ever skipped, and the blocked Cholesky
// factorisation gives the same solution with a third of the arithmetic.
#include "plugins/squaremark/solve.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "scriptrun/messages.h"
#include "support/cholesky.h"

namespace {

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

// The factorisation's pivots announced as the elimination's would be.
void notify_pivot(void* context, int pivot)
{
    announce_pivot(static_cast<Progress*>(context), pivot);
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
    DataMatrix system = {n, n, a}, sides = {n, c, v};
    // Gauss-Jordan's own test: a pivot of at least epsilon is used.
    PivotRule rule = {PivotScale::absolute, epsilon, true};
    PivotListener listener = {notify_pivot, &p};
    if (cholesky_factor(&system, rule, &listener)) {
        cholesky_solve(&system, &sides);
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
