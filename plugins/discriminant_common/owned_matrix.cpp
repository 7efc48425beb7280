// Helpers for the records the discriminant plug-ins own.
#include "plugins/discriminant_common/owned_matrix.h"

#include <cmath>

bool all_finite(const DataMatrix* m)
{
    size_t count = static_cast<size_t>(m->rows) * static_cast<size_t>(m->cols);
    for (size_t i = 0; i < count; ++i)
        if (!std::isfinite(m->data[i]))
            return false;
    return true;
}
