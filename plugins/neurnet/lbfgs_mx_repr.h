// L-BFGS direction by the compact representation
//   H = gI + [S gY] M [S gY]^T,
//   M = [[R^-T (D + g Y^T Y) R^-1, -R^-T], [-R^-1, 0]],
// with g = (s.y)/(y.y) of the newest pair, R the upper triangle of S^T Y and
// D its diagonal. R^-1 is kept up to date as pairs enter.
#ifndef NEURNET_LBFGS_MX_REPR_H
#define NEURNET_LBFGS_MX_REPR_H

// 1, or 0 after "out of memory\n" with nothing held.
int lbfgs_mx_repr_init(int n, int m);

// H*g after storing (x - xPrev, g - gPrev), not negated; g itself when
// k = 0 or s.y = 0. Prints "lbfgs mx. repr. is done\n" on standard output
// after every call that stored a pair.
double* lbfgs_mx_repr_direction(const double* x, const double* xPrev, const double* g,
                                const double* gPrev, int k);

void lbfgs_mx_repr_free();

#endif
