// The least-squares machine's linear system: (K + I/gamma) alpha = y for
// every class at once, by Gauss-Jordan elimination rules.
#ifndef SQUAREMARK_SOLVE_H
#define SQUAREMARK_SOLVE_H

// a: n x n symmetric system matrix, row by row (destroyed); v: n x c right
// sides, overwritten by the solution. The result is that of a Gauss-Jordan
// elimination without row exchanges: a pivot whose magnitude is below
// epsilon (or NaN) zeroes its row of v and eliminates nothing, and a row
// whose current diagonal is not positive is left out of an elimination.
// When every pivot is at least epsilon (a positive definite system) the same
// solution is reached by a blocked Cholesky factorisation, which is the path
// normally taken. Progress lines go to the console when progress is true.
void solve_kernel_system(double* a, int n, double* v, int c, double epsilon, bool progress);

// The elimination itself, step by step, for any system (the reference the
// factorisation must agree with).
void gauss_jordan_solve(double* a, int n, double* v, int c, double epsilon, bool progress);

#endif
