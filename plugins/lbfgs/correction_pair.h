// The correction pair of one L-BFGS call, shared by the direction modules.
#ifndef LBFGS_CORRECTION_PAIR_H
#define LBFGS_CORRECTION_PAIR_H

// s = x - xPrev, y = g - gPrev, gradient = g; *yy = y.y and *sy = s.y.
inline void correction_pair(const double* x, const double* xPrev, const double* g,
                            const double* gPrev, int n, double* s, double* y,
                            double* gradient, double* yy, double* sy)
{
    double sum_yy = 0.0, sum_sy = 0.0;
    for (int i = 0; i < n; ++i) {
        s[i] = x[i] - xPrev[i];
        y[i] = g[i] - gPrev[i];
        gradient[i] = g[i];
        sum_yy += y[i] * y[i];
        sum_sy += s[i] * y[i];
    }
    *yy = sum_yy;
    *sy = sum_sy;
}

#endif
