// DataMatrix records and the small routines around them: allocation, row
// access, database splitting, element access, arithmetic, product, inverse.
#ifndef SUPPORT_MATRIX_H
#define SUPPORT_MATRIX_H

#include <cstddef>

#include "scriptrun/plugin_api.h"

// Number of reals in a rows x cols block; 0 when a size is not positive or
// the block's byte count would not fit in an address.
size_t matrix_entry_count(int rows, int cols);

// General set.
DataMatrix* matrix_alloc(int rows, int cols);
void matrix_resize(DataMatrix* m, int rows, int cols);
void matrix_free(DataMatrix* m);
double* matrix_row(const DataMatrix* m, int i);
void split_features_labels(const DataMatrix* db, DataMatrix* features, DataMatrix* labels);
int max_label(const DataMatrix* labels);
void matrix_fill(DataMatrix* m, double value);
int matrix_multiply(const DataMatrix* a, const DataMatrix* b, DataMatrix* c);
double matrix_invert(DataMatrix* m);

// Every entry of m is a finite number; true for a null m or one without
// entries.
bool all_finite(const DataMatrix* m);

// Every training function refuses a database whose label column holds a
// value that is not finite, below 1, or too large for an int; prints
// "<prefix>: ..." naming the first bad row (1-based) and returns 0.
int check_labels(const DataMatrix* db, const char* prefix);

// Every feature of the database (all columns but the last) finite, and the
// label column too when withLabel is set: a value that is not finite would
// poison its row's results. Prints "<prefix>: the feature in row r, column c
// is not a finite number" (or "... the class label in row r ...") for the
// first fault, row by row, and returns 0. A matrix without values passes.
int check_finite_values(const DataMatrix* db, const char* prefix, int withLabel);

// Element-access set.
void matrix_alloc_data(DataMatrix* m, int rows, int cols);
DataMatrix* matrix_wrap(DataMatrix* m, int rows, int cols, double* data);
void matrix_release_data(DataMatrix* m);
void split_label_column(DataMatrix* db, DataMatrix* labels);
double matrix_get(const DataMatrix* m, int row, int col);
void matrix_set(DataMatrix* m, int row, int col, double value);
void matrix_add_to(DataMatrix* m, int row, int col, double value);
void matrix_add(DataMatrix* a, const DataMatrix* b);
void matrix_subtract(DataMatrix* a, const DataMatrix* b);
void matrix_multiply_elements(DataMatrix* a, const DataMatrix* b);
void matrix_copy(DataMatrix* dst, const DataMatrix* src);
DataMatrix* matrix_scale(DataMatrix* m, double factor);
void matrix_set_row(DataMatrix* m, int i, const double* values);
double matrix_sum(const DataMatrix* m);
double vector_norm(const DataMatrix* v);
double quadratic_form(const DataMatrix* a, const DataMatrix* x, const DataMatrix* y);
double invert_with_determinant(DataMatrix* m);

#endif
