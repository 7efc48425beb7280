// Backtracking line search of the batch optimisers.
#include <cmath>

#include "plugins/neurnet/training.h"
#include "scriptrun/messages.h"

// Largest |r_i| down to max_jump: every component divided by M / max_jump.
static void clamp_direction(int n, double max_jump, double* r)
{
    double largest = 0.0;
    for (int i = 0; i < n; ++i)
        if (std::fabs(r[i]) > largest) largest = std::fabs(r[i]);
    if (largest > max_jump) {
        const double factor = largest / max_jump;
        for (int i = 0; i < n; ++i) r[i] /= factor;
    }
}

void line_search(double n, double max_jump, double num_of_max_iter, double alpha0,
                 double alpha_multiplier, const double* xPrev, double* x, const double*,
                 double* g, double* f, double* r, Objective objective)
{
    const int size = static_cast<int>(n);
    clamp_direction(size, max_jump, r);
    const double f0 = *f;
    double alpha = alpha0;
    for (int t = 1;; ++t) {
        for (int i = 0; i < size; ++i) x[i] = xPrev[i] - alpha * r[i];
        const double v = objective(x, g);
        *f = v;
        if (v < f0) return;
        // A step of length 0 would only try xPrev again: the trials are over.
        if (t >= num_of_max_iter || alpha * alpha_multiplier == 0.0) {
            if (!std::isfinite(v)) {  // never stay where the error is not finite
                for (int i = 0; i < size; ++i) x[i] = xPrev[i];
                *f = objective(x, g);
            }
            return;
        }
        alpha *= alpha_multiplier;
        print_message("alpha: %f \n", alpha);
    }
}
