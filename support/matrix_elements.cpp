// The element-access set: records without their own storage, entry access,
// entry-by-entry arithmetic, sums, norms and the quadratic form.
#include "matrix.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool in_range(const DataMatrix* m, int row, int col)
{
    return m && m->data && row >= 0 && row < m->rows && col >= 0 && col < m->cols;
}

double* entry(const DataMatrix* m, int row, int col)
{
    return m->data + static_cast<size_t>(row) * m->cols + col;
}

bool equal_sizes(const DataMatrix* a, const DataMatrix* b)
{
    return a && b && a->data && b->data && a->rows == b->rows && a->cols == b->cols;
}

size_t entries(const DataMatrix* m)
{
    return m && m->data ? matrix_entry_count(m->rows, m->cols) : 0;
}

// a := a op b entry by entry when the sizes agree.
template <typename Op>
void combine(DataMatrix* a, const DataMatrix* b, Op op)
{
    if (!equal_sizes(a, b))
        return;
    size_t count = entries(a);
    for (size_t t = 0; t < count; t++)
        a->data[t] = op(a->data[t], b->data[t]);
}

}  // namespace

void matrix_alloc_data(DataMatrix* m, int rows, int cols)
{
    if (!m)
        return;
    size_t count = matrix_entry_count(rows, cols);
    m->data = count ? static_cast<double*>(std::malloc(count * sizeof(double))) : nullptr;
    m->rows = m->data ? rows : 0;
    m->cols = m->data ? cols : 0;
}

DataMatrix* matrix_wrap(DataMatrix* m, int rows, int cols, double* data)
{
    if (!m)
        return nullptr;
    m->rows = rows;
    m->cols = cols;
    m->data = data;
    return m;
}

void matrix_release_data(DataMatrix* m)
{
    if (!m || !m->data)
        return;
    std::free(m->data);
    m->data = nullptr;
    m->rows = 0;
    m->cols = 0;
}

// Moves the labels out and packs the features row by row into the front of
// the same block; row 0 is already in place.
void split_label_column(DataMatrix* db, DataMatrix* labels)
{
    if (!db || db->rows <= 0 || db->cols <= 1 || !db->data || !labels || labels == db)
        return;
    matrix_resize(labels, db->rows, 1);
    if (!labels->data)
        return;
    size_t cols = db->cols;
    for (int r = 0; r < db->rows; r++)
        labels->data[r] = db->data[r * cols + cols - 1];
    for (int r = 1; r < db->rows; r++)
        std::memmove(db->data + r * (cols - 1), db->data + r * cols, sizeof(double) * (cols - 1));
    db->cols--;
}

double matrix_get(const DataMatrix* m, int row, int col)
{
    return in_range(m, row, col) ? *entry(m, row, col) : 0.0;
}

void matrix_set(DataMatrix* m, int row, int col, double value)
{
    if (in_range(m, row, col))
        *entry(m, row, col) = value;
}

void matrix_add_to(DataMatrix* m, int row, int col, double value)
{
    if (in_range(m, row, col))
        *entry(m, row, col) += value;
}

void matrix_add(DataMatrix* a, const DataMatrix* b)
{
    combine(a, b, [](double x, double y) { return x + y; });
}

void matrix_subtract(DataMatrix* a, const DataMatrix* b)
{
    combine(a, b, [](double x, double y) { return x - y; });
}

void matrix_multiply_elements(DataMatrix* a, const DataMatrix* b)
{
    combine(a, b, [](double x, double y) { return x * y; });
}

void matrix_copy(DataMatrix* dst, const DataMatrix* src)
{
    combine(dst, src, [](double, double y) { return y; });
}

DataMatrix* matrix_scale(DataMatrix* m, double factor)
{
    size_t count = entries(m);
    for (size_t t = 0; t < count; t++)
        m->data[t] *= factor;
    return m;
}

void matrix_set_row(DataMatrix* m, int i, const double* values)
{
    if (in_range(m, i, 0) && values)
        std::memmove(entry(m, i, 0), values, sizeof(double) * m->cols);
}

double matrix_sum(const DataMatrix* m)
{
    double sum = 0.0;
    size_t count = entries(m);
    for (size_t t = 0; t < count; t++)
        sum += m->data[t];
    return sum;
}

double vector_norm(const DataMatrix* v)
{
    if (!v || (v->rows != 1 && v->cols != 1))
        return 0.0;
    double sum = 0.0;
    size_t count = entries(v);
    for (size_t t = 0; t < count; t++)
        sum += v->data[t] * v->data[t];
    return std::sqrt(sum);
}

// x' a y = sum over i, j of x_i a_ij y_j, accumulated row by row.
double quadratic_form(const DataMatrix* a, const DataMatrix* x, const DataMatrix* y)
{
    if (!a || !x || !y || !a->data || !x->data || !y->data || x->cols != 1 || y->cols != 1 ||
        a->rows <= 0 || x->rows != a->rows || y->rows != a->cols)
        return 0.0;
    double sum = 0.0;
    for (int i = 0; i < a->rows; i++) {
        const double* row = entry(a, i, 0);
        for (int j = 0; j < a->cols; j++)
            sum += x->data[i] * row[j] * y->data[j];
    }
    return sum;
}
