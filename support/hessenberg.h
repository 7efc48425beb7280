// General real eigenproblems: balancing by powers of two, Householder
// reduction to upper Hessenberg form, and the Francis double-shift QR
// iteration on that form.
#ifndef SUPPORT_HESSENBERG_H
#define SUPPORT_HESSENBERG_H

#include <vector>

#include "scriptrun/plugin_api.h"

// A square matrix a = 2^exponent D Q H Q' D^-1, with H upper Hessenberg, Q
// the product of the reflections kept below H's subdiagonal and D the
// balancing (the identity unless asked for).
struct HessenbergForm {
    int n = 0;                 // order
    int exponent = 0;          // the copy holds a * 2^-exponent, largest |entry| in [0.5, 1)
    double norm = 0.0;         // largest |entry| of the scaled copy (0 for a zero matrix)
    std::vector<double> work;  // n x n row by row: H on and above the subdiagonal, below it
                               // column k's reflection vector in rows k+2..n-1
    std::vector<double> tau;   // n; step k's reflection is I - tau[k] v v' on k+1..n-1
};

// Reduces a (balanced first when balance is true, which changes no
// eigenvalue but makes them better determined; the reflections then belong
// to the balanced matrix); throws std::bad_alloc without memory.
void reduce_to_hessenberg(const DataMatrix* a, bool balance, HessenbergForm* h);

// Eigenvalues of H, in H's scale (a's times 2^-exponent), into re and im (n
// each) at their places along the real Schur form; overwrites H. At most
// 30 n double-shift steps in all, with exceptional shifts after 10 and 20
// fruitless steps; false when the cap is reached.
bool hessenberg_eigenvalues(HessenbergForm* h, double* re, double* im);

// y := Q' y for one vector of n entries.
void to_hessenberg_basis(const HessenbergForm& h, double* y);
// Each of the k columns of the n x k block (row by row) y := Q y.
void columns_from_hessenberg_basis(const HessenbergForm& h, double* block, int k);

#endif
