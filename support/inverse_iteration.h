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

// |(T - value I) x| and |(H - value I) x| (Euclidean; infinity when not finite).
double tridiagonal_residual(const std::vector<double>& diag, const std::vector<double>& off,
                            double value, const double* x);
double hessenberg_residual(const HessenbergForm& h, double value, const double* x);

// What one inverse iteration works with, all in the reduced form's basis.
struct IterationSteps {
    std::function<void(double*)> solve;               // x := (form - sigma I)^-1 x
    std::function<void(double*)> orthogonalise;       // may do nothing
    std::function<double(const double*)> residual;    // |(form - value I) x|
};

// How inverse iteration ended.
enum class IterationEnd {
    converged,      // x holds the accepted unit vector
    lost,           // an iterate was zero or not finite
    no_eigenvector  // no iterate had an allowed residual within the cap
};

// From the start x (n entries), each pass: y := (sigma I - form)^-1 x,
// orthogonalised and normalised, c = the change of direction from x, x := y.
// Ends when c <= 1e-10, or from the 6th pass on when c fell by no more than
// 1e-10 since the previous pass, provided x's residual is within allowed;
// otherwise after 40 passes with the iterate of smallest residual, accepted
// only when that residual is within allowed. y is work space of n entries.
IterationEnd inverse_iteration(const IterationSteps& steps, double allowed, double* x, double* y,
                               int n);

#endif
