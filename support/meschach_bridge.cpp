// The one source that includes the matrix library: views, copies, and the
// guarded calls into its QR and LU routines.
#include "meschach_bridge.h"

#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <setjmp.h>

extern "C" {
#include <meschach/matrix.h>
#include <meschach/matrix2.h>
}
#undef catch
#undef min
#undef max

namespace {

MAT* as_lib(MatView* m) { return reinterpret_cast<MAT*>(m); }
const MAT* as_lib(const MatView* m) { return reinterpret_cast<const MAT*>(m); }
VEC* as_lib(VecView* v) { return reinterpret_cast<VEC*>(v); }
MatView* as_view(MAT* m) { return reinterpret_cast<MatView*>(m); }
VecView* as_view(VEC* v) { return reinterpret_cast<VecView*>(v); }

// The library indexes with int arithmetic and keeps sizes in unsigned ints,
// so a matrix it sees must have at most INT_MAX entries.
bool fits_library(const DataMatrix* m)
{
    return m && m->rows > 0 && m->cols > 0 && m->data &&
           static_cast<long long>(m->rows) * m->cols <= INT_MAX;
}

// Runs body with the library's error handler set to print its report and
// jump back here; the jump ends the process with status 1, so a library
// error is fatal as before but no longer reports success.
template <typename Body>
void guarded(Body body)
{
    jmp_buf outer;
    std::memcpy(outer, restart, sizeof outer);
    int previous = set_err_flag(EF_JUMP);
    if (setjmp(restart) != 0) {
        std::fflush(nullptr);
        std::exit(1);
    }
    body();
    set_err_flag(previous);
    std::memcpy(restart, outer, sizeof outer);
}

VEC* library_vector(int n)
{
    VEC* v = nullptr;
    guarded([&] { v = v_get(n); });
    return v;
}

void free_library_vector(VEC* v)
{
    if (v)
        guarded([&] { v_free(v); });
}

// Copies m's entries into the library matrix copy of the same shape.
void fill_from(MAT* copy, const DataMatrix* m)
{
    for (int i = 0; i < m->rows; i++)
        std::memcpy(copy->me[i], m->data + static_cast<size_t>(i) * m->cols,
                    sizeof(Real) * m->cols);
}

}  // namespace

struct LuFactors {
    MAT* lu;        // n x n copy holding L below and U on and above the diagonal
    PERM* pivot;    // row exchanges of the partial pivoting
    VEC* unit;      // right-hand side e_i, n entries
    VEC* solution;  // last solution, n entries; null before the first solve
};

MatView* matrix_as_mat(const DataMatrix* m)
{
    if (!fits_library(m))
        return nullptr;
    MAT* view = static_cast<MAT*>(std::calloc(1, sizeof(MAT)));
    if (!view)
        return nullptr;
    view->me = static_cast<Real**>(std::malloc(sizeof(Real*) * m->rows));
    if (!view->me) {
        std::free(view);
        return nullptr;
    }
    view->m = view->max_m = m->rows;
    view->n = view->max_n = m->cols;
    view->max_size = m->rows * m->cols;
    view->base = m->data;
    for (int i = 0; i < m->rows; i++)
        view->me[i] = m->data + static_cast<size_t>(i) * m->cols;
    return as_view(view);
}

VecView* vector_as_vec(const DataMatrix* v)
{
    if (!v || v->rows <= 0 || !v->data)
        return nullptr;
    VEC* view = static_cast<VEC*>(std::calloc(1, sizeof(VEC)));
    if (!view)
        return nullptr;
    view->dim = view->max_dim = v->rows;
    view->ve = v->data;
    return as_view(view);
}

MatView* matrix_copy_to_mat(const DataMatrix* m)
{
    if (!fits_library(m))
        return nullptr;
    MAT* copy = nullptr;
    guarded([&] { copy = m_get(m->rows, m->cols); });
    if (!copy)
        return nullptr;
    fill_from(copy, m);
    return as_view(copy);
}

void free_mat_wrapper(MatView* view)
{
    if (!view)
        return;
    std::free(as_lib(view)->me);
    std::free(as_lib(view));
}

void free_vec_wrapper(VecView* view)
{
    std::free(as_lib(view));
}

void free_mat_copy(MatView* copy)
{
    if (copy)
        guarded([&] { m_free(as_lib(copy)); });
}

void qr_factor(MatView* a, VecView* diag)
{
    guarded([&] { QRfactor(as_lib(a), as_lib(diag)); });
}

int triangular_diagonal_has_zero(const MatView* factor)
{
    const MAT* f = as_lib(factor);
    unsigned n = f->m < f->n ? f->m : f->n;
    for (unsigned i = 0; i < n; i++)
        if (f->me[i][i] == 0.0)
            return 1;
    return 0;
}

void qr_solve_into(MatView* qr, VecView* diag, const DataMatrix* b, DataMatrix* x)
{
    VEC* rhs = library_vector(b->rows);
    std::memcpy(rhs->ve, b->data, sizeof(Real) * b->rows);
    VEC* solution = nullptr;
    guarded([&] { solution = QRsolve(as_lib(qr), as_lib(diag), rhs, VNULL); });
    std::memcpy(x->data, solution->ve, sizeof(Real) * as_lib(qr)->n);
    free_library_vector(rhs);
    free_library_vector(solution);
}

LuFactors* lu_factor(const DataMatrix* m)
{
    MAT* copy = as_lib(matrix_copy_to_mat(m));
    if (!copy)
        return nullptr;
    LuFactors* lu = static_cast<LuFactors*>(std::calloc(1, sizeof(LuFactors)));
    if (!lu) {
        free_mat_copy(as_view(copy));
        return nullptr;
    }
    lu->lu = copy;
    guarded([&] {
        lu->pivot = px_get(m->rows);
        LUfactor(lu->lu, lu->pivot);
        lu->unit = v_get(m->rows);
    });
    return lu;
}

double lu_pivot(const LuFactors* lu, int i)
{
    return lu->lu->me[i][i];
}

void lu_solve_unit(LuFactors* lu, int i, DataMatrix* out)
{
    guarded([&] {
        lu->unit = v_resize(lu->unit, lu->lu->m);
        v_zero(lu->unit);
        lu->unit->ve[i] = 1.0;
        lu->solution = LUsolve(lu->lu, lu->pivot, lu->unit, lu->solution);
    });
    for (int r = 0; r < out->rows; r++)
        out->data[static_cast<size_t>(r) * out->cols + i] = lu->solution->ve[r];
}

void lu_free(LuFactors* lu)
{
    if (!lu)
        return;
    guarded([&] {
        v_free(lu->unit);
        if (lu->solution)
            v_free(lu->solution);
        m_free(lu->lu);
        px_free(lu->pivot);
    });
    std::free(lu);
}

double inner_product(const double* x, const double* y, int n)
{
    return __ip__(const_cast<Real*>(x), const_cast<Real*>(y), n);
}
