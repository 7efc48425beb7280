// Fletcher-Reeves conjugate-gradient direction, in the same form as the
// L-BFGS directions: the returned r is stepped against (x = xPrev - a r).
#ifndef NEURNET_CONJGRAD_H
#define NEURNET_CONJGRAD_H

// 1, or 0 after "Out of memory\n" with nothing held.
int conjgrad_init(int n);

// r = -d with d = (|g|^2 / |gPrev|^2) dPrev - g; on the first call (k = 0)
// or after a zero previous gradient, r = g. The points are not used.
double* conjgrad_direction(const double* x, const double* xPrev, const double* g,
                           const double* gPrev, int k);

void conjgrad_free();

#endif
