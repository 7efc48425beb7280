// Limited-memory BFGS search direction by the two-loop recursion over the
// newest correction pairs. One module-level memory per deliverable that
// compiles this file: one optimisation at a time uses it.
#ifndef LBFGS_2LOOP_H
#define LBFGS_2LOOP_H

// Takes the memory for vectors of n doubles and readies a store of at most
// m correction pairs, which grows as pairs arrive. An m of 0 or below keeps
// no pair, so that every direction is the gradient itself. Returns 1, or 0
// after "out of memory\n" with nothing held (then neither of the others is
// to be called).
int lbfgs_2loop_init(int n, int m);

// H*g for the current point x and gradient g, after storing the pair
// (x - xPrev, g - gPrev) when its s.y is positive and k > 0. k is the
// caller's iteration counter, 0 on the first call of an optimisation. The
// result is NOT negated (the caller steps to xPrev - alpha * result) and is
// the memory's own buffer, overwritten by the next call.
double* lbfgs_2loop_direction(const double* x, const double* xPrev,
                              const double* g, const double* gPrev, int k);

// Releases every buffer; a later optimisation starts with lbfgs_2loop_init.
void lbfgs_2loop_free();

#endif
