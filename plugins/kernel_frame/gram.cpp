// Row-by-row Gram products in 4 x 4 tiles: each pass over k feeds sixteen
// independent sums from eight loads, which keeps the products near the
// machine's multiply-add rate without any library.
#include "plugins/kernel_frame/gram.h"

#include <algorithm>
#include <vector>

#include "support/matrix.h"

namespace {

const int TILE = 4;

// The 4 x 4 sums of rows ri[0..3] against rows rj[0..3] over p columns.
void tile_sums(const double* const* ri, const double* const* rj, int p, double sums[TILE][TILE])
{
    double s00 = 0, s01 = 0, s02 = 0, s03 = 0, s10 = 0, s11 = 0, s12 = 0, s13 = 0;
    double s20 = 0, s21 = 0, s22 = 0, s23 = 0, s30 = 0, s31 = 0, s32 = 0, s33 = 0;
    for (int k = 0; k < p; ++k) {
        double a0 = ri[0][k], a1 = ri[1][k], a2 = ri[2][k], a3 = ri[3][k];
        double b0 = rj[0][k], b1 = rj[1][k], b2 = rj[2][k], b3 = rj[3][k];
        s00 += a0 * b0; s01 += a0 * b1; s02 += a0 * b2; s03 += a0 * b3;
        s10 += a1 * b0; s11 += a1 * b1; s12 += a1 * b2; s13 += a1 * b3;
        s20 += a2 * b0; s21 += a2 * b1; s22 += a2 * b2; s23 += a2 * b3;
        s30 += a3 * b0; s31 += a3 * b1; s32 += a3 * b2; s33 += a3 * b3;
    }
    double all[TILE][TILE] = {{s00, s01, s02, s03}, {s10, s11, s12, s13},
                              {s20, s21, s22, s23}, {s30, s31, s32, s33}};
    std::copy(&all[0][0], &all[0][0] + TILE * TILE, &sums[0][0]);
}

}  // namespace

void weighted_gram(const DataMatrix* a, const double* w, double scale, DataMatrix* out,
                   void (*progress)(int row))
{
    int n = a->rows, p = a->cols;
    // The weighted rows of one tile, and a zero row for tiles past the end.
    std::vector<double> weighted(static_cast<size_t>(TILE) * p), zero(p, 0.0);
    for (int i0 = 0; i0 < n; i0 += TILE) {
        const double* ri[TILE];
        for (int t = 0; t < TILE; ++t) {
            int i = i0 + t;
            if (i >= n) {
                ri[t] = zero.data();
                continue;
            }
            if (progress != nullptr)
                progress(i);
            const double* row = matrix_row(a, i);
            double* dest = &weighted[static_cast<size_t>(t) * p];
            for (int k = 0; k < p; ++k)
                dest[k] = w != nullptr ? row[k] * w[k] : row[k];
            ri[t] = dest;
        }
        for (int j0 = 0; j0 <= i0; j0 += TILE) {
            const double* rj[TILE];
            for (int t = 0; t < TILE; ++t)
                rj[t] = j0 + t < n ? matrix_row(a, j0 + t) : zero.data();
            double sums[TILE][TILE];
            tile_sums(ri, rj, p, sums);
            for (int s = 0; s < TILE && i0 + s < n; ++s)
                for (int t = 0; t < TILE && j0 + t <= i0 + s; ++t) {
                    double value = scale * sums[s][t];
                    matrix_row(out, i0 + s)[j0 + t] = value;
                    matrix_row(out, j0 + t)[i0 + s] = value;
                }
        }
    }
}
