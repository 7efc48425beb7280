// Inverse iteration on a reduced form: LU factors of the shifted tridiagonal
// or Hessenberg matrix (each solve O(n) or O(n^2)) and the iteration itself.
#ifndef SUPPORT_INVERSE_ITERATION_H
#define SUPPORT_INVERSE_ITERATION_H

#include <functional>
#include <vector>

#include "support/hessenberg.h"

// T - sigma I = P L U for the symmetric tridiagonal T, partial pivoting.
struct TridiagonalLu {
    std::vector<double> u0;      // n; U's diagonal
    std::vector<double> u1;      // n; U's first superdiagonal
    std::vector<double> u2;      // n; U's second superdiagonal (fill-in of the exchanges)
    std::vector<double> l;       // n; multiplier that eliminated row i+1 with row i
    std::vector<char> exchanged; // n; 1 when rows i and i+1 were exchanged first
};

// Factors T - sigma I for T = (diag, off) (off[i] couples i and i+1);
// false when U has an exact zero on its diagonal.
bool factor_tridiagonal(const std::vector<double>& diag, const std::vector<double>& off,
                        double sigma, TridiagonalLu* lu);
// x := (T - sigma I)^-1 x.
void solve_tridiagonal(const TridiagonalLu& lu, double* x);

// H - sigma I = P L U for the upper Hessenberg H of a reduced form.
struct HessenbergLu {
    int n = 0;                    // order
    std::vector<double> u;        // U's rows packed: row i holds columns i..n-1
    std::vector<size_t> start;    // n; where row i begins in u
    std::vector<double> l;        // n; multiplier that eliminated row i+1 with row i
    std::vector<char> exchanged;  // n; 1 when rows i and i+1 were exchanged first
};

bool factor_hessenberg(const HessenbergForm& h, double sigma, HessenbergLu* lu);
void solve_hessenberg(const HessenbergLu& lu, double* x);

// How inverse iteration ended.
enum class IterationEnd {
    converged,  // x holds a unit vector
    lost        // an iterate was zero or not finite
};

// From the start x (n entries): y := solve(x), then orthogonalise(y) (which
// may do nothing), y normalised, c = |y - x|, x := y; stops when c <= 1e-10,
// or after the first pass when c fell by no more than 1e-10 since the
// previous pass, or after 40 passes. y is work space of n entries.
IterationEnd inverse_iteration(const std::function<void(double*)>& solve,
                               const std::function<void(double*)>& orthogonalise, double* x,
                               double* y, int n);

#endif
