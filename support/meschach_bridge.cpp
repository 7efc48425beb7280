// The one source that includes the matrix library: views, copies, and the
// guarded calls into QR, LU, Schur and symmetric eigen routines, the last two
// bounded in CPU time.
#include "meschach_bridge.h"

#include <climits>
#include <cmath>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <link.h>
#include <setjmp.h>
#include <sys/time.h>
#include <ucontext.h>

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

namespace {

// The library's QR iterations for the real Schur form and for symmetric
// tridiagonal matrices have no iteration limit, and on some ordinary finite
// matrices their shifts never split off an eigenvalue (schur on the 3 x 3
// [[0, .01, 0], [.01, 0, 1], [0, 1, 0]], symmeig on zero-heavy matrices with
// entries near 1 and 1e-53), so the call never returns. Each such call runs
// under a one-shot virtual (process CPU time) timer whose signal jumps back
// out of the library. The library's static work vectors are resized at the
// start of every call, so an abandoned call leaves the next one working.
// The jump is taken only while the library's own code runs: interrupted
// inside the C library (an allocator halfway through an update) it would
// leave that broken, so there the timer just fires again shortly after.

sigjmp_buf budget_exit;
volatile sig_atomic_t budget_armed = 0;
double budget_factor = 1.0;

// Executable addresses of the matrix library, [begin, end); empty when unknown.
struct CodeRange {
    uintptr_t begin;  // first address of the library's code segment
    uintptr_t end;    // one past its last address
};
CodeRange library_code = {0, 0};
bool library_code_searched = false;

int find_library_code(dl_phdr_info* info, size_t, void*)
{
    if (!info->dlpi_name || !std::strstr(info->dlpi_name, "libmeschach"))
        return 0;
    for (int i = 0; i < info->dlpi_phnum; i++) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X)) {
            library_code.begin = info->dlpi_addr + segment.p_vaddr;
            library_code.end = library_code.begin + segment.p_memsz;
            return 1;
        }
    }
    return 0;
}

// Where the code range is unknown every interruption counts, as a hang is
// the worse outcome.
bool interrupted_in_library(const void* context)
{
#if defined(__x86_64__)
    if (library_code.begin == library_code.end)
        return true;
    uintptr_t pc = static_cast<const ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP];
    return pc >= library_code.begin && pc < library_code.end;
#else
    (void)context;
    return true;
#endif
}

void on_budget_spent(int, siginfo_t*, void* context)
{
    if (budget_armed && interrupted_in_library(context))
        siglongjmp(budget_exit, 1);
}

// The handler and timer in force before a bounded call, restored after it.
struct BudgetTimer {
    struct sigaction previous_action;  // SIGVTALRM disposition
    itimerval previous_timer;          // ITIMER_VIRTUAL setting
};

// 1 s + 5e-8 n^3 s, about 25 times what a converging call of order n needs;
// then every 10 ms until the signal finds the library's code running.
itimerval budget_for(int n)
{
    double seconds = (1.0 + 5e-8 * std::pow(static_cast<double>(n), 3)) * budget_factor;
    seconds = std::fmax(seconds, 1e-6);
    itimerval budget{};
    budget.it_value.tv_sec = static_cast<time_t>(seconds);
    budget.it_value.tv_usec = static_cast<suseconds_t>((seconds - std::floor(seconds)) * 1e6);
    budget.it_interval.tv_usec = 10000;
    return budget;
}

void arm_budget(BudgetTimer* timer, int n)
{
    if (!library_code_searched) {
        dl_iterate_phdr(find_library_code, nullptr);
        library_code_searched = true;
    }
    struct sigaction action {};
    action.sa_sigaction = on_budget_spent;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGVTALRM, &action, &timer->previous_action);
    budget_armed = 1;
    itimerval budget = budget_for(n);
    setitimer(ITIMER_VIRTUAL, &budget, &timer->previous_timer);
}

void disarm_budget(const BudgetTimer* timer)
{
    budget_armed = 0;
    setitimer(ITIMER_VIRTUAL, &timer->previous_timer, nullptr);
    sigaction(SIGVTALRM, &timer->previous_action, nullptr);
}

// Runs call (library error handler guarded) under the budget for order n;
// false when the budget ran out and the call was abandoned.
template <typename Call>
bool within_budget(int n, Call call)
{
    BudgetTimer timer;
    volatile bool finished = false;
    guarded([&] {
        if (sigsetjmp(budget_exit, 1) == 0) {
            arm_budget(&timer, n);
            call();
            budget_armed = 0;
            finished = true;
        }
        disarm_budget(&timer);
    });
    return finished;
}

// a := H a H with H = I - 2 u u' / (u'u), u_i = 1 + i / n. H is orthogonal
// and its own inverse, so the eigenvalues stay, while the pattern of zeros
// on which the shifts stall is gone. A symmetric a is made exactly
// symmetric again afterwards.
void reflect_both_sides(MAT* a, bool symmetric)
{
    int n = static_cast<int>(a->m);
    auto u = [n](int i) { return 1.0 + static_cast<double>(i) / n; };
    double uu = 0.0;
    for (int i = 0; i < n; i++)
        uu += u(i) * u(i);
    for (int j = 0; j < n; j++) {  // H a: column j loses (2 u'a_j / u'u) u
        double s = 0.0;
        for (int i = 0; i < n; i++)
            s += u(i) * a->me[i][j];
        for (int i = 0; i < n; i++)
            a->me[i][j] -= 2.0 * s / uu * u(i);
    }
    for (int i = 0; i < n; i++) {  // (H a) H: row i loses (2 r_i u / u'u) u'
        double s = 0.0;
        for (int j = 0; j < n; j++)
            s += a->me[i][j] * u(j);
        for (int j = 0; j < n; j++)
            a->me[i][j] -= 2.0 * s / uu * u(j);
    }
    for (int i = 0; symmetric && i < n; i++)
        for (int j = i + 1; j < n; j++)
            a->me[i][j] = a->me[j][i] = 0.5 * (a->me[i][j] + a->me[j][i]);
}

// compute on copy (holding a), and once more on H a H when the budget runs
// out; copy then holds the matrix of the attempt that finished.
template <typename Compute>
EigenStatus bounded_with_retry(const DataMatrix* a, MAT* copy, bool symmetric, Compute compute)
{
    if (within_budget(a->rows, [&] { compute(copy); }))
        return EigenStatus::done;
    fill_from(copy, a);
    reflect_both_sides(copy, symmetric);
    if (within_budget(a->rows, [&] { compute(copy); }))
        return EigenStatus::done;
    return EigenStatus::no_convergence;
}

}  // namespace

void scale_eigen_budget(double factor)
{
    budget_factor = factor;
}

EigenStatus schur_eigenvalues(const DataMatrix* a, DataMatrix* re, DataMatrix* im)
{
    MAT* copy = as_lib(matrix_copy_to_mat(a));
    VEC* re_view = as_lib(vector_as_vec(re));
    VEC* im_view = as_lib(vector_as_vec(im));
    EigenStatus status = EigenStatus::no_memory;
    if (copy && re_view && im_view) {
        status = bounded_with_retry(a, copy, false, [](MAT* m) { schur(m, MNULL); });
        if (status == EigenStatus::done)
            guarded([&] { schur_evals(copy, re_view, im_view); });
    }
    free_mat_copy(as_view(copy));
    free_vec_wrapper(as_view(re_view));
    free_vec_wrapper(as_view(im_view));
    return status;
}

// symmeig works on a copy of its own, so handing it a copy gives the same
// values; its output goes to a work vector, as it is overwritten during the
// iteration and evals must stay unchanged when the iteration is abandoned.
EigenStatus symmetric_eigenvalues(const DataMatrix* a, DataMatrix* evals)
{
    MAT* copy = as_lib(matrix_copy_to_mat(a));
    VEC* values = copy && evals && evals->data ? library_vector(a->rows) : nullptr;
    EigenStatus status = EigenStatus::no_memory;
    if (copy && values) {
        status = bounded_with_retry(a, copy, true, [&](MAT* m) { symmeig(m, MNULL, values); });
        if (status == EigenStatus::done)
            std::memcpy(evals->data, values->ve, sizeof(Real) * a->rows);
    }
    free_mat_copy(as_view(copy));
    free_library_vector(values);
    return status;
}

double inner_product(const double* x, const double* y, int n)
{
    return __ip__(const_cast<Real*>(x), const_cast<Real*>(y), n);
}
