// Scoring of per-class outputs for the script function `learning_rate`.
#ifndef TOOLBELT_SCORING_H
#define TOOLBELT_SCORING_H

#include "scriptrun/plugin_api.h"

// Percentage of rows whose last column equals, as a real, the index (from 0)
// of the largest of the other columns plus `offset`; the first of equal
// largest values wins, and a matrix of one column predicts -1. Needs
// rows > 0, cols > 0 and data.
double classification_rate(const DataMatrix& scores, double offset);

#endif
