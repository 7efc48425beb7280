// Least-squares solutions of A x = b (rows >= columns) by Householder QR:
// factorise once in place, then solve for any number of right-hand sides.
#ifndef SUPPORT_LEAST_SQUARES_H
#define SUPPORT_LEAST_SQUARES_H

#include "scriptrun/plugin_api.h"

// Overwrites a with its QR form and diag (a->cols x 1) with the
// reflections' diagonal part.
void init_leastsquare(DataMatrix* a, DataMatrix* diag);
// x := least-squares solution against a factorisation by init_leastsquare;
// returns 1, or 0 (x unchanged) after a message on bad sizes or a factor
// with an exact zero on its diagonal.
int multi_leastsquare(const DataMatrix* qr, const DataMatrix* diag, const DataMatrix* b,
                      DataMatrix* x);
// x := least-squares solution of a x = b; a and b unchanged.
void leastsquare(const DataMatrix* a, const DataMatrix* b, DataMatrix* x);

#endif
