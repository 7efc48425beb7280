// The pair scatter of the pair-weighted discriminant: every ordered pair of
// rows adds the outer product of its difference, weighted by "spring" when
// the two labels are equal (as reals) and by "antispring" when they differ.
#ifndef GROUPFOLD_PAIR_SCATTER_H
#define GROUPFOLD_PAIR_SCATTER_H

#include "scriptrun/plugin_api.h"

// Weights of the two kinds of pairs.
struct PairWeights {
    double spring;      // pair of equal labels; default -1
    double antispring;  // pair of different labels; default 1
};

// The weights from an option string. "spring" is looked up first, then
// "antispring"; as keys match as plain substrings, an option string that
// names only "antispring" sets both. False after the refusal of a weight
// that is not a finite number, naming it after prefix.
bool read_pair_weights(const char* options, const char* prefix, PairWeights* weights);

// S (d x d) = sum over ordered pairs (i, j) of w_ij (x_i - x_j)(x_i - x_j)',
// computed in O(n d^2) from the identity, for a group G of n_G rows with
// mean mu_G, sum over i, j in G of (x_i - x_j)(x_i - x_j)' =
// 2 n_G sum over i in G of (x_i - mu_G)(x_i - mu_G)'. With all rows as one
// group and each label as a group:
//   S = 2 a n sum_i (x_i - mu)(x_i - mu)'
//       + 2 (s - a) sum_G n_G sum_{i in G} (x_i - mu_G)(x_i - mu_G)'.
// Prints the progress counter once per row. False when memory is short.
bool pair_scatter(const DataMatrix* x, const DataMatrix* y, PairWeights weights,
                  DataMatrix* s);

#endif
