// Evaluating and changing a ProjectionModel: the Hermite basis, ridge values,
// outputs and residuals, the setters of the fitting steps, and the random
// start.
#include "plugins/pathlet/projection_model.h"

#include <cmath>
#include <ctime>

#include "support/random.h"

namespace {

const unsigned* fixed_seed = nullptr;  // set by tests; null: seed with the time

// Start directions drawn as all zeros are drawn again; after this many the
// first axis is taken, so the draw always ends.
const int direction_draws = 64;

double* row_of(std::vector<double>& a, int m, int width)
{
    return a.data() + static_cast<size_t>(m) * width;
}

const double* row_of(const std::vector<double>& a, int m, int width)
{
    return a.data() + static_cast<size_t>(m) * width;
}

double length_of(const double* v, int n)
{
    double sum = 0.0;
    for (int k = 0; k < n; ++k)
        sum += v[k] * v[k];
    return std::sqrt(sum);
}

// D generator values as a non-negative direction of unit length.
void draw_direction(double* dir, int D)
{
    if (D == 1) {
        dir[0] = 1.0;
        return;
    }
    for (int draw = 0; draw < direction_draws; ++draw) {
        for (int k = 0; k < D; ++k)
            dir[k] = static_cast<double>(random15());
        double length = length_of(dir, D);
        if (length > 0.0) {
            for (int k = 0; k < D; ++k)
                dir[k] /= length;
            return;
        }
    }
    for (int k = 0; k < D; ++k)
        dir[k] = k == 0 ? 1.0 : 0.0;
}

}  // namespace

void set_model_seed_hook(const unsigned* seed)
{
    fixed_seed = seed;
}

bool init_projection_model(ProjectionModel* model, int D, int C, int M, int R)
{
    if (D < 1 || C < 1 || M < 1 || R < 1)
        return false;
    model->NumInput = D;
    model->NumOutput = C;
    model->NumProj = M;
    model->ProjCapacity = M;
    model->NumProjPars = R;
    model->Weights.assign(static_cast<size_t>(M) * C, -1.0 / C);
    model->Shift.assign(M, 0.0);
    model->Dir.assign(static_cast<size_t>(M) * D, 0.0);
    model->ProjPars.assign(static_cast<size_t>(M) * R, 0.0);
    model->outputs.assign(C, 0.0);
    model->Means.assign(C, 0.0);
    model->NormFact = 2.5 / std::sqrt(static_cast<double>(D));
    seed_random15(fixed_seed ? *fixed_seed : static_cast<unsigned>(time(nullptr)));
    for (int m = 0; m < M; ++m) {
        row_of(model->Weights, m, C)[m % C] = 1.0;
        draw_direction(row_of(model->Dir, m, D), D);
    }
    return true;
}

void destroy_projection_model(ProjectionModel* model)
{
    *model = ProjectionModel();
}

void set_active_count(ProjectionModel* model, int M)
{
    model->NumProj = M < 0 ? 0 : (M > model->ProjCapacity ? model->ProjCapacity : M);
}

double projection_argument(const ProjectionModel* model, const double* x, int m)
{
    int D = model->NumInput;
    const double* dir = row_of(model->Dir, m, D);
    double dot = 0.0;
    for (int k = 0; k < D; ++k)
        dot += dir[k] * x[k];
    return model->NormFact * dot + model->Shift[m];
}

// h_r(z) = K1 2^(-(r-1)/2) exp(-z^2/2) H_r(z) / sqrt(r!), with the Hermite
// polynomials H_(r+1) = 2z H_r - 2r H_(r-1); and, since h_r' = sqrt(2r)
// h_(r-1) - z h_r with h_0 = K0 exp(-z^2/2), the derivative alongside.
// H_r(z) overflows long before exp(-z^2/2) H_r(z) does, so the basis is
// carried as u_r = exp(-z^2/2) H_r(z) / sqrt(2^r r!), which stays within
// [-1, 1]: u_0 = exp(-z^2/2), u_1 = sqrt(2) z u_0,
// u_(r+1) = sqrt(2/(r+1)) z u_r - sqrt(r/(r+1)) u_(r-1), and h_r = K1 sqrt(2) u_r.
// Where exp(-z^2/2) underflows (or z is not finite) every h_r, the value and
// the derivative are 0, the limit they tend to as |z| grows.
// basis and deriv may be null when only the value is wanted.
static double hermite_sum(const double* coefficients, int R, double z, double* deriv,
                          double* basis)
{
    double g = std::exp(-z * z / 2.0);
    if (!(g > 0.0)) {
        for (int r = 0; basis && r < R; ++r)
            basis[r] = 0.0;
        if (deriv)
            *deriv = 0.0;
        return 0.0;
    }
    const double root_two = std::sqrt(2.0);
    double u_before = g, u_now = root_two * z * g;  // u_(r-1), u_r
    double previous = hermite_k0 * g;               // h_(r-1)
    double value = 0.0, slope = 0.0;
    for (int r = 1; r <= R; ++r) {
        double h = hermite_k1 * root_two * u_now;
        if (basis)
            basis[r - 1] = h;
        slope += (std::sqrt(2.0 * r) * previous - z * h) * coefficients[r - 1];
        value += h * coefficients[r - 1];
        previous = h;
        double next = std::sqrt(2.0 / (r + 1)) * z * u_now - std::sqrt(r / (r + 1.0)) * u_before;
        u_before = u_now;
        u_now = next;
    }
    if (deriv)
        *deriv = slope;
    return value;
}

double ridge_value(const ProjectionModel* model, const double* x, int m)
{
    int R = model->NumProjPars;
    if (R < 1)
        return 0.0;
    return hermite_sum(row_of(model->ProjPars, m, R), R, projection_argument(model, x, m),
                       nullptr, nullptr);
}

double ridge_value_and_basis(const ProjectionModel* model, const double* x, int m,
                             double* deriv, double* basis)
{
    int R = model->NumProjPars;
    return hermite_sum(row_of(model->ProjPars, m, R), R, projection_argument(model, x, m),
                       deriv, basis);
}

const double* model_outputs(ProjectionModel* model, const double* x)
{
    int C = model->NumOutput;
    double* out = model->outputs.data();
    for (int c = 0; c < C; ++c)
        out[c] = model->Means[c];
    for (int m = 0; m < model->NumProj; ++m) {
        double f = ridge_value(model, x, m);
        const double* w = row_of(model->Weights, m, C);
        for (int c = 0; c < C; ++c)
            out[c] += w[c] * f;
    }
    return out;
}

const double* output_residual(ProjectionModel* model, const double* x, double* values, int k,
                              int d, double* deriv, double* basis)
{
    int C = model->NumOutput;
    double* e = model->outputs.data();
    for (int c = 0; c < C; ++c)
        e[c] = (c == k ? 1.0 : 0.0) - model->Means[c];
    for (int m = 0; m < model->NumProj; ++m) {
        double f = m == d ? ridge_value_and_basis(model, x, m, deriv, basis)
                          : ridge_value(model, x, m);
        values[m] = f;
        const double* w = row_of(model->Weights, m, C);
        for (int c = 0; c < C; ++c)
            e[c] -= w[c] * f;
    }
    return e;
}

double partial_residual(const ProjectionModel* model, const double* values, int c, int m)
{
    return model->outputs[c] + row_of(model->Weights, m, model->NumOutput)[c] * values[m];
}

void set_means(ProjectionModel* model, const double* p)
{
    for (int c = 0; c < model->NumOutput; ++c)
        model->Means[c] = p[c];
}

void set_output_weight_column(ProjectionModel* model, const double* w, int c)
{
    for (int m = 0; m < model->NumProj; ++m)
        row_of(model->Weights, m, model->NumOutput)[c] = w[m];
}

void set_hermite_coefficients(ProjectionModel* model, const double* p, int m)
{
    int R = model->NumProjPars;
    double* row = row_of(model->ProjPars, m, R);
    for (int r = 0; r < R; ++r)
        row[r] = p[r];
}

void step_direction(ProjectionModel* model, const double* s, int m, double factor)
{
    int D = model->NumInput;
    for (int k = 0; k <= D; ++k)
        if (!std::isfinite(factor * s[k]))
            return;
    double* dir = row_of(model->Dir, m, D);
    double moved_length = 0.0;
    for (int k = 0; k < D; ++k) {
        double moved = dir[k] + factor * s[k];
        moved_length += moved * moved;
    }
    moved_length = std::sqrt(moved_length);
    model->Shift[m] += factor * s[D];
    if (!(moved_length > 0.0) || !std::isfinite(moved_length))
        return;
    for (int k = 0; k < D; ++k)
        dir[k] = (dir[k] + factor * s[k]) / moved_length;
}

double* output_weight_row(ProjectionModel* model, int m)
{
    return row_of(model->Weights, m, model->NumOutput);
}

bool model_is_finite(const ProjectionModel* model)
{
    auto finite = [](const std::vector<double>& values, size_t count) {
        for (size_t i = 0; i < count && i < values.size(); ++i)
            if (!std::isfinite(values[i]))
                return false;
        return true;
    };
    size_t M = static_cast<size_t>(model->NumProj);
    return std::isfinite(model->NormFact) && finite(model->Means, model->Means.size()) &&
           finite(model->Shift, M) && finite(model->Dir, M * model->NumInput) &&
           finite(model->ProjPars, M * model->NumProjPars) &&
           finite(model->Weights, M * model->NumOutput);
}
