// Cholesky factorisation of symmetric positive definite matrices, blocked,
// under a pivot rule the caller chooses; the solves and log-determinant.
#ifndef SUPPORT_CHOLESKY_H
#define SUPPORT_CHOLESKY_H

#include "scriptrun/plugin_api.h"

// What a pivot's floor is measured against.
enum class PivotScale {
    absolute,          // the floor is the factor itself
    largest_diagonal,  // factor times the largest diagonal entry (0 when none is positive)
    own_diagonal       // factor times |a[j][j]| of the matrix as given
};

// Pivot j is the Schur complement's diagonal entry, L[j][j]^2. It is accepted
// when it is finite, positive and above the floor (or equal to it, when
// inclusive); otherwise the matrix counts as singular to that precision or
// as not positive definite.
struct PivotRule {
    PivotScale scale;  // what factor multiplies
    double factor;     // floor per unit of scale
    bool inclusive;    // a pivot equal to the floor passes
};

// Told each pivot's index before that pivot is tested (a progress display).
struct PivotListener {
    void (*notify)(void* context, int pivot);  // the call
    void* context;                             // handed back unchanged
};

// a = L L' with L written into a's lower triangle; only the lower triangle is
// read and the strict upper triangle is left as it was. False at the first
// pivot the rule refuses (a's lower triangle is then partly overwritten), or
// after a message when a is not square.
bool cholesky_factor(DataMatrix* a, const PivotRule& rule, const PivotListener* listener = nullptr);

// log det(L L') = 2 sum_j log L[j][j] for a factor from cholesky_factor.
double cholesky_log_determinant(const DataMatrix* l);

// b := L^-1 b for the n x r matrix b (forward substitution on all columns).
void cholesky_solve_lower(const DataMatrix* l, DataMatrix* b);

// b := L'^-1 b for the n x r matrix b (back substitution on all columns).
void cholesky_solve_upper(const DataMatrix* l, DataMatrix* b);

// b := (L L')^-1 b for the n x r matrix b.
void cholesky_solve(const DataMatrix* l, DataMatrix* b);

// The diagonal case of the factorisation: reciprocals[i] := 1 / entries[i]
// for the n entries of a diagonal matrix, each entry its own pivot under the
// rule, and *logDeterminant := sum_i log entries[i]. False at the first entry
// the rule refuses (reciprocals and *logDeterminant then unspecified).
bool invert_diagonal(const double* entries, int n, const PivotRule& rule, double* reciprocals,
                     double* logDeterminant);

#endif
