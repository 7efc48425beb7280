// The one source that includes the matrix library: views and copies of
// DataMatrix records in its layout, and its QR and LU routines. Every object
// the library sees is allocated here and every argument is checked before a
// call, so no call reaches the library's error handler, which would print its
// report and end the process with status 0; the one path left (its own
// workspace growth failing) ends with status 1 instead.
#include "meschach_bridge.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>

#include <unistd.h>

#include "scriptrun/messages.h"

extern "C" {
#include <meschach/matrix.h>
#include <meschach/matrix2.h>
}
#undef catch
#undef min
#undef max

namespace {

// Set while a library routine runs. The library grows static workspaces of
// its own inside QRfactor and LUfactor; should that allocation fail, its
// handler ends the process through exit(0), which would report success. The
// exit handler below turns such an exit into status 1.
bool inside_library = false;

void exit_from_library()
{
    if (inside_library) {
        std::fflush(nullptr);
        _exit(1);
    }
}

// Marks one library call; registers the exit handler on first use.
struct LibraryCall {
    LibraryCall()
    {
        static const bool registered = std::atexit(exit_from_library) == 0;
        (void)registered;
        inside_library = true;
    }
    ~LibraryCall() { inside_library = false; }
    LibraryCall(const LibraryCall&) = delete;
    LibraryCall& operator=(const LibraryCall&) = delete;
};

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

// A header of dimension n over n entries the caller owns. max_dim is set:
// the library takes a zero max_dim for a header it must not resize in place.
VEC vector_over(Real* entries, unsigned n)
{
    VEC v;
    v.dim = v.max_dim = n;
    v.ve = entries;
    return v;
}

// A rows x cols header whose row i starts at data + i * cols, the layout
// the library gives its own matrices; null when out of memory.
MAT* matrix_header(Real* data, int rows, int cols)
{
    MAT* header = static_cast<MAT*>(std::calloc(1, sizeof(MAT)));
    if (!header)
        return nullptr;
    header->me = static_cast<Real**>(std::malloc(sizeof(Real*) * rows));
    if (!header->me) {
        std::free(header);
        return nullptr;
    }
    header->m = header->max_m = rows;
    header->n = header->max_n = cols;
    header->max_size = rows * cols;
    header->base = data;
    for (int i = 0; i < rows; i++)
        header->me[i] = data + static_cast<size_t>(i) * cols;
    return header;
}

void free_header(MAT* header)
{
    if (!header)
        return;
    std::free(header->me);
    std::free(header);
}

// A copy of m's entries that owns its base; null when out of memory.
MAT* owned_copy(const DataMatrix* m)
{
    size_t count = static_cast<size_t>(m->rows) * m->cols;
    Real* data = static_cast<Real*>(std::malloc(sizeof(Real) * count));
    if (!data)
        return nullptr;
    std::memcpy(data, m->data, sizeof(Real) * count);
    MAT* copy = matrix_header(data, m->rows, m->cols);
    if (!copy)
        std::free(data);
    return copy;
}

void free_owned(MAT* copy)
{
    if (!copy)
        return;
    std::free(copy->base);
    free_header(copy);
}

bool has_zero_diagonal(const MAT* f)
{
    unsigned n = std::min(f->m, f->n);
    for (unsigned i = 0; i < n; i++)
        if (f->me[i][i] == 0.0)
            return true;
    return false;
}

// The library's own conditions for a QR factor and its diagonal part; a
// breach is a caller's fault and ends the process like the library would.
void check_qr_pair(const MAT* qr, const VEC* diag, const char* routine)
{
    if (!qr || !diag)
        fatal_message("%s: no factor or no diagonal\n", routine);
    if (diag->dim < std::min(qr->m, qr->n))
        fatal_message("%s: diagonal of %u entries for a %u x %u factor\n", routine, diag->dim,
                      qr->m, qr->n);
}

}  // namespace

struct LuFactors {
    MAT* lu;     // n x n copy holding L below the diagonal and U on and above it
    PERM pivot;  // row exchanges of the partial pivoting; pe holds n entries
    Real* work;  // 2n entries: the right-hand side e_i, then its solution
};

MatView* matrix_as_mat(const DataMatrix* m)
{
    if (!fits_library(m))
        return nullptr;
    return as_view(matrix_header(m->data, m->rows, m->cols));
}

VecView* vector_as_vec(const DataMatrix* v)
{
    if (!v || v->rows <= 0 || !v->data)
        return nullptr;
    VEC* view = static_cast<VEC*>(std::calloc(1, sizeof(VEC)));
    if (!view)
        return nullptr;
    *view = vector_over(v->data, v->rows);
    return as_view(view);
}

MatView* matrix_copy_to_mat(const DataMatrix* m)
{
    if (!fits_library(m))
        return nullptr;
    return as_view(owned_copy(m));
}

void free_mat_wrapper(MatView* view)
{
    free_header(as_lib(view));
}

void free_vec_wrapper(VecView* view)
{
    std::free(as_lib(view));
}

void free_mat_copy(MatView* copy)
{
    free_owned(as_lib(copy));
}

// The library keeps workspaces of a->rows and a->cols entries of its own
// between calls; only their growth allocates.
void qr_factor(MatView* a, VecView* diag)
{
    check_qr_pair(as_lib(a), as_lib(diag), "QRfactor");
    LibraryCall call;
    QRfactor(as_lib(a), as_lib(diag));
}

int triangular_diagonal_has_zero(const MatView* factor)
{
    return !factor || has_zero_diagonal(as_lib(factor));
}

// The library's QR solve in its two steps, Q'b then the back substitution
// in R, with workspaces allocated here rather than inside the library.
int qr_solve_into(MatView* qr, VecView* diag, const DataMatrix* b, DataMatrix* x)
{
    MAT* f = as_lib(qr);
    check_qr_pair(f, as_lib(diag), "QRsolve");
    if (!b || !b->data || b->rows != static_cast<long long>(f->m) || b->cols < 1 || !x ||
        !x->data || x->rows != static_cast<long long>(f->n) || x->cols < 1)
        fatal_message("QRsolve: right-hand side or solution of the wrong size\n");
    if (has_zero_diagonal(f))
        fatal_message("QRsolve: zero on the diagonal of R\n");
    // The solution takes max(m, n) entries: a wide factor leaves the ones
    // past m zero.
    size_t width = std::max(f->m, f->n);
    Real* work = static_cast<Real*>(std::calloc(f->m + width, sizeof(Real)));
    if (!work)
        return 0;
    VEC rhs = vector_over(b->data, f->m);
    VEC solution = vector_over(work, f->m);
    VEC reflection = vector_over(work + width, f->m);
    _Qsolve(f, as_lib(diag), &rhs, &solution, &reflection);
    Usolve(f, &solution, &solution, 0.0);
    std::memcpy(x->data, work, sizeof(Real) * f->n);
    std::free(work);
    return 1;
}

// The library keeps a workspace of n entries of its own between calls; only
// its growth allocates.
LuFactors* lu_factor(const DataMatrix* m)
{
    if (!fits_library(m) || m->rows != m->cols)
        return nullptr;
    unsigned n = m->rows;
    LuFactors* lu = static_cast<LuFactors*>(std::calloc(1, sizeof(LuFactors)));
    if (!lu)
        return nullptr;
    lu->lu = owned_copy(m);
    lu->pivot.pe = static_cast<u_int*>(std::malloc(sizeof(u_int) * n));
    lu->work = static_cast<Real*>(std::malloc(sizeof(Real) * 2 * n));
    if (!lu->lu || !lu->pivot.pe || !lu->work) {
        lu_free(lu);
        return nullptr;
    }
    lu->pivot.size = lu->pivot.max_size = n;
    for (unsigned i = 0; i < n; i++)
        lu->pivot.pe[i] = i;
    {
        LibraryCall call;
        LUfactor(lu->lu, &lu->pivot);
    }
    return lu;
}

double lu_pivot(const LuFactors* lu, int i)
{
    if (!lu || i < 0 || static_cast<unsigned>(i) >= lu->lu->m)
        return 0.0;
    return lu->lu->me[i][i];
}

double lu_pivot_scale(const LuFactors* lu, const DataMatrix* m, int i)
{
    if (!lu || !m || !m->data || i < 0 || static_cast<unsigned>(i) >= lu->lu->m)
        return 0.0;
    Real** f = lu->lu->me;
    size_t row = lu->pivot.pe[i];
    double scale = std::fabs(m->data[row * m->cols + i]);
    for (int j = 0; j < i; j++)
        scale += std::fabs(f[i][j] * f[j][i]);
    return scale;
}

void lu_solve_unit(LuFactors* lu, int i, DataMatrix* out)
{
    if (!lu || !out || !out->data)
        fatal_message("LUsolve: no factors or no result\n");
    unsigned n = lu->lu->m;
    if (i < 0 || static_cast<unsigned>(i) >= n || out->rows != static_cast<long long>(n) ||
        out->cols != static_cast<long long>(n))
        fatal_message("LUsolve: column %d of a %d x %d result for %u x %u factors\n", i, out->rows,
                      out->cols, n, n);
    if (has_zero_diagonal(lu->lu))
        fatal_message("LUsolve: zero pivot\n");
    VEC unit = vector_over(lu->work, n);
    VEC solution = vector_over(lu->work + n, n);
    std::fill(unit.ve, unit.ve + n, 0.0);
    unit.ve[i] = 1.0;
    LUsolve(lu->lu, &lu->pivot, &unit, &solution);
    for (unsigned r = 0; r < n; r++)
        out->data[static_cast<size_t>(r) * n + i] = solution.ve[r];
}

void lu_free(LuFactors* lu)
{
    if (!lu)
        return;
    free_owned(lu->lu);
    std::free(lu->pivot.pe);
    std::free(lu->work);
    std::free(lu);
}

double inner_product(const double* x, const double* y, int n)
{
    if (!x || !y || n <= 0)
        return 0.0;
    return __ip__(const_cast<Real*>(x), const_cast<Real*>(y), n);
}
