// classification_rate: the share of rows whose label matches the arg-max.
#include "scoring.h"

#include <cstddef>

namespace {

// Column of the largest value among columns 0..cols-2, -1 when there are none.
int predicted_index(const double* row, int cols)
{
    int best = -1;
    for (int c = 0; c < cols - 1; ++c)
        if (best < 0 || row[c] > row[best])
            best = c;
    return best;
}

}  // namespace

double classification_rate(const DataMatrix& scores, double offset)
{
    long correct = 0;
    for (int r = 0; r < scores.rows; ++r) {
        const double* row = scores.data + static_cast<size_t>(r) * scores.cols;
        if (row[scores.cols - 1] == predicted_index(row, scores.cols) + offset)
            ++correct;
    }
    return correct * 100.0 / scores.rows;
}
