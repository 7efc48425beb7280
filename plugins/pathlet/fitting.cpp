// Direction steps, Hermite and output-weight refits, class priors and error
// measures. Each step makes one pass over the rows into matrices allocated
// once per training call, then solves one least-squares system.
#include "plugins/pathlet/fitting.h"

#include <cmath>
#include <limits>

#include "scriptrun/messages.h"
#include "support/least_squares.h"
#include "support/matrix.h"

namespace {

// The training rows and the work matrices of the steps.
struct TrainingState {
    const DataMatrix* X = nullptr;       // N x D features, borrowed
    const DataMatrix* labels = nullptr;  // N x 1 labels, borrowed
    int N = 0, D = 0, C = 0;             // rows, features, classes
    int M = 0;                           // projections the work matrices hold
    DataMatrix* priors = nullptr;        // max(M, C) x 1 counters
    DataMatrix* v = nullptr;             // M x 1 ridge values, weight solutions
    DataMatrix* F = nullptr;             // N x M ridge values of every row
    DataMatrix* F_diag = nullptr;        // M x 1 companion of F's factorisation
    DataMatrix* B = nullptr;             // N x R Hermite basis of every row
    DataMatrix* t = nullptr;             // N x 1 targets of the refits
    DataMatrix* coef = nullptr;          // R x 1 coefficient solution
    DataMatrix* A = nullptr;             // (D+1) x (D+1) direction system
    DataMatrix* g = nullptr;             // (D+1) x 1 its right side
    DataMatrix* step = nullptr;          // (D+1) x 1 its solution
    bool told_hermite = false;           // too few rows for the coefficients said
    bool told_weights = false;           // too few rows for the weights said
    bool told_step = false;              // a refused direction step said
    bool told_coefficients = false;      // refused Hermite coefficients said
    bool told_solution = false;          // refused output weights said
};

TrainingState state;

const double not_solved = std::numeric_limits<double>::quiet_NaN();

int class_of_row(int i)
{
    double label = state.labels->data[i];
    return label >= 1.0 && label < state.C + 1.0 ? static_cast<int>(label) - 1 : -1;
}

double squared_sum(const double* e, int n)
{
    double sum = 0.0;
    for (int c = 0; c < n; ++c)
        sum += e[c] * e[c];
    return sum;
}

double weight_square_sum(ProjectionModel* model, int m)
{
    return squared_sum(output_weight_row(model, m), model->NumOutput);
}

// The error measure of the steps: the squared residuals' sum over N x D.
double error_measure(double sum)
{
    return sum / (static_cast<double>(state.N) * state.D);
}

void free_all()
{
    for (DataMatrix** m : {&state.priors, &state.v, &state.F, &state.F_diag, &state.B,
                           &state.t, &state.coef, &state.A, &state.g, &state.step}) {
        matrix_free(*m);
        *m = nullptr;
    }
}

}  // namespace

void set_training_rows(const DataMatrix* X, const DataMatrix* labels, int classes)
{
    state.X = X;
    state.labels = labels;
    state.N = X->rows;
    state.D = X->cols;
    state.C = classes;
}

bool allocate_training_state(int M, int R)
{
    free_all();
    int N = state.N, D = state.D;
    state.priors = matrix_alloc(M > state.C ? M : state.C, 1);
    state.v = matrix_alloc(M, 1);
    state.F = matrix_alloc(N, M);
    state.F_diag = matrix_alloc(M, 1);
    state.B = matrix_alloc(N, R);
    state.t = matrix_alloc(N, 1);
    state.coef = matrix_alloc(R, 1);
    state.A = matrix_alloc(D + 1, D + 1);
    state.g = matrix_alloc(D + 1, 1);
    state.step = matrix_alloc(D + 1, 1);
    state.M = M;
    state.told_hermite = state.told_weights = false;
    state.told_step = state.told_coefficients = state.told_solution = false;
    bool complete = state.priors && state.v && state.F && state.F_diag && state.B && state.t &&
                    state.coef && state.A && state.g && state.step;
    if (!complete)
        free_all();
    return complete;
}

void release_training_state()
{
    free_all();
    state = TrainingState();
}

void set_class_priors(ProjectionModel* model)
{
    double* counts = state.priors->data;
    for (int c = 0; c < state.C; ++c)
        counts[c] = 0.0;
    for (int i = 0; i < state.N; ++i) {
        int k = class_of_row(i);
        if (k >= 0)
            counts[k] += 1.0;
    }
    for (int c = 0; c < state.C; ++c)
        counts[c] /= state.N;
    set_means(model, counts);
}

namespace {

// Adds one row's terms of the direction system: the Gauss-Newton terms of a
// change of direction (scaled by NormFact) and of shift, for the ridge slope
// b and the residual projected on the weights, s. The direction-shift terms
// carry NormFact cubed and the shift-shift term NormFact squared.
void add_direction_row(const double* x, double nf, double b, double s)
{
    int D = state.D, width = D + 1;
    double* A = state.A->data;
    double* g = state.g->data;
    double square = nf * nf * b * b, cube = square * nf;
    for (int k1 = 0; k1 < D; ++k1) {
        double* row = A + static_cast<size_t>(k1) * width;
        double scaled = square * x[k1];
        for (int k2 = 0; k2 <= k1; ++k2)
            row[k2] += scaled * x[k2];
        g[k1] += nf * b * x[k1] * s;
    }
    double* last = A + static_cast<size_t>(D) * width;
    for (int k = 0; k < D; ++k)
        last[k] += cube * x[k];
    last[D] += square;
    g[D] += b * s;
}

// Scales the lower triangle by the weights' square sum, mirrors it, and
// solves for the step; a system without right side (a projection whose
// coefficients are all zero) gives the zero step. False, with the zero step,
// when the solution is not finite.
bool solve_direction(double weight_squares)
{
    size_t width = static_cast<size_t>(state.D) + 1;
    double* A = state.A->data;
    bool moving = false;
    for (size_t k1 = 0; k1 < width; ++k1) {
        for (size_t k2 = 0; k2 <= k1; ++k2) {
            A[k1 * width + k2] *= weight_squares;
            A[k2 * width + k1] = A[k1 * width + k2];
        }
        moving = moving || state.g->data[k1] != 0.0;
    }
    matrix_fill(state.step, 0.0);
    if (!moving || !(weight_squares > 0.0))
        return true;
    matrix_fill(state.step, not_solved);
    leastsquare(state.A, state.g, state.step);
    if (all_finite(state.step))
        return true;
    matrix_fill(state.step, 0.0);
    return false;
}

// Says once per training call that a refit keeps its previous values.
void tell_once(bool* told, const char* what)
{
    if (*told)
        return;
    *told = true;
    print_message("PATHLET: fewer training rows than %s: the model keeps its previous values\n",
                  what);
}

// Says once per training call, for the first projection or class it meets,
// that a step without a finite solution was refused.
void tell_refused_once(bool* told, const char* format, int number)
{
    if (*told)
        return;
    *told = true;
    print_message(format, number);
}

}  // namespace

double fit_direction(ProjectionModel* model, int m)
{
    matrix_fill(state.A, 0.0);
    matrix_fill(state.g, 0.0);
    const double* W = output_weight_row(model, m);
    int C = model->NumOutput;
    double sum = 0.0;
    for (int i = 0; i < state.N; ++i) {
        const double* x = matrix_row(state.X, i);
        double b = 0.0;
        const double* e = output_residual(model, x, state.v->data, class_of_row(i), m, &b,
                                          matrix_row(state.B, i));
        sum += squared_sum(e, C);
        double s = 0.0;
        for (int c = 0; c < C; ++c)
            s += e[c] * W[c];
        add_direction_row(x, model->NormFact, b, s);
    }
    if (!solve_direction(weight_square_sum(model, m)))
        tell_refused_once(&state.told_step,
                          "PATHLET: no finite direction step for projection %d; its direction "
                          "and shift are kept\n", m + 1);
    step_direction(model, state.step->data, m, 1.0);
    return error_measure(sum);
}

// t[i] = (sum_c (e_c + W[c] f_m(x_i)) W[c]) / sum_c W[c]^2: the residual
// with projection m restored, projected onto its weights; B's rows the
// basis at z_m(x_i). Solves B coef = t.
double fit_hermite(ProjectionModel* model, int m)
{
    const double* W = output_weight_row(model, m);
    int C = model->NumOutput;
    double weight_squares = weight_square_sum(model, m), sum = 0.0;
    for (int i = 0; i < state.N; ++i) {
        double b = 0.0;
        const double* e = output_residual(model, matrix_row(state.X, i), state.v->data,
                                          class_of_row(i), m, &b, matrix_row(state.B, i));
        sum += squared_sum(e, C);
        double projected = 0.0;
        for (int c = 0; c < C; ++c)
            projected += partial_residual(model, state.v->data, c, m) * W[c];
        state.t->data[i] = weight_squares > 0.0 ? projected / weight_squares : 0.0;
    }
    if (state.N < model->NumProjPars) {
        tell_once(&state.told_hermite, "Hermite functions");
    } else if (weight_squares > 0.0) {
        matrix_fill(state.coef, not_solved);
        leastsquare(state.B, state.t, state.coef);
        if (all_finite(state.coef))
            set_hermite_coefficients(model, state.coef->data, m);
        else
            tell_refused_once(&state.told_coefficients,
                              "PATHLET: no finite Hermite coefficients for projection %d; its "
                              "coefficients are kept\n", m + 1);
    }
    return error_measure(sum);
}

// Row i of F holds the ridge values of row i; for each class c the weights
// solve F w = t with t[i] = [label of i is c] - Means[c].
double fit_output_weights(ProjectionModel* model)
{
    int P = model->NumProj, C = model->NumOutput;
    state.F->cols = P;
    state.F_diag->rows = P;
    state.v->rows = P;
    double sum = 0.0;
    for (int i = 0; i < state.N; ++i)
        sum += squared_sum(output_residual(model, matrix_row(state.X, i), matrix_row(state.F, i),
                                           class_of_row(i), -1, nullptr, nullptr),
                           C);
    if (state.N < P) {
        tell_once(&state.told_weights, "projections");
    } else {
        init_leastsquare(state.F, state.F_diag);
        for (int c = 0; c < C; ++c) {
            for (int i = 0; i < state.N; ++i)
                state.t->data[i] = (class_of_row(i) == c ? 1.0 : 0.0) - model->Means[c];
            if (multi_leastsquare(state.F, state.F_diag, state.t, state.v) &&
                all_finite(state.v))
                set_output_weight_column(model, state.v->data, c);
            else
                tell_refused_once(&state.told_solution,
                                  "PATHLET: no finite output weights for class %d; its weights "
                                  "are kept\n", c + 1);
        }
    }
    state.F->cols = state.F_diag->rows = state.v->rows = state.M;
    return error_measure(sum);
}

double training_error(ProjectionModel* model)
{
    int C = model->NumOutput;
    double sum = 0.0;
    for (int i = 0; i < state.N; ++i) {
        const double* out = model_outputs(model, matrix_row(state.X, i));
        int k = class_of_row(i);
        for (int c = 0; c < C; ++c) {
            double d = out[c] - (c == k ? 1.0 : 0.0);
            sum += d * d;
        }
    }
    return error_measure(sum);
}

// Labels are compared as reals, so one that is not a whole number of 1..C
// never matches a class and counts as an error.
double classification_error(ProjectionModel* model, int* unfinished_row)
{
    int C = model->NumOutput, errors = 0;
    for (int i = 0; i < state.N; ++i) {
        const double* out = model_outputs(model, matrix_row(state.X, i));
        int best = 0;
        for (int c = 0; c < C; ++c) {
            if (!std::isfinite(out[c])) {
                if (unfinished_row)
                    *unfinished_row = i + 1;
                return not_solved;
            }
            if (out[c] > out[best])
                best = c;
        }
        if (static_cast<double>(best) != state.labels->data[i] - 1.0)
            ++errors;
    }
    return static_cast<double>(errors) / state.N;
}
