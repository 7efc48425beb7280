// The general set of matrix routines: allocation, rows, database splitting,
// class count, product, and the label check of the training functions.
#include "matrix.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "scriptrun/messages.h"
#include "support/large_block.h"

namespace {

// Truncating a real at or above this does not fit an int.
const double INT_LIMIT = 2147483648.0;

bool usable(const DataMatrix* m)
{
    return m && m->rows > 0 && m->cols > 0 && m->data;
}

}  // namespace

size_t matrix_entry_count(int rows, int cols)
{
    if (rows <= 0 || cols <= 0)
        return 0;
    size_t count = static_cast<size_t>(rows) * static_cast<size_t>(cols);
    return count > SIZE_MAX / sizeof(double) ? 0 : count;
}

DataMatrix* matrix_alloc(int rows, int cols)
{
    size_t count = matrix_entry_count(rows, cols);
    if (count == 0)
        return nullptr;
    DataMatrix* m = static_cast<DataMatrix*>(std::malloc(sizeof(DataMatrix)));
    if (!m)
        return nullptr;
    m->data = static_cast<double*>(allocate_block(count * sizeof(double)));
    if (!m->data) {
        std::free(m);
        return nullptr;
    }
    m->rows = rows;
    m->cols = cols;
    return m;
}

void matrix_resize(DataMatrix* m, int rows, int cols)
{
    if (!m || (m->rows == rows && m->cols == cols))
        return;
    std::free(m->data);
    size_t count = matrix_entry_count(rows, cols);
    m->data = count ? static_cast<double*>(std::malloc(count * sizeof(double))) : nullptr;
    m->rows = m->data ? rows : 0;
    m->cols = m->data ? cols : 0;
}

void matrix_free(DataMatrix* m)
{
    if (!m)
        return;
    std::free(m->data);
    std::free(m);
}

double* matrix_row(const DataMatrix* m, int i)
{
    if (!m || i < 0 || i >= m->rows)
        return nullptr;
    return m->data + static_cast<size_t>(i) * m->cols;
}

void split_features_labels(const DataMatrix* db, DataMatrix* features, DataMatrix* labels)
{
    // An output that is db itself would be freed by the resize before the copy.
    if (!db || db->rows <= 0 || db->cols <= 1 || !db->data || !features || !labels ||
        features == db || labels == db || features == labels)
        return;
    int cols = db->cols - 1;
    matrix_resize(features, db->rows, cols);
    matrix_resize(labels, db->rows, 1);
    if (!features->data || !labels->data)
        return;
    for (int r = 0; r < db->rows; r++) {
        const double* row = matrix_row(db, r);
        std::memcpy(matrix_row(features, r), row, sizeof(double) * cols);
        labels->data[r] = row[cols];
    }
}

// Largest label truncated toward zero, at least 0; NaN and values whose
// truncation does not fit an int are passed over.
int max_label(const DataMatrix* labels)
{
    if (!labels || labels->cols != 1 || labels->rows <= 0 || !labels->data)
        return 0;
    int result = 0;
    for (int r = 0; r < labels->rows; r++) {
        double v = labels->data[r];
        if (v < INT_LIMIT && v > result)
            result = static_cast<int>(v);
    }
    return result;
}

void matrix_fill(DataMatrix* m, double value)
{
    if (!m || !m->data)
        return;
    size_t count = matrix_entry_count(m->rows, m->cols);
    for (size_t t = 0; t < count; t++)
        m->data[t] = value;
}

// c := a b, one row at a time through a buffer, so c may be a itself; c may
// not be b, whose rows are still read after c's first row is written.
int matrix_multiply(const DataMatrix* a, const DataMatrix* b, DataMatrix* c)
{
    if (!usable(a) || !usable(b) || !usable(c) || c == b || a->cols != b->rows ||
        c->rows != a->rows || c->cols != b->cols)
        return 0;
    double* buffer = static_cast<double*>(std::malloc(sizeof(double) * c->cols));
    if (!buffer)
        return 0;
    for (int i = 0; i < a->rows; i++) {
        const double* arow = matrix_row(a, i);
        for (int j = 0; j < c->cols; j++)
            buffer[j] = 0.0;
        for (int k = 0; k < a->cols; k++) {
            const double* brow = matrix_row(b, k);
            for (int j = 0; j < c->cols; j++)
                buffer[j] += arow[k] * brow[j];
        }
        std::memcpy(matrix_row(c, i), buffer, sizeof(double) * c->cols);
    }
    std::free(buffer);
    return 1;
}

int check_labels(const DataMatrix* db, const char* prefix)
{
    if (!usable(db)) {
        print_message("%s: empty database matrix\n", prefix);
        return 0;
    }
    for (int r = 0; r < db->rows; r++) {
        double label = matrix_row(db, r)[db->cols - 1];
        if (!(std::isfinite(label) && label >= 1.0 && label < INT_LIMIT)) {
            print_message("%s: the class label in row %d is not a whole number of 1 or more\n",
                          prefix, r + 1);
            return 0;
        }
    }
    return 1;
}

bool all_finite(const DataMatrix* m)
{
    size_t count = m && m->data ? matrix_entry_count(m->rows, m->cols) : 0;
    for (size_t t = 0; t < count; t++)
        if (!std::isfinite(m->data[t]))
            return false;
    return true;
}

int check_finite_values(const DataMatrix* db, const char* prefix, int withLabel)
{
    // A matrix without values holds none that is not finite; the callers'
    // shape checks speak about it.
    if (!usable(db))
        return 1;
    for (int r = 0; r < db->rows; r++) {
        const double* row = matrix_row(db, r);
        for (int c = 0; c + 1 < db->cols; c++) {
            if (!std::isfinite(row[c])) {
                print_message("%s: the feature in row %d, column %d is not a finite number\n",
                              prefix, r + 1, c + 1);
                return 0;
            }
        }
        if (withLabel && !std::isfinite(row[db->cols - 1])) {
            print_message("%s: the class label in row %d is not a finite number\n", prefix,
                          r + 1);
            return 0;
        }
    }
    return 1;
}
