// A dense BFGS inverse-Hessian recursion, the independent reference for the
// limited-memory directions: H0 = gamma*I, then for each pair, oldest first,
// H <- (I - rho s y^T) H (I - rho y s^T) + rho s s^T; the result is H g.
#ifndef LBFGS_REFERENCE_H
#define LBFGS_REFERENCE_H

#include <vector>

struct CorrectionPair {
    std::vector<double> s;  // position difference
    std::vector<double> y;  // gradient difference
};

inline std::vector<double> dense_bfgs_direction(const std::vector<CorrectionPair>& pairs,
                                                double gamma, const std::vector<double>& g)
{
    const size_t n = g.size();
    std::vector<double> h(n * n, 0.0), left(n * n), next(n * n);
    for (size_t i = 0; i < n; ++i) h[i * n + i] = gamma;
    for (const CorrectionPair& p : pairs) {
        double sy = 0.0;
        for (size_t i = 0; i < n; ++i) sy += p.s[i] * p.y[i];
        const double rho = 1.0 / sy;
        // left = (I - rho s y^T) H
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j) {
                double sum = h[i * n + j];
                for (size_t k = 0; k < n; ++k) sum -= rho * p.s[i] * p.y[k] * h[k * n + j];
                left[i * n + j] = sum;
            }
        // next = left (I - rho y s^T) + rho s s^T
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j) {
                double sum = left[i * n + j];
                for (size_t k = 0; k < n; ++k) sum -= rho * left[i * n + k] * p.y[k] * p.s[j];
                next[i * n + j] = sum + rho * p.s[i] * p.s[j];
            }
        h.swap(next);
    }
    std::vector<double> out(n, 0.0);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j) out[i] += h[i * n + j] * g[j];
    return out;
}

#endif
