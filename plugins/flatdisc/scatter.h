// Class statistics and the between- and within-class scatter matrices of a
// labelled feature set (X: n x d, labels 1..L in y: n x 1).
#ifndef FLATDISC_SCATTER_H
#define FLATDISC_SCATTER_H

#include "scriptrun/plugin_api.h"

// Means and counts per class; filled by class_statistics.
struct ClassStatistics {
    DataMatrix* mean;         // m, 1 x d: overall mean
    DataMatrix* class_means;  // M, L x d: row c-1 the mean of class c (0 for no rows)
    DataMatrix* counts;       // N, L x 1: rows per class
};

// Fills the three records, which the caller allocated with the right sizes.
// A label c is taken truncated; rows whose label lies outside 1..L are left
// out of the class tables.
void class_statistics(const DataMatrix* x, const DataMatrix* y, ClassStatistics* stats);

// B[i][j] = sum over classes c of (M[c][i] - m[i]) (M[c][j] - m[j]) N[c] / n.
void between_scatter(const ClassStatistics& stats, int n, DataMatrix* b);

// W[i][j] = (1/n) sum over rows r of (x_r[i] - M[c_r][i]) (x_r[j] - M[c_r][j])
// / (N[c_r] - 1), divisor 1 when N[c_r] <= 1; epsilon is added to the diagonal.
// x is centred in place: row r becomes x_r - M[c_r].
void within_scatter(DataMatrix* x, const DataMatrix* y, const ClassStatistics& stats,
                    double epsilon, DataMatrix* w);

#endif
