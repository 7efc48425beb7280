// Exact rescaling of a feature set by a power of two.
#include "plugins/discriminant_common/unit_scale.h"

#include <cmath>

#include "support/matrix.h"

int scale_to_unit(DataMatrix* m)
{
    size_t count = matrix_entry_count(m->rows, m->cols);
    double largest = 0.0;
    for (size_t t = 0; t < count; t++)
        largest = std::fmax(largest, std::fabs(m->data[t]));
    int exponent = 0;
    if (largest > 0.0)
        std::frexp(largest, &exponent);
    for (size_t t = 0; t < count; t++)
        m->data[t] = std::ldexp(m->data[t], -exponent);
    return exponent;
}
