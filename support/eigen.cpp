// Eigenvalues through the matrix library, eigenvectors by inverse iteration
// on the least-squares pair, and the selection sort.
#include "eigen.h"

#include <cmath>
#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

#include "least_squares.h"
#include "matrix.h"
#include "meschach_bridge.h"
#include "random.h"
#include "tridiagonal.h"
#include "scriptrun/messages.h"

namespace {

// The shift added to each eigenvalue, and the change between two iterates
// below which inverse iteration stops.
const double SHIFT = 1e-10;
const double TOLERANCE = 1e-10;
// The library's eigen routines never return on NaN, and inverse iteration
// on bad eigenvalues need not converge; both are bounded here.
const int MAX_PASSES = 100000;

bool is_column(const DataMatrix* v, int rows)
{
    return v && v->data && v->rows == rows && v->cols == 1;
}

bool is_square(const DataMatrix* a)
{
    return a && a->data && a->rows > 0 && a->cols == a->rows;
}

bool all_finite(const DataMatrix* m)
{
    size_t count = matrix_entry_count(m->rows, m->cols);
    for (size_t t = 0; t < count; t++)
        if (!std::isfinite(m->data[t]))
            return false;
    return true;
}

// Reports NaN or infinity in any of the given inputs; true when all are finite.
bool inputs_finite(const char* routine, const DataMatrix* a, const DataMatrix* b = nullptr)
{
    if (all_finite(a) && (!b || all_finite(b)))
        return true;
    print_message("%s: the input holds NaN or infinity!\n", routine);
    return false;
}

// The library's Schur and symmetric iterations can fail to end on matrices
// whose entries lie far from 1 or span a huge range (their squares and
// fourth powers leave the range of doubles). Such a matrix is handed over
// scaled by a power of two (exact) so that its largest entry lies in
// [0.5, 1), with entries below 2^-200 of that set to 0, a change far below
// the rounding error of any eigenvalue; the eigenvalues are scaled back. Any
// other matrix is passed as it is.
const int SCALE_LIMIT = 32;
const int SPREAD_LIMIT = 200;

void scale_by_power_of_two(DataMatrix* m, int exponent)
{
    size_t count = matrix_entry_count(m->rows, m->cols);
    for (size_t t = 0; t < count; t++)
        m->data[t] = std::ldexp(m->data[t], exponent);
}

int binary_exponent(double x)
{
    int exponent = 0;
    std::frexp(x, &exponent);
    return exponent;
}

// Whether a must be conditioned; *exponent receives the exponent k of its
// largest |entry|, which lies in [2^(k-1), 2^k).
bool needs_conditioning(const DataMatrix* a, int* exponent)
{
    double largest = 0.0, smallest = INFINITY;
    size_t count = matrix_entry_count(a->rows, a->cols);
    for (size_t t = 0; t < count; t++) {
        double x = std::fabs(a->data[t]);
        largest = std::fmax(largest, x);
        if (x != 0.0)
            smallest = std::fmin(smallest, x);
    }
    if (largest == 0.0)
        return false;
    *exponent = binary_exponent(largest);
    return std::abs(*exponent) > SCALE_LIMIT ||
           binary_exponent(smallest) <= *exponent - SPREAD_LIMIT;
}

// a / 2^exponent with entries below 2^-SPREAD_LIMIT set to 0; null for no memory.
DataMatrix* conditioned_copy(const DataMatrix* a, int exponent)
{
    DataMatrix* copy = matrix_alloc(a->rows, a->cols);
    if (!copy)
        return nullptr;
    size_t count = matrix_entry_count(a->rows, a->cols);
    double floor = std::ldexp(1.0, -SPREAD_LIMIT);
    for (size_t t = 0; t < count; t++) {
        double x = std::ldexp(a->data[t], -exponent);
        copy->data[t] = std::fabs(x) < floor ? 0.0 : x;
    }
    return copy;
}

// compute(a) on a, or on a scaled copy with the outputs scaled back.
template <typename Compute>
EigenStatus compute_at_safe_scale(const DataMatrix* a,
                                  std::initializer_list<DataMatrix*> outputs, Compute compute)
{
    int exponent = 0;
    if (!needs_conditioning(a, &exponent))
        return compute(a);
    DataMatrix* scaled = conditioned_copy(a, exponent);
    if (!scaled)
        return EigenStatus::no_memory;
    EigenStatus status = compute(scaled);
    matrix_free(scaled);
    if (status == EigenStatus::done)
        for (DataMatrix* out : outputs)
            scale_by_power_of_two(out, exponent);
    return status;
}

// Prints why an eigenvalue computation left its outputs unchanged; 1 when
// it was done.
int report_status(const char* routine, EigenStatus status)
{
    if (status == EigenStatus::no_memory)
        print_message("%s: not enough memory!\n", routine);
    else if (status == EigenStatus::no_convergence)
        print_message("%s: the eigenvalue iteration does not converge\n", routine);
    return status == EigenStatus::done;
}

double distance(const DataMatrix* x, const DataMatrix* y)
{
    double sum = 0.0;
    for (int j = 0; j < x->rows; j++)
        sum += (y->data[j] - x->data[j]) * (y->data[j] - x->data[j]);
    return std::sqrt(sum);
}

void divide(DataMatrix* v, double by)
{
    for (int j = 0; j < v->rows; j++)
        v->data[j] /= by;
}

// B := (L + shift) I - a, drawing the start entry x[j] = 0.5 - r / 32767
// after building row j, one draw per row in row order.
void shifted_matrix_and_start(const DataMatrix* a, double L, DataMatrix* B, DataMatrix* x)
{
    int n = a->rows;
    for (int j = 0; j < n; j++) {
        const double* arow = matrix_row(a, j);
        double* brow = matrix_row(B, j);
        for (int c = 0; c < n; c++)
            brow[c] = -arow[c];
        brow[j] = (L - arow[j]) + SHIFT;
        x->data[j] = 0.5 - random15() / 32767.0;
    }
}

// Inverse iteration against the factorised B: y := B^-1 x normalised, until
// the change c = |y - x| is at most the tolerance or, after the first pass,
// no longer shrinks by more than it. Leaves the result in x; false when the
// factor is singular (x is then meaningless).
bool inverse_iteration(const DataMatrix* B, const DataMatrix* d, DataMatrix* x, DataMatrix* y)
{
    double previous = 0.0;
    for (int pass = 1; pass <= MAX_PASSES; pass++) {
        if (!multi_leastsquare(B, d, x, y))
            return false;
        divide(y, vector_norm(y));
        if (!all_finite(y)) {
            // Keep the last finite iterate, made unit (it may be the start).
            divide(x, vector_norm(x));
            return true;
        }
        double change = distance(x, y);
        matrix_copy(x, y);
        if (change <= TOLERANCE || (pass > 1 && previous - change <= TOLERANCE))
            return true;
        previous = change;
    }
    return true;
}

void store_column(DataMatrix* vecs, int i, const DataMatrix* x)
{
    double sign = x->data[0] < 0 ? -1.0 : 1.0;
    for (int j = 0; j < x->rows; j++)
        matrix_row(vecs, j)[i] = sign * x->data[j];
}

struct IterationWork {
    DataMatrix* B;  // n x n, the shifted matrix, then its QR form
    DataMatrix* d;  // n x 1, the QR form's diagonal part
    DataMatrix* x;  // n x 1, the current iterate
    DataMatrix* y;  // n x 1, the next iterate
};

void release(IterationWork& w)
{
    matrix_free(w.B);
    matrix_free(w.d);
    matrix_free(w.x);
    matrix_free(w.y);
}

bool allocate(IterationWork& w, int n)
{
    w = {matrix_alloc(n, n), matrix_alloc(n, 1), matrix_alloc(n, 1), matrix_alloc(n, 1)};
    if (w.B && w.d && w.x && w.y)
        return true;
    release(w);
    return false;
}

}  // namespace

// Selection sort: at step i the first position of the largest dir * v among
// i..n-1 is exchanged with i. Not stable.
int vector_sort(DataMatrix* v, DataMatrix* swaps, double dir)
{
    if (!v || !v->data || v->rows <= 0 || v->cols != 1 || (swaps && !is_column(swaps, v->rows))) {
        print_message("vector_sort: empty input or bad size!\n");
        return 0;
    }
    double* e = v->data;
    for (int i = 0; i < v->rows; i++) {
        int best = i;
        for (int j = i + 1; j < v->rows; j++)
            if (dir * e[j] > dir * e[best])
                best = j;
        if (best != i) {
            double held = e[i];
            e[i] = e[best];
            e[best] = held;
        }
        if (swaps)
            swaps->data[i] = best;
    }
    return v->rows;
}

int matrix_eigenvalues(const DataMatrix* a, DataMatrix* re, DataMatrix* im)
{
    if (!is_square(a) || !is_column(re, a->rows) || !is_column(im, a->rows)) {
        print_message("matrix_eigenvalues: empty input or bad size!\n");
        return 0;
    }
    if (!inputs_finite("matrix_eigenvalues", a))
        return 0;
    auto compute = [&](const DataMatrix* m) { return schur_eigenvalues(m, re, im); };
    return report_status("matrix_eigenvalues", compute_at_safe_scale(a, {re, im}, compute));
}

int matrix_eigenvalues_symm(const DataMatrix* a, DataMatrix* evals)
{
    if (!is_square(a) || !is_column(evals, a->rows)) {
        print_message("matrix_eigenvalues_symm: empty input or bad size!\n");
        return 0;
    }
    if (!inputs_finite("matrix_eigenvalues_symm", a))
        return 0;
    auto compute = [&](const DataMatrix* m) { return symmetric_eigenvalues(m, evals); };
    if (!report_status("matrix_eigenvalues_symm", compute_at_safe_scale(a, {evals}, compute)))
        return 0;
    vector_sort(evals, nullptr, 1);
    return 1;
}

// Inverse iteration with the fixed shift L + 1e-10 for each eigenvalue L; B
// is factorised once per eigenvalue. An eigenvalue whose shifted matrix has
// an exactly singular factor leaves its column unchanged.
void matrix_eigenvectors(const DataMatrix* a, const DataMatrix* evals, DataMatrix* vecs)
{
    if (!is_square(a) || !evals || !evals->data || evals->rows <= 0 ||
        !is_column(evals, evals->rows) || !vecs || !vecs->data || vecs->rows != a->rows ||
        vecs->cols != evals->rows) {
        print_message("matrix_eigenvectors: empty input or bad size!\n");
        return;
    }
    if (!inputs_finite("matrix_eigenvectors", a, evals))
        return;
    IterationWork w;
    if (!allocate(w, a->rows)) {
        print_message("matrix_eigenvectors: not enough memory!\n");
        return;
    }
    for (int i = 0; i < evals->rows; i++) {
        shifted_matrix_and_start(a, evals->data[i], w.B, w.x);
        init_leastsquare(w.B, w.d);
        if (inverse_iteration(w.B, w.d, w.x, w.y))
            store_column(vecs, i, w.x);
    }
    release(w);
}

namespace {

// Transposes the square n x n block in place.
void transpose_square(double* m, int n)
{
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++)
            std::swap(m[static_cast<size_t>(i) * n + j], m[static_cast<size_t>(j) * n + i]);
}

// Negates each column of the n x n block whose first entry is negative.
void first_entries_not_negative(DataMatrix* vectors)
{
    int n = vectors->rows;
    for (int c = 0; c < n; c++) {
        if (!(vectors->data[c] < 0.0))
            continue;
        for (int r = 0; r < n; r++)
            vectors->data[static_cast<size_t>(r) * n + c] *= -1.0;
    }
}

// The decomposition proper; vectors->data serves as the QL iteration's
// rotated rows (Q' at the start), so no second n x n work block is needed,
// and holds no eigenvectors after a refusal.
EigenStatus symmetric_decomposition(const DataMatrix* a, DataMatrix* values, DataMatrix* vectors)
{
    int n = a->rows;
    std::vector<double> found;
    int exponent = 0;
    {
        TridiagonalForm t;
        reduce_to_tridiagonal(a, &t);
        reflections_transposed(t, vectors->data);
        t.work = std::vector<double>();
        exponent = t.exponent;
        if (!tridiagonal_ql(t, &found, vectors->data, n))
            return EigenStatus::no_convergence;
    }
    transpose_square(vectors->data, n);
    first_entries_not_negative(vectors);
    for (int i = 0; i < n; i++)
        values->data[i] = std::ldexp(found[i], exponent);
    return EigenStatus::done;
}

}  // namespace

int matrix_eigens_symmetric(const DataMatrix* a, DataMatrix* values, DataMatrix* vectors)
{
    if (!is_square(a) || !is_column(values, a->rows) || !is_square(vectors) ||
        vectors->rows != a->rows) {
        print_message("matrix_eigens_symmetric: empty input or bad size!\n");
        return 0;
    }
    if (!inputs_finite("matrix_eigens_symmetric", a))
        return 0;
    EigenStatus status = EigenStatus::no_memory;
    try {
        status = symmetric_decomposition(a, values, vectors);
    } catch (const std::bad_alloc&) {
        status = EigenStatus::no_memory;
    }
    return report_status("matrix_eigens_symmetric", status);
}
