// Eigenvalues by the system's own capped iterations on reduced forms
// (tridiagonal for symmetric, Hessenberg for general matrices), eigenvectors
// by inverse iteration on the same reduced forms, and the selection sort.
#include "eigen.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "hessenberg.h"
#include "inverse_iteration.h"
#include "matrix.h"
#include "random.h"
#include "row_kernels.h"
#include "scriptrun/messages.h"
#include "tridiagonal.h"

namespace {

// Start vectors drawn and carried into the reduced basis together.
const int STARTS_AT_ONCE = 16;
// The shift added to each eigenvalue, relative to the matrix's largest entry.
const double SHIFT = 1e-10;
// Eigenvalues this close, relative to the largest entry, count as one
// repeated eigenvalue, whose vector may be any vector of their span: their
// spread widens the residual accepted (see RESIDUAL_ROUNDINGS).
const double COINCIDING = 1e-8;
// Eigenvalues this close, relative to the largest entry, form a cluster:
// each vector is kept orthogonal to the cluster's earlier ones during the
// iteration, since rounding alone leaves a vector a share of about
// eps |A| / gap of each close neighbour's.
const double CLUSTER = 1e-5;
// An eigenvector is accepted when |A v - L v| is within twice the shift
// plus this many times n roundings, all relative to A's largest entry, plus
// the spread of the eigenvalues that coincide with L: the shift bounds how
// well the iteration separates eigenvalues (the vector of a Jordan block
// settles at a residual about the shift, and that of a coinciding group may
// be any vector of the group's span), while a failed iteration leaves
// residuals far above.
const double RESIDUAL_ROUNDINGS = 16.0;

// How an eigen computation ended.
enum class EigenStatus {
    done,            // outputs written
    no_memory,       // work storage could not be had; outputs unchanged
    no_convergence,  // an eigenvalue iteration reached its cap
    overflow,        // an eigenvalue lies beyond the largest finite real
    out_of_range,    // a shifted matrix had a pivot that is not finite
    lost             // no iterate was accepted as an eigenvector of a
};

bool is_column(const DataMatrix* v, int rows)
{
    return v && v->data && v->rows == rows && v->cols == 1;
}

bool is_square(const DataMatrix* a)
{
    return a && a->data && a->rows > 0 && a->cols == a->rows;
}

// Reports NaN or infinity in any of the given inputs; true when all are finite.
bool inputs_finite(const char* routine, const DataMatrix* a, const DataMatrix* b = nullptr)
{
    if (all_finite(a) && (!b || all_finite(b)))
        return true;
    print_message("%s: the input holds NaN or infinity!\n", routine);
    return false;
}

// Prints why a computation stopped; 1 when it was done.
int report_status(const char* routine, EigenStatus status)
{
    if (status == EigenStatus::no_memory)
        print_message("%s: not enough memory!\n", routine);
    else if (status == EigenStatus::no_convergence)
        print_message("%s: the eigenvalue iteration does not converge\n", routine);
    else if (status == EigenStatus::overflow)
        print_message("%s: the eigenvalues overflow!\n", routine);
    else if (status == EigenStatus::out_of_range)
        print_message("%s: an eigenvalue is out of range!\n", routine);
    else if (status == EigenStatus::lost)
        print_message("%s: the inverse iteration found no eigenvector\n", routine);
    return status == EigenStatus::done;
}

// Runs compute, turning exhausted memory into its status.
template <typename Compute>
EigenStatus with_memory_check(Compute compute)
{
    try {
        return compute();
    } catch (const std::bad_alloc&) {
        return EigenStatus::no_memory;
    }
}

// Both eigen routines treat a as symmetric, reducing its symmetric part S,
// when n max|a_ij - a_ji| <= SHIFT max|a_ij|. The rest E = (a - a') / 2 has
// a 2-norm of at most n/2 times its largest entry, so it lifts the residual
// |a v - L v| of S's eigenvectors by at most half the shift, within what the
// iteration accepts anyway; rounding in forming a symmetric matrix (a
// product such as J K J) stays far below that.
bool counts_as_symmetric(double asymmetry, double largest, int n)
{
    return n * asymmetry <= SHIFT * largest;
}

// The same judgement made from a's entries.
bool judged_symmetric(const DataMatrix* a)
{
    int n = a->rows;
    double largest = 0.0, asymmetry = 0.0;
    size_t count = matrix_entry_count(n, n);
    for (size_t t = 0; t < count; t++)
        largest = std::fmax(largest, std::fabs(a->data[t]));
    for (int i = 0; i < n; i++)
        for (int j = 0; j < i; j++)
            asymmetry = std::fmax(asymmetry, std::fabs(a->data[static_cast<size_t>(i) * n + j] -
                                                       a->data[static_cast<size_t>(j) * n + i]));
    return counts_as_symmetric(asymmetry, largest, n);
}

// values := values * 2^exponent, back in a's scale from a reduced copy's;
// false when one overflows.
bool scaled_back(std::vector<double>& values, int exponent)
{
    for (double& v : values) {
        v = std::ldexp(v, exponent);
        if (!std::isfinite(v))
            return false;
    }
    return true;
}

EigenStatus general_eigenvalues(const DataMatrix* a, DataMatrix* re, DataMatrix* im)
{
    int n = a->rows;
    HessenbergForm h;
    reduce_to_hessenberg(a, true, &h);
    std::vector<double> real(n), imaginary(n);
    if (!hessenberg_eigenvalues(&h, real.data(), imaginary.data()))
        return EigenStatus::no_convergence;
    if (!scaled_back(real, h.exponent) || !scaled_back(imaginary, h.exponent))
        return EigenStatus::overflow;
    std::copy(real.begin(), real.end(), re->data);
    std::copy(imaginary.begin(), imaginary.end(), im->data);
    return EigenStatus::done;
}

// A hash of every entry's bits (FNV-1a on whole words): with the storage and
// the order it tells the matrix a kept reduction was made from.
uint64_t fingerprint_of(const DataMatrix* a)
{
    uint64_t hash = 14695981039346656037ULL;
    size_t count = matrix_entry_count(a->rows, a->cols);
    for (size_t t = 0; t < count; t++) {
        uint64_t bits;
        std::memcpy(&bits, &a->data[t], sizeof bits);
        hash = (hash ^ bits) * 1099511628211ULL;
    }
    return hash;
}

// The kept form when it was made from a itself, else null.
const TridiagonalForm* kept_form_of(const KeptReduction* kept, const DataMatrix* a)
{
    if (!kept || !kept->form || kept->entries != a->data || kept->n != a->rows ||
        kept->fingerprint != fingerprint_of(a))
        return nullptr;
    return kept->form.get();
}

// Eigenvalues through the tridiagonal form, which keep (when given) receives
// along with what identifies a.
EigenStatus symmetric_eigenvalues(const DataMatrix* a, DataMatrix* evals, KeptReduction* keep)
{
    auto t = std::make_unique<TridiagonalForm>();
    reduce_to_tridiagonal(a, t.get());
    if (!keep)
        t->work.reset();
    std::vector<double> found;
    if (!tridiagonal_ql(*t, &found, nullptr, 0))
        return EigenStatus::no_convergence;
    if (!scaled_back(found, t->exponent))
        return EigenStatus::overflow;
    std::copy(found.begin(), found.end(), evals->data);
    if (keep) {
        keep->entries = a->data;
        keep->n = a->rows;
        keep->fingerprint = fingerprint_of(a);
        keep->symmetric = counts_as_symmetric(t->asymmetry, t->largest_entry, a->rows);
        keep->form = std::move(t);
    }
    return EigenStatus::done;
}

// Draws the start vector x[j] = 0.5 - r / 32767, one draw per row in row order.
void draw_start(std::vector<double>& x)
{
    for (double& v : x)
        v = 0.5 - random15() / 32767.0;
}

// The unit for shifts and coincidence: the reduced copy's largest entry, or
// 1 for a zero matrix.
double unit_of(double norm)
{
    return norm > 0.0 ? norm : 1.0;
}

// Column i of the n x k block (row by row) := x.
void store_column(DataMatrix* block, int i, const double* x)
{
    for (int r = 0; r < block->rows; r++)
        block->data[static_cast<size_t>(r) * block->cols + i] = x[r];
}

// Makes y orthogonal to the given earlier columns of block (columns in the
// reduced basis).
void orthogonalise_against(const DataMatrix* block, const std::vector<int>& columns, double* y)
{
    int n = block->rows, k = block->cols;
    for (int c : columns) {
        double dot = 0.0;
        for (int r = 0; r < n; r++)
            dot += block->data[static_cast<size_t>(r) * k + c] * y[r];
        for (int r = 0; r < n; r++)
            y[r] -= dot * block->data[static_cast<size_t>(r) * k + c];
    }
}

// The earlier columns j < i whose eigenvalues lie within tolerance of
// values[i].
std::vector<int> coinciding_before(const std::vector<double>& values, int i, double tolerance)
{
    std::vector<int> columns;
    for (int j = 0; j < i; j++)
        if (std::fabs(values[j] - values[i]) <= tolerance)
            columns.push_back(j);
    return columns;
}

// The largest distance from values[i] to a value within tolerance of it.
double coinciding_spread(const std::vector<double>& values, int i, double tolerance)
{
    double spread = 0.0;
    for (double v : values) {
        double distance = std::fabs(v - values[i]);
        if (distance <= tolerance)
            spread = std::fmax(spread, distance);
    }
    return spread;
}

// The spacing of the subnormal numbers, DBL_TRUE_MIN, in the scale of a
// form that holds a times 2^-exponent: how finely an eigenvalue of a that
// small is known at best.
double subnormal_spacing(int exponent)
{
    return std::ldexp(DBL_TRUE_MIN, -exponent);
}

// The eigenvalues in the scale of a form that holds a times 2^-exponent.
std::vector<double> in_form_scale(const DataMatrix* evals, int exponent)
{
    std::vector<double> values(evals->rows);
    for (int i = 0; i < evals->rows; i++)
        values[i] = std::ldexp(evals->data[i], -exponent);
    return values;
}

// An eigenvalue given among the subnormal numbers is known only to their
// spacing, coarser than the shift that tells its eigenvector from its
// neighbours', so that a vector mixed from eigenvalues a spacing apart would
// pass. Each such value is replaced by the nearest of the form's own
// eigenvalues (own, each taken once) within one spacing of it; which ones
// were is marked in refined.
void refine_coarse_values(std::vector<double>& values, std::vector<double> own, double spacing,
                          std::vector<char>* refined)
{
    refined->assign(values.size(), 0);
    for (size_t i = 0; i < values.size(); i++) {
        size_t nearest = own.size();
        for (size_t j = 0; j < own.size(); j++)
            if (nearest == own.size() ||
                std::fabs(own[j] - values[i]) < std::fabs(own[nearest] - values[i]))
                nearest = j;
        if (nearest == own.size() || !(std::fabs(own[nearest] - values[i]) <= spacing))
            continue;
        values[i] = own[nearest];
        (*refined)[i] = 1;
        own.erase(own.begin() + static_cast<long>(nearest));
    }
}

// Negates each column of the block whose first entry is negative.
void first_entries_not_negative(DataMatrix* block)
{
    for (int c = 0; c < block->cols; c++) {
        if (!(block->data[c] < 0.0))
            continue;
        for (int r = 0; r < block->rows; r++)
            block->data[static_cast<size_t>(r) * block->cols + c] *= -1.0;
    }
}

// What the eigenvector loop needs of a reduced form, all in its scale.
struct ReducedForm {
    int exponent;                                   // a = 2^exponent (reduced copy)
    double unit;                                    // the copy's largest entry (1 if zero)
    std::vector<double> values;                     // the eigenvalues the shifts follow
    std::vector<char> refined;                      // 1: values[i] is the form's own
    std::function<void(double*, int)> to_basis;     // x := Q' x for k vectors one after another
    std::function<void(double*, int)> from_basis;   // each of k columns (n x k block) := Q column
    std::function<bool(double)> factor;             // factors the form less sigma I
    std::function<void(double*)> solve;             // x := (form - sigma I)^-1 x
    std::function<void(int, double*)> orthogonalise;  // against eigenvalue i's companions
    std::function<double(double, const double*)> residual;  // |(form - L I) x| for L, x
    std::function<double(int)> spread;  // coinciding_spread of eigenvalue i, form's scale
};

// The residual |(form - L I) x| at which a vector for the given evals[i] is
// accepted. An eigenvalue given as a subnormal number is known only to the
// spacing of those numbers, which is coarse next to a matrix that small, and
// no vector can do better than that.
double accepted_residual(const ReducedForm& form, int i, int n)
{
    return (2.0 * SHIFT + RESIDUAL_ROUNDINGS * n * DBL_EPSILON) * form.unit + form.spread(i) +
           subnormal_spacing(form.exponent);
}

// The residual at which the iteration accepts a vector for values[i]: that
// of the given value, but without the spacing where the value is the form's
// own eigenvalue, so that the vector is found as precisely as at any scale.
double iteration_residual(const ReducedForm& form, int i, int n)
{
    return accepted_residual(form, i, n) -
           (form.refined[i] ? subnormal_spacing(form.exponent) : 0.0);
}

// For each eigenvalue: the start vector drawn in a's basis and carried into
// the reduced one, the shifted form factored once, inverse iteration; the
// reduced vectors land in vecs, which the caller carries back. The start
// vectors are drawn and carried over a few at a time, in the order of their
// eigenvalues, so that each pass over the reflections serves several.
EigenStatus iterate_each(const ReducedForm& form, const DataMatrix* evals, DataMatrix* vecs)
{
    int n = vecs->rows, k = evals->rows;
    std::vector<double> starts(static_cast<size_t>(std::min(k, STARTS_AT_ONCE)) * n), y(n);
    for (int first = 0; first < k; first += STARTS_AT_ONCE) {
        int count = std::min(k - first, STARTS_AT_ONCE);
        starts.resize(static_cast<size_t>(count) * n);
        draw_start(starts);
        form.to_basis(starts.data(), count);
        for (int i = first; i < first + count; i++) {
            double* x = &starts[static_cast<size_t>(i - first) * n];
            double value = form.values[i];
            if (!form.factor(value + SHIFT * form.unit))
                return EigenStatus::out_of_range;
            IterationSteps steps{form.solve, [&](double* v) { form.orthogonalise(i, v); },
                                 [&](const double* v) { return form.residual(value, v); }};
            if (inverse_iteration(steps, iteration_residual(form, i, n), x, y.data(), n) !=
                IterationEnd::converged)
                return EigenStatus::lost;
            store_column(vecs, i, x);
        }
    }
    return EigenStatus::done;
}

// |a v_c - L_c v_c| for each column v_c of the n x k block and L_c =
// evals[c], with a and the values taken times 2^-exponent, a reduced copy's
// scale, where nothing overflows or sinks among the subnormal numbers. The
// factor is applied as two halves, each a normal number, so that each
// product is exact wherever its result is normal.
std::vector<double> residuals_against(const DataMatrix* a, const DataMatrix* evals,
                                      const DataMatrix* block, int exponent)
{
    int n = a->rows, k = block->cols;
    int half = -exponent / 2;
    double first = std::ldexp(1.0, half), second = std::ldexp(1.0, -exponent - half);
    // The columns laid out one after another, so each is a contiguous row.
    std::vector<double> columns(matrix_entry_count(k, n));
    for (int r = 0; r < n; r++)
        for (int c = 0; c < k; c++)
            columns[static_cast<size_t>(c) * n + r] = block->data[static_cast<size_t>(r) * k + c];
    std::vector<double> values(k), row(n), squares(k, 0.0);
    for (int c = 0; c < k; c++)
        values[c] = std::ldexp(evals->data[c], -exponent);
    for (int r = 0; r < n; r++) {
        const double* entries = &a->data[static_cast<size_t>(r) * n];
        for (int j = 0; j < n; j++)
            row[j] = entries[j] * first * second;
        for (int c = 0; c < k; c++) {
            const double* v = &columns[static_cast<size_t>(c) * n];
            double d = dot_rows(row.data(), v, n) - values[c] * v[r];
            squares[c] += d * d;
        }
    }
    for (double& s : squares)
        s = std::sqrt(s);
    return squares;
}

// Inverse iteration on the form, the vectors carried back to a's basis and
// each checked against a itself, whatever form it was found on (the kept
// form of a matrix with a's fingerprint, or that of a's symmetric part): it
// must meet the residual the iteration accepted, with room for the rounding
// of the reduction and of this product. The check costs O(n^2 k), a small
// share of the reduction's O(n^3).
EigenStatus vectors_on(const ReducedForm& form, const DataMatrix* a, const DataMatrix* evals,
                       DataMatrix* vecs)
{
    EigenStatus status = iterate_each(form, evals, vecs);
    if (status != EigenStatus::done)
        return status;
    int n = a->rows;
    form.from_basis(vecs->data, vecs->cols);
    std::vector<double> residuals = residuals_against(a, evals, vecs, form.exponent);
    double rounding = RESIDUAL_ROUNDINGS * n * DBL_EPSILON * form.unit;
    for (int i = 0; i < evals->rows; i++)
        if (!(residuals[i] <= accepted_residual(form, i, n) + rounding))
            return EigenStatus::lost;
    first_entries_not_negative(vecs);
    return EigenStatus::done;
}

// Inverse iteration on the tridiagonal form of a's symmetric part (kept, or
// made here when kept is null); vectors of clustered eigenvalues are kept
// orthogonal to each other.
EigenStatus symmetric_vectors(const DataMatrix* a, const DataMatrix* evals, DataMatrix* vecs,
                              const TridiagonalForm* kept)
{
    TridiagonalForm fresh;
    if (!kept)
        reduce_to_tridiagonal(a, &fresh);
    const TridiagonalForm& t = kept ? *kept : fresh;
    TridiagonalLu lu;
    double unit = unit_of(t.norm);
    ReducedForm form{
        t.exponent, unit, in_form_scale(evals, t.exponent), {},
        [&](double* x, int k) { vectors_to_tridiagonal_basis(t, x, k); },
        [&](double* block, int k) { columns_from_tridiagonal_basis(t, block, k); },
        [&](double sigma) { return factor_tridiagonal(t.diag, t.off, sigma, &lu); },
        [&](double* x) { solve_tridiagonal(lu, x); },
        [&](int i, double* v) {
            orthogonalise_against(vecs, coinciding_before(form.values, i, CLUSTER * unit), v);
        },
        [&](double value, const double* x) {
            return tridiagonal_residual(t.diag, t.off, value, x);
        },
        [&](int i) { return coinciding_spread(form.values, i, COINCIDING * unit); }};
    std::vector<double> own;
    if (subnormal_spacing(t.exponent) > SHIFT * unit && tridiagonal_ql(t, &own, nullptr, 0))
        refine_coarse_values(form.values, own, subnormal_spacing(t.exponent), &form.refined);
    else
        form.refined.assign(form.values.size(), 0);
    return vectors_on(form, a, evals, vecs);
}

// The same on the Hessenberg form of a general matrix (not balanced, so the
// reduction is orthogonal and the iteration's measures are a's own).
EigenStatus general_vectors(const DataMatrix* a, const DataMatrix* evals, DataMatrix* vecs)
{
    HessenbergForm h;
    reduce_to_hessenberg(a, false, &h);
    HessenbergLu lu;
    ReducedForm form{h.exponent, unit_of(h.norm), in_form_scale(evals, h.exponent),
                     std::vector<char>(evals->rows, 0),
                     [&](double* x, int k) {
                         for (int i = 0; i < k; i++)
                             to_hessenberg_basis(h, x + static_cast<size_t>(i) * h.n);
                     },
                     [&](double* block, int k) { columns_from_hessenberg_basis(h, block, k); },
                     [&](double sigma) { return factor_hessenberg(h, sigma, &lu); },
                     [&](double* x) { solve_hessenberg(lu, x); }, [](int, double*) {},
                     [&](double value, const double* x) { return hessenberg_residual(h, value, x); },
                     [](int) { return 0.0; }};
    return vectors_on(form, a, evals, vecs);
}

// The vectors into a work block of vecs' shape, copied into vecs only when
// every one was accepted, so that a refusal leaves vecs as it was. a counts
// as symmetric as the eigenvalue call that kept a form judged it.
EigenStatus eigenvectors_of(const DataMatrix* a, const DataMatrix* evals, DataMatrix* vecs,
                            const KeptReduction* kept)
{
    std::vector<double> found(matrix_entry_count(vecs->rows, vecs->cols));
    DataMatrix block{vecs->rows, vecs->cols, found.data()};
    const TridiagonalForm* form = kept_form_of(kept, a);
    bool symmetric = form ? kept->symmetric : judged_symmetric(a);
    EigenStatus status = symmetric ? symmetric_vectors(a, evals, &block, form)
                                   : general_vectors(a, evals, &block);
    if (status == EigenStatus::done)
        std::copy(found.begin(), found.end(), vecs->data);
    return status;
}

// Transposes the square n x n block in place.
void transpose_square(double* m, int n)
{
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++)
            std::swap(m[static_cast<size_t>(i) * n + j], m[static_cast<size_t>(j) * n + i]);
}

// The whole decomposition; vectors->data serves as the QL iteration's
// rotated rows (Q' at the start), so no second n x n work block is needed,
// and holds no eigenvectors after a refusal.
EigenStatus symmetric_decomposition(const DataMatrix* a, DataMatrix* values, DataMatrix* vectors)
{
    int n = a->rows;
    std::vector<double> found;
    TridiagonalForm t;
    reduce_to_tridiagonal(a, &t);
    reflections_transposed(t, vectors->data);
    t.work.reset();
    if (!tridiagonal_ql(t, &found, vectors->data, n))
        return EigenStatus::no_convergence;
    if (!scaled_back(found, t.exponent))
        return EigenStatus::overflow;
    transpose_square(vectors->data, n);
    first_entries_not_negative(vectors);
    std::copy(found.begin(), found.end(), values->data);
    return EigenStatus::done;
}

}  // namespace

KeptReduction::KeptReduction() = default;
KeptReduction::~KeptReduction() = default;

void KeptReduction::release()
{
    form.reset();
}

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
    return report_status("matrix_eigenvalues",
                         with_memory_check([&] { return general_eigenvalues(a, re, im); }));
}

int matrix_eigenvalues_symm(const DataMatrix* a, DataMatrix* evals, KeptReduction* keep)
{
    if (keep)
        keep->release();
    if (!is_square(a) || !is_column(evals, a->rows)) {
        print_message("matrix_eigenvalues_symm: empty input or bad size!\n");
        return 0;
    }
    if (!inputs_finite("matrix_eigenvalues_symm", a))
        return 0;
    EigenStatus status = with_memory_check([&] { return symmetric_eigenvalues(a, evals, keep); });
    if (!report_status("matrix_eigenvalues_symm", status))
        return 0;
    vector_sort(evals, nullptr, 1);
    return 1;
}

// Inverse iteration with the shift L + 1e-10 |a| for each eigenvalue L, on
// the tridiagonal form of a symmetric a or the Hessenberg form of any other.
int matrix_eigenvectors(const DataMatrix* a, const DataMatrix* evals, DataMatrix* vecs,
                        const KeptReduction* kept)
{
    if (!is_square(a) || !evals || !evals->data || evals->rows <= 0 ||
        !is_column(evals, evals->rows) || !vecs || !vecs->data || vecs->rows != a->rows ||
        vecs->cols != evals->rows) {
        print_message("matrix_eigenvectors: empty input or bad size!\n");
        return 0;
    }
    if (!inputs_finite("matrix_eigenvectors", a, evals))
        return 0;
    return report_status("matrix_eigenvectors",
                         with_memory_check([&] { return eigenvectors_of(a, evals, vecs, kept); }));
}

int matrix_eigens_symmetric(const DataMatrix* a, DataMatrix* values, DataMatrix* vectors)
{
    if (!is_square(a) || !is_column(values, a->rows) || !is_square(vectors) ||
        vectors->rows != a->rows) {
        print_message("matrix_eigens_symmetric: empty input or bad size!\n");
        return 0;
    }
    if (!inputs_finite("matrix_eigens_symmetric", a))
        return 0;
    return report_status("matrix_eigens_symmetric", with_memory_check([&] {
                             return symmetric_decomposition(a, values, vectors);
                         }));
}
