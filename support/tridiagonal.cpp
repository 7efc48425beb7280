// Householder tridiagonalisation of a symmetric matrix, working on its lower
// triangle packed row by row, and the implicit QL iteration on the tridiagonal form.
#include "support/tridiagonal.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <new>

#include "support/large_block.h"
#include "support/row_kernels.h"

namespace {

const double EPSILON = DBL_EPSILON;

// Where row i of the packed lower triangle begins: rows 0..i-1 before it
// hold 1 + 2 + ... + i entries.
size_t row_start(int i)
{
    return static_cast<size_t>(i) * (i + 1) / 2;
}
// The cap on QL iterations spent on any one eigenvalue.
const int ITERATIONS_PER_EIGENVALUE = 30;

// Entries of a's symmetric part are gathered in square blocks of this side,
// so that the block's columns read across rows stay in the first-level cache.
const int COPY_BLOCK = 32;

// (x + y) / 2 rounded once: the sum is exact where x and y are subnormal,
// and halving each first would round both away there; beyond half the
// largest real the sum could overflow, and halving first is exact.
inline double midpoint(double x, double y)
{
    const double half_max = 0.5 * DBL_MAX;
    if (std::fabs(x) < half_max && std::fabs(y) < half_max)
        return (x + y) * 0.5;
    return 0.5 * x + 0.5 * y;
}

// t->work's lower triangle := the symmetric part of a, block by block, and
// t's measures of a itself; returns the part's largest |entry|.
double copy_symmetric_part(const DataMatrix* a, TridiagonalForm* t)
{
    int n = a->rows;
    double largest = 0.0, entry = 0.0, asymmetry = 0.0;
    for (int i0 = 0; i0 < n; i0 += COPY_BLOCK)
        for (int j0 = 0; j0 <= i0; j0 += COPY_BLOCK)
            for (int i = i0; i < std::min(n, i0 + COPY_BLOCK); i++) {
                const double* by_row = &a->data[static_cast<size_t>(i) * n];
                double* row = &t->work[row_start(i)];
                for (int j = j0; j < std::min(i + 1, j0 + COPY_BLOCK); j++) {
                    double x = by_row[j], y = a->data[static_cast<size_t>(j) * n + i];
                    row[j] = midpoint(x, y);
                    largest = std::max(largest, std::fabs(row[j]));
                    entry = std::max(entry, std::max(std::fabs(x), std::fabs(y)));
                    asymmetry = std::max(asymmetry, std::fabs(x - y));
                }
            }
    t->largest_entry = entry;
    t->asymmetry = asymmetry;
    return largest;
}

// Copies the symmetric part of a into the lower triangle of t->work, scaled
// by a power of two (exact) so that its largest entry lies in [0.5, 1): no
// square or product formed below can overflow, whatever a's scale.
void copy_scaled_lower(const DataMatrix* a, TridiagonalForm* t)
{
    int n = a->rows;
    double largest = copy_symmetric_part(a, t);
    t->exponent = 0;
    if (largest > 0.0)
        std::frexp(largest, &t->exponent);
    // A product with 2^-exponent is exact where that factor is a normal
    // number; beyond (subnormal entries) ldexp takes the two steps.
    bool normal_factor = t->exponent > DBL_MIN_EXP && t->exponent < DBL_MAX_EXP - 1;
    double scale = std::ldexp(1.0, -t->exponent);
    for (int i = 0; i < n; i++) {
        double* row = &t->work[row_start(i)];
        for (int j = 0; j <= i; j++)
            row[j] = normal_factor ? row[j] * scale : std::ldexp(row[j], -t->exponent);
    }
    t->norm = std::ldexp(largest, -t->exponent);
}

// Euclidean norm of x[0..count), safe from underflow and overflow.
double scaled_norm(const double* x, int count)
{
    double largest = 0.0;
    for (int k = 0; k < count; k++)
        largest = std::fmax(largest, std::fabs(x[k]));
    if (largest == 0.0)
        return 0.0;
    double sum = 0.0;
    for (int k = 0; k < count; k++) {
        double r = x[k] / largest;
        sum += r * r;
    }
    return largest * std::sqrt(sum);
}

// Turns x[0..m] into the reflection vector v (v[m] = 1) of H = I - tau v v'
// with H x = g e_m; returns tau (0 when x[0..m-1] is already zero, H = I)
// and stores g.
double make_reflection(double* x, int m, double* g)
{
    double alpha = x[m];
    double below = scaled_norm(x, m);
    if (below == 0.0) {
        *g = alpha;
        return 0.0;
    }
    double norm = std::hypot(alpha, below);
    double beta = alpha >= 0.0 ? -norm : norm;
    double divisor = alpha - beta;
    for (int k = 0; k < m; k++)
        x[k] /= divisor;
    x[m] = 1.0;
    *g = beta;
    return (beta - alpha) / beta;
}

// p := tau * A v on the leading (m+1) x (m+1) block, whose lower triangle
// lies packed row by row in work: row r gives its entries left of the diagonal to
// p[r] (a dot product) and to p[0..r) (an update), so each row is read once,
// four rows to one pass over p.
void symmetric_times(const double* work, int m, const double* v, double tau, double* p)
{
    for (int r = 0; r <= m; r++)
        p[r] = 0.0;
    int r = 0;
    for (; r + 3 <= m; r += 4) {
        const double* row0 = work + row_start(r);
        const double* const rows[4] = {row0, row0 + r + 1, row0 + 2 * r + 3, row0 + 3 * r + 6};
        double dots[4];
        dot_and_add_four(rows, v, {v[r], v[r + 1], v[r + 2], v[r + 3]}, p, r, dots);
        // The block's own small triangle: columns r..r+3.
        for (int a = 0; a < 4; a++) {
            double dot = dots[a] + rows[a][r + a] * v[r + a];
            for (int c = r; c < r + a; c++) {
                dot += rows[a][c] * v[c];
                p[c] += rows[a][c] * v[r + a];
            }
            p[r + a] += dot;
        }
    }
    for (; r <= m; r++) {
        const double* row = work + row_start(r);
        p[r] += dot_and_add(row, v, v[r], p, r) + row[r] * v[r];
    }
    for (int k = 0; k <= m; k++)
        p[k] *= tau;
}

// Reductions whose two-sided updates of the leading block are deferred and
// then applied together, so the block is rewritten once per PANEL steps:
// step s's update is A := A - v_s q_s' - q_s v_s' with q_s = p_s - (tau v_s'p_s / 2) v_s
// and p_s = tau A v_s (A as updated by every earlier step).
const int PANEL = 32;
// The update of the held steps runs over tiles of 4 x 4 entries, a column
// range of this width at a time, so that the range's packed steps (256 x 64
// reals) stay in the second-level cache while the rows pass.
const int TILE_COLUMNS = 256;

struct Panel {
    int count = 0;              // steps held
    std::vector<double> vt;     // PANEL x n: row s holds v_s, zero beyond its length
    std::vector<double> qt;     // PANEL x n: row s holds q_s, zero beyond its length
    std::vector<double> left;   // groups of four rows: (v_s, q_s) for each step, each twice
    std::vector<double> right;  // groups of four columns: (q_s, v_s) for each step
};

// Row i, entries 0..i, brought up to date with the held steps (each of
// which is longer than i).
void update_row(const Panel& panel, int n, int i, double* row)
{
    int s = 0;
    for (; s + 2 <= panel.count; s += 2) {
        const double* v = &panel.vt[static_cast<size_t>(s) * n];
        const double* q = &panel.qt[static_cast<size_t>(s) * n];
        subtract_four_multiples(row, {v[i], q[i], v[i + n], q[i + n]}, {q, v, q + n, v + n}, i + 1);
    }
    for (; s < panel.count; s++) {
        const double* v = &panel.vt[static_cast<size_t>(s) * n];
        const double* q = &panel.qt[static_cast<size_t>(s) * n];
        subtract_two_multiples(row, v[i], q, q[i], v, i + 1);
    }
}

// q := tau A v on indices 0..m, A the stored block corrected by the held steps.
void product_with_held(const double* work, const Panel& panel, int n, int m, const double* v,
                       double tau, double* q)
{
    symmetric_times(work, m, v, 1.0, q);
    for (int s = 0; s < panel.count; s++) {
        const double* vs = &panel.vt[static_cast<size_t>(s) * n];
        const double* qs = &panel.qt[static_cast<size_t>(s) * n];
        subtract_two_multiples(q, dot_rows(qs, v, m + 1), vs, dot_rows(vs, v, m + 1), qs, m + 1);
    }
    for (int r = 0; r <= m; r++)
        q[r] *= tau;
}

// Holds step (v, tau) on indices 0..m: its q from the current block.
void hold_step(const double* work, Panel* panel, int n, int m, const double* v, double tau)
{
    double* vs = &panel->vt[static_cast<size_t>(panel->count) * n];
    double* qs = &panel->qt[static_cast<size_t>(panel->count) * n];
    product_with_held(work, *panel, n, m, v, tau, qs);
    double vp = 0.0;
    for (int r = 0; r <= m; r++)
        vp += v[r] * qs[r];
    double k = 0.5 * tau * vp;
    for (int r = 0; r <= m; r++) {
        qs[r] -= k * v[r];
        vs[r] = v[r];
    }
    for (int r = m + 1; r < n; r++)
        vs[r] = qs[r] = 0.0;
    panel->count++;
}

// Lays the held steps out for the tiles: for each group of four indices and
// each step s, the v_s entries and then the q_s entries of the four, each
// twice (left), or four q_s then four v_s entries (right); indices from rows
// on are zero.
void pack_steps(Panel* panel, int n, int rows)
{
    int depth = 2 * panel->count;
    for (int r = 0; r < (rows + 3) / 4 * 4; r++) {
        double* left = &panel->left[static_cast<size_t>(r / 4) * depth * 8 + 2 * (r % 4)];
        double* right = &panel->right[static_cast<size_t>(r / 4) * depth * 4 + r % 4];
        for (int s = 0; s < panel->count; s++) {
            double v = r < rows ? panel->vt[static_cast<size_t>(s) * n + r] : 0.0;
            double q = r < rows ? panel->qt[static_cast<size_t>(s) * n + r] : 0.0;
            left[16 * s] = left[16 * s + 1] = right[8 * s + 4] = v;
            left[16 * s + 8] = left[16 * s + 9] = right[8 * s] = q;
        }
    }
}

// A := A - sum over the held steps of (v_s q_s' + q_s v_s') on rows
// 0..rows-1 of the lower triangle, tile by tile; tiles that cross the
// diagonal or the last row change only their entries inside.
void release_panel(double* work, Panel* panel, int n, int rows)
{
    pack_steps(panel, n, rows);
    int depth = 2 * panel->count;
    for (int c0 = 0; c0 < rows; c0 += TILE_COLUMNS) {
        int end = std::min(rows, c0 + TILE_COLUMNS);
        for (int r0 = c0; r0 < rows; r0 += 4) {
            const double* left = &panel->left[static_cast<size_t>(r0 / 4) * depth * 8];
            for (int c = c0; c < end && c <= r0 + 3; c += 4) {
                const double* right = &panel->right[static_cast<size_t>(c / 4) * depth * 4];
                // Rows from rows on are never touched; they point at row r0.
                auto at = [&](int i) { return work + row_start(r0 + i < rows ? r0 + i : r0) + c; };
                double* const a[4] = {at(0), at(1), at(2), at(3)};
                if (c + 3 <= r0 && r0 + 3 < rows) {
                    four_by_four_products(left, right, depth, a, nullptr);
                    continue;
                }
                double out[4][4];
                four_by_four_products(left, right, depth, a, out);
                for (int i = 0; i < 4 && r0 + i < rows; i++)
                    for (int k = 0; k < 4 && c + k <= r0 + i; k++)
                        a[i][k] -= out[i][k];
            }
        }
    }
    panel->count = 0;
}

// One reflection H = I - tau v v' on y[0..length).
void reflect(const double* v, double tau, int length, double* y)
{
    subtract_multiple(y, tau * dot_rows(v, y, length), v, length);
}

// Plane rotations of QL steps, in the order they were made, held until
// they are applied together: each pass of the eigenvector rows through the
// cache then serves many steps rather than one.
struct Rotations {
    std::vector<int> index;      // rotation j acts on rows index[j] and index[j]+1
    std::vector<double> sine;    // its sine
    std::vector<double> cosine;  // its cosine
};

// Rotations held before they are applied, and the columns per piece: the
// rows' pieces of this width (n x 64 reals) stay in the second-level cache
// while all held rotations pass over them.
const size_t HELD_ROTATIONS = 16384;
const int ROTATION_COLUMNS = 64;

// Applies the held rotations to the block (rows of width entries) as the QL
// steps rotate columns i and i+1 of the eigenvector matrix, piece by piece
// of columns, and empties the record.
void apply_rotations(Rotations* rot, double* rows, int width)
{
    for (int k0 = 0; k0 < width; k0 += ROTATION_COLUMNS) {
        int piece = width - k0 < ROTATION_COLUMNS ? width - k0 : ROTATION_COLUMNS;
        for (size_t j = 0; j < rot->index.size(); j++) {
            double* ri = rows + static_cast<size_t>(rot->index[j]) * width + k0;
            rotate_pair_of_rows(ri, ri + width, rot->sine[j], rot->cosine[j], piece);
        }
    }
    rot->index.clear();
    rot->sine.clear();
    rot->cosine.clear();
}

// sqrt(x^2 + y^2): the plain formula, accurate to rounding while the sum of
// squares is a normal number, and hypot's slower scaling only beyond that.
double length_of(double x, double y)
{
    double sum = x * x + y * y;
    if (sum >= DBL_MIN && sum <= DBL_MAX)
        return std::sqrt(sum);
    return std::hypot(x, y);
}

// The first m >= l at which T splits (off[m] negligible next to its
// neighbours or to T's norm), or n - 1.
int split_point(const std::vector<double>& d, const std::vector<double>& e, int l, double tnorm)
{
    int n = static_cast<int>(d.size());
    int m = l;
    for (; m < n - 1; m++) {
        double neighbours = std::fabs(d[m]) + std::fabs(d[m + 1]);
        if (std::fabs(e[m]) <= EPSILON * neighbours || std::fabs(e[m]) <= EPSILON * tnorm)
            break;
    }
    return m;
}

// One implicit QL step with Wilkinson shift on the unreduced block l..m;
// its rotations are appended to rot (when given).
void ql_step(std::vector<double>& d, std::vector<double>& e, int l, int m, Rotations* rot)
{
    double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
    double r = length_of(g, 1.0);
    g = d[m] - d[l] + e[l] / (g + std::copysign(r, g));
    double s = 1.0, c = 1.0, p = 0.0;
    for (int i = m - 1; i >= l; i--) {
        double f = s * e[i], b = c * e[i];
        r = length_of(f, g);
        e[i + 1] = r;
        if (r == 0.0) {  // an exact split inside the block: deflate there
            d[i + 1] -= p;
            e[m] = 0.0;
            return;
        }
        s = f / r;
        c = g / r;
        g = d[i + 1] - p;
        r = (d[i] - g) * s + 2.0 * c * b;
        p = s * r;
        d[i + 1] = g + p;
        g = c * r - b;
        if (rot) {
            rot->index.push_back(i);
            rot->sine.push_back(s);
            rot->cosine.push_back(c);
        }
    }
    d[l] -= p;
    e[l] = g;
    e[m] = 0.0;
}

}  // namespace

void WorkBlockRelease::operator()(double* block) const
{
    std::free(block);
}

WorkBlock allocate_work_block(size_t count)
{
    void* block = allocate_block(count * sizeof(double));
    if (!block)
        throw std::bad_alloc();
    return WorkBlock(static_cast<double*>(block));
}

void reduce_to_tridiagonal(const DataMatrix* a, TridiagonalForm* t)
{
    int n = a->rows;
    t->n = n;
    // Only the lower triangle is ever written or read.
    t->work = allocate_work_block(row_start(n));
    t->beta.assign(n, 0.0);
    t->diag.assign(n, 0.0);
    t->off.assign(n, 0.0);
    copy_scaled_lower(a, t);
    Panel panel;
    panel.vt.assign(static_cast<size_t>(PANEL) * n, 0.0);
    panel.qt.assign(static_cast<size_t>(PANEL) * n, 0.0);
    panel.left.assign(static_cast<size_t>(n + 3) / 4 * 8 * 2 * PANEL, 0.0);
    panel.right.assign(panel.left.size() / 2, 0.0);
    double* work = t->work.get();
    for (int i = n - 1; i >= 1; i--) {
        double* v = work + row_start(i);
        update_row(panel, n, i, v);
        double g = 0.0;
        t->beta[i] = make_reflection(v, i - 1, &g);
        if (t->beta[i] != 0.0)
            hold_step(work, &panel, n, i - 1, v, t->beta[i]);
        t->off[i - 1] = g;
        t->diag[i] = v[i];
        if (panel.count == PANEL || i == 1)
            release_panel(work, &panel, n, i);
    }
    t->diag[0] = work[0];
}

bool tridiagonal_ql(const TridiagonalForm& t, std::vector<double>* values, double* rows, int width)
{
    std::vector<double>& d = *values;
    d = t.diag;
    std::vector<double> e = t.off;
    int n = t.n;
    double tnorm = 0.0;
    for (int i = 0; i < n; i++)
        tnorm = std::fmax(tnorm, std::fabs(d[i]) + std::fabs(e[i]) + (i ? std::fabs(e[i - 1]) : 0));
    Rotations rot;
    for (int l = 0; l < n; l++) {
        for (int iterations = 0;; iterations++) {
            int m = split_point(d, e, l, tnorm);
            if (m == l)
                break;
            if (iterations == ITERATIONS_PER_EIGENVALUE)
                return false;
            ql_step(d, e, l, m, rows ? &rot : nullptr);
            if (rows && rot.index.size() + n > HELD_ROTATIONS)
                apply_rotations(&rot, rows, width);
        }
    }
    if (rows)
        apply_rotations(&rot, rows, width);
    return true;
}

void reflections_transposed(const TridiagonalForm& t, double* rows)
{
    int n = t.n;
    for (size_t k = 0; k < static_cast<size_t>(n) * n; k++)
        rows[k] = 0.0;
    for (int i = 0; i < n; i++)
        rows[static_cast<size_t>(i) * n + i] = 1.0;
    // Q' = H_1 H_2 ... H_{n-1}, built as ((I H_1) H_2) ...: before H_i is
    // applied only rows 0..i-1 differ from the identity in columns 0..i-1.
    for (int i = 1; i < n; i++) {
        if (t.beta[i] == 0.0)
            continue;
        const double* v = &t.work[row_start(i)];
        for (int r = 0; r < i; r++)
            reflect(v, t.beta[i], i, rows + static_cast<size_t>(r) * n);
    }
}

void to_tridiagonal_basis(const TridiagonalForm& t, double* y)
{
    vectors_to_tridiagonal_basis(t, y, 1);
}

void vectors_to_tridiagonal_basis(const TridiagonalForm& t, double* y, int k)
{
    for (int i = t.n - 1; i >= 1; i--)
        if (t.beta[i] != 0.0)
            for (int c = 0; c < k; c++)
                reflect(&t.work[row_start(i)], t.beta[i], i, y + static_cast<size_t>(c) * t.n);
}

void from_tridiagonal_basis(const TridiagonalForm& t, double* y)
{
    for (int i = 1; i < t.n; i++)
        if (t.beta[i] != 0.0)
            reflect(&t.work[row_start(i)], t.beta[i], i, y);
}

void columns_from_tridiagonal_basis(const TridiagonalForm& t, double* block, int k)
{
    int n = t.n;
    std::vector<double> w(k);
    for (int i = 1; i < n; i++) {
        if (t.beta[i] == 0.0)
            continue;
        const double* v = &t.work[row_start(i)];
        for (int c = 0; c < k; c++)
            w[c] = 0.0;
        for (int r = 0; r < i; r++) {
            const double* row = block + static_cast<size_t>(r) * k;
            for (int c = 0; c < k; c++)
                w[c] += v[r] * row[c];
        }
        for (int c = 0; c < k; c++)
            w[c] *= t.beta[i];
        for (int r = 0; r < i; r++) {
            double* row = block + static_cast<size_t>(r) * k;
            for (int c = 0; c < k; c++)
                row[c] -= v[r] * w[c];
        }
    }
}
