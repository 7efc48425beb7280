// The additive model of ridge functions that pathlet trains: each projection
// scales a direction, passes the result through a sum of Hermite functions
// and adds it, weighted per class, to the class outputs.
#ifndef PATHLET_PROJECTION_MODEL_H
#define PATHLET_PROJECTION_MODEL_H

#include <vector>

// The first Hermite function's constant (a single-precision value kept as
// such) and the constant of the order-0 function used by the derivative.
constexpr double hermite_k1 = 0.5311259031295776;
constexpr double hermite_k0 = 0.7511255;

// D features, C classes, M projections stored, R Hermite functions each.
struct ProjectionModel {
    int NumInput = 0;             // D
    int NumOutput = 0;            // C
    int NumProj = 0;              // projections in use, at most ProjCapacity
    int NumProjPars = 0;          // R
    double NormFact = 0.0;        // scale applied to every projection
    std::vector<double> Weights;  // M x C, row m: projection m's weight per class
    std::vector<double> Shift;    // M, offset added after scaling
    std::vector<double> Dir;      // M x D, row m: unit direction of projection m
    std::vector<double> ProjPars; // M x R, row m: Hermite coefficients
    std::vector<double> outputs;  // C, work buffer returned by address
    std::vector<double> Means;    // C, class output offsets (the priors)
    int ProjCapacity = 0;         // M, projections the arrays hold
};

// Start-direction seeds: the time at each initialisation, unless a test has
// fixed one here (null restores the time).
void set_model_seed_hook(const unsigned* seed);

// Arrays for M projections, NormFact 2.5 / sqrt(D), the generator seeded,
// weights -1/C except 1 at class m mod C, random non-negative unit
// directions, zero shifts and coefficients. Means stay zero. False when a
// size is below 1.
bool init_projection_model(ProjectionModel* model, int D, int C, int M, int R);
void destroy_projection_model(ProjectionModel* model);

// Projections in use; clamped to the storage.
void set_active_count(ProjectionModel* model, int M);

// z_m(x) = NormFact (Dir[m] . x) + Shift[m].
double projection_argument(const ProjectionModel* model, const double* x, int m);

// f_m(x) = sum_r ProjPars[m][r-1] h_r(z_m(x)).
double ridge_value(const ProjectionModel* model, const double* x, int m);

// f_m(x); *deriv := f_m'(z_m(x)) and basis[0..R-1] := h_1..h_R at z_m(x).
double ridge_value_and_basis(const ProjectionModel* model, const double* x, int m,
                             double* deriv, double* basis);

// output_c(x) = Means[c] + sum_m Weights[m][c] f_m(x), into outputs.
const double* model_outputs(ProjectionModel* model, const double* x);

// The residual e = one-hot(k) - output(x) into outputs; values[m] := f_m(x)
// for every projection in use. Projection d (or none for -1) is evaluated
// with its derivative and basis. A class k outside 0..C-1 has no target 1.
const double* output_residual(ProjectionModel* model, const double* x, double* values, int k,
                              int d, double* deriv, double* basis);

// e_c + Weights[m][c] values[m]: class c's last residual with projection m's
// own contribution restored.
double partial_residual(const ProjectionModel* model, const double* values, int c, int m);

void set_means(ProjectionModel* model, const double* p);
void set_output_weight_column(ProjectionModel* model, const double* w, int c);
void set_hermite_coefficients(ProjectionModel* model, const double* p, int m);

// Dir[m] += factor s[0..D-1], Shift[m] += factor s[D], then Dir[m] back to
// unit length. A step that would leave the zero vector (or a value that is
// not finite) keeps the previous direction.
void step_direction(ProjectionModel* model, const double* s, int m, double factor);

double* output_weight_row(ProjectionModel* model, int m);

// Whether NormFact, the means and every parameter of the projections in use
// are finite numbers.
bool model_is_finite(const ProjectionModel* model);

#endif
