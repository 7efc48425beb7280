// The execute function of the linear discriminant plug-ins: read a stored
// transformation and project the rows of a database matrix with it.
#ifndef DISCRIMINANT_EXECUTE_H
#define DISCRIMINANT_EXECUTE_H

#include "plugins/discriminant_common/arguments.h"

// What the stored "feature_number" counts: the transformation's input
// features (its rows) or its output features (its columns).
enum class FeatureNumberRole { inputs, outputs };

// result[r][k] = sum over i of x[r][i] t[i][k]; the last column of result is
// the database's last column (the label). result is rows x (t.cols + 1).
void project_rows(const DataMatrix* db, const DataMatrix* t, DataMatrix* result);

// The whole script function: checks, model reading, projection, history item.
void* execute_linear_model(void** values, const int* types, int count, int* resultType,
                           const DiscriminantTexts& texts, FeatureNumberRole role);

#endif
