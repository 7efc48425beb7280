// Least squares through the matrix library's Householder QR. A factor with
// an exact zero on R's diagonal is reported and left unsolved, since the
// library's triangular solve would end the process on it.
#include "least_squares.h"

#include "matrix.h"
#include "meschach_bridge.h"
#include "scriptrun/messages.h"

namespace {

bool usable(const DataMatrix* m)
{
    return m && m->rows > 0 && m->cols > 0 && m->data;
}

bool is_column(const DataMatrix* v)
{
    return usable(v) && v->cols == 1;
}

// Views of the factor and its diagonal, solved for b when R is regular.
int solve_with_views(MatView* qr, VecView* diag, const DataMatrix* b, DataMatrix* x,
                     const char* routine)
{
    if (triangular_diagonal_has_zero(qr)) {
        print_message("%s: singular matrix, no solution\n", routine);
        return 0;
    }
    if (!qr_solve_into(qr, diag, b, x)) {
        print_message("%s: not enough memory!\n", routine);
        return 0;
    }
    return 1;
}

}  // namespace

void init_leastsquare(DataMatrix* a, DataMatrix* diag)
{
    MatView* view = nullptr;
    VecView* diag_view = nullptr;
    if (usable(a) && is_column(diag) && a->rows >= a->cols && diag->rows == a->cols) {
        view = matrix_as_mat(a);
        diag_view = vector_as_vec(diag);
    }
    if (view && diag_view)
        qr_factor(view, diag_view);
    else
        print_message("init_leastsquare: error with sizes or empty matrix/vector\n");
    free_mat_wrapper(view);
    free_vec_wrapper(diag_view);
}

int multi_leastsquare(const DataMatrix* qr, const DataMatrix* diag, const DataMatrix* b,
                      DataMatrix* x)
{
    MatView* view = nullptr;
    VecView* diag_view = nullptr;
    if (usable(qr) && is_column(diag) && is_column(b) && is_column(x) && qr->rows >= qr->cols &&
        diag->rows == qr->cols && b->rows == qr->rows && x->rows == qr->cols) {
        view = matrix_as_mat(qr);
        diag_view = vector_as_vec(diag);
    }
    int solved = 0;
    if (view && diag_view)
        solved = solve_with_views(view, diag_view, b, x, "multi_leastsquare");
    else
        print_message("multi_leastsquare: error with sizes or empty matrix/vector\n");
    free_mat_wrapper(view);
    free_vec_wrapper(diag_view);
    return solved;
}

void leastsquare(const DataMatrix* a, const DataMatrix* b, DataMatrix* x)
{
    if (!(usable(a) && is_column(b) && is_column(x) && a->rows >= a->cols &&
          b->rows == a->rows && x->rows == a->cols)) {
        print_message("leastsquare: error with sizes or empty matrix/vector\n");
        return;
    }
    DataMatrix* diag = matrix_alloc(a->cols, 1);
    MatView* copy = matrix_copy_to_mat(a);
    VecView* diag_view = vector_as_vec(diag);
    if (copy && diag_view) {
        qr_factor(copy, diag_view);
        solve_with_views(copy, diag_view, b, x, "leastsquare");
    } else {
        print_message("leastsquare: error with sizes or empty matrix/vector\n");
    }
    free_mat_copy(copy);
    free_vec_wrapper(diag_view);
    matrix_free(diag);
}
