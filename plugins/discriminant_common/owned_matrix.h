// Scope-bound ownership of DataMatrix records made by matrix_alloc.
#ifndef DISCRIMINANT_OWNED_MATRIX_H
#define DISCRIMINANT_OWNED_MATRIX_H

#include <memory>

#include "support/matrix.h"

struct MatrixRelease {
    void operator()(DataMatrix* m) const { matrix_free(m); }
};

// A record released with matrix_free when it goes out of scope.
using OwnedMatrix = std::unique_ptr<DataMatrix, MatrixRelease>;

// matrix_alloc under ownership; null on a bad size or no memory.
inline OwnedMatrix make_matrix(int rows, int cols)
{
    return OwnedMatrix(matrix_alloc(rows, cols));
}

#endif
