// The least-squares machine: one bordered kernel system for all classes,
// right sides +1/-1 per class, solved at once.
#include "plugins/squaremark/training.h"

#include "plugins/discriminant_common/owned_matrix.h"
#include "plugins/kernel_classifier/database_checks.h"
#include "plugins/squaremark/solve.h"
#include "scriptrun/messages.h"
#include "support/kernel_matrix.h"
#include "support/matrix.h"

// Every kernel here is symmetric to the last bit (k(x, y) and k(y, x) sum
// the same products in the same order), so each value is computed once, for
// j <= i, and mirrored.
void fill_system_matrix(KernelMatrix* kernel, int n, double gamma, DataMatrix* A)
{
    print_message("train_squaremark: create main matrix\n");
    for (int i = 0; i < n; i++) {
        print_message("%6.2f %%\r", (i + 1) * 100.0 / n);
        double* row = matrix_row(A, i);
        for (int j = 0; j <= i; j++)
            row[j] = kernel_matrix_entry(kernel, i, j);
        for (int j = 0; j < i; j++)
            matrix_row(A, j)[i] = row[j];
        row[i] += gamma != 0.0 ? 1.0 / gamma : 0.0;
    }
    print_message("\n");
}

void fill_right_sides(const DataMatrix* y, DataMatrix* V)
{
    print_message("Fill right sides...");
    for (int i = 0; i < y->rows; i++) {
        int label = static_cast<int>(y->data[i]);
        double* row = matrix_row(V, i);
        for (int c = 0; c < V->cols; c++)
            row[c] = label == c + 1 ? 1.0 : -1.0;
    }
    double* bias = matrix_row(V, y->rows);
    for (int c = 0; c < V->cols; c++)
        bias[c] = 0.0;
    print_message("ok\n");
}

namespace {

// Kernel system, right sides, solution and model file, for a kernel of X.
void solve_and_write(KernelMatrix* kernel, const DataMatrix* X, const DataMatrix* y,
                     const char* file, const SquaremarkSettings& settings)
{
    int n = X->rows;
    DataMatrix* A = matrix_alloc(n, n);
    if (!A) {
        print_message("train_squaremark: not enough memory (A)!\n");
        return;
    }
    DataMatrix* V = matrix_alloc(n + 1, max_label(y));
    if (!V) {
        print_message("train_squaremark: not enough memory (V)!\n");
        matrix_free(A);
        return;
    }
    fill_system_matrix(kernel, n, settings.gamma, A);
    // A system with a value that is not finite has no meaningful solution,
    // and one that overflows is no model: neither is written.
    bool finite = check_kernel_values(A, n, "train_squaremark");
    if (finite) {
        fill_right_sides(y, V);
        print_message("Computing the solution\n");
        solve_kernel_system(A->data, n, V->data, V->cols, settings.epsilon, true);
        print_message("\n");
        finite = all_finite(V);
        if (!finite)
            print_message("train_squaremark: the solution holds a value that is not a finite "
                          "number; no model file is written\n");
    }
    matrix_free(A);
    if (finite)
        write_squaremark_model(file, settings, X, V);
    matrix_free(V);
}

}  // namespace

void train_squaremark_model(const DataMatrix* db, const char* file,
                            const SquaremarkSettings& settings)
{
    DataMatrix* X = matrix_alloc(db->rows, db->cols - 1);
    if (!X) {
        print_message("train_squaremark: not enough memory (X)!\n");
        return;
    }
    DataMatrix* y = matrix_alloc(db->rows, 1);
    if (!y) {
        print_message("train_squaremark: not enough memory (y)!\n");
        matrix_free(X);
        return;
    }
    split_features_labels(db, X, y);
    KernelMatrix* kernel = init_kernel_matrix(X, X, settings.cacheSize);
    if (kernel) {
        set_kernel_type(kernel, settings.kernel);
        for (int p = 0; p < 5; p++)
            set_kernel_parameter(kernel, p, settings.param[p]);
        solve_and_write(kernel, X, y, file, settings);
        destroy_kernel_matrix(kernel);
    }
    matrix_free(X);
    matrix_free(y);
}

void apply_squaremark_model(const SquaremarkModel& model, KernelMatrix* kernel,
                            const DataMatrix* labels, DataMatrix* out)
{
    int classes = model.classes;
    for (int r = 0; r < out->rows; r++) {
        double* o = matrix_row(out, r);
        for (int c = 0; c < classes; c++)
            o[c] = model.b->data[c];
        for (int i = 0; i < model.rows; i++) {
            double v = kernel_matrix_entry(kernel, r, i);
            const double* coefficients = matrix_row(model.V, i);
            for (int c = 0; c < classes; c++)
                o[c] += v * coefficients[c];
        }
        o[classes] = labels->data[r];
    }
}
