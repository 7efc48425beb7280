// Test functions for the interpreter's end-to-end cases: they make values,
// describe the arguments they get and change a matrix in place.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scriptrun/messages.h"
#include "scriptrun/plugin_api.h"

namespace {

void describe(void* value, int type)
{
    switch (type) {
    case VALUE_STRING:
        print_message(" string '%s'", static_cast<char*>(value));
        break;
    case VALUE_NUMBER:
        print_message(" number %g", *static_cast<double*>(value));
        break;
    case VALUE_MATRIX: {
        auto* matrix = static_cast<DataMatrix*>(value);
        print_message(" matrix %dx%d first %g", matrix->rows, matrix->cols, matrix->data[0]);
        break;
    }
    default:
        print_message(" type %d", type);
    }
}

}  // namespace

// show(...): prints the count and each argument; returns nothing.
PLUGIN_EXPORT void* show(void** values, int* types, int count, int*)
{
    print_message("show %d%s:", count, values == nullptr && types == nullptr ? " null" : "");
    for (int i = 0; i < count; ++i)
        describe(values[i], types[i]);
    print_message("\n");
    return nullptr;
}

// make_number(x): a new number holding x.
PLUGIN_EXPORT void* make_number(void** values, int* types, int count, int* result_type)
{
    if (count != 1 || types[0] != VALUE_NUMBER)
        return nullptr;
    auto* number = static_cast<double*>(malloc(sizeof(double)));
    *number = *static_cast<double*>(values[0]);
    *result_type = VALUE_NUMBER;
    return number;
}

// make_string(s): a new copy of s.
PLUGIN_EXPORT void* make_string(void** values, int* types, int count, int* result_type)
{
    if (count != 1 || types[0] != VALUE_STRING)
        return nullptr;
    *result_type = VALUE_STRING;
    return strdup(static_cast<char*>(values[0]));
}

// make_matrix(rows, cols): a matrix of ones.
PLUGIN_EXPORT void* make_matrix(void** values, int* types, int count, int* result_type)
{
    if (count != 2 || types[0] != VALUE_NUMBER || types[1] != VALUE_NUMBER)
        return nullptr;
    auto* matrix = static_cast<DataMatrix*>(malloc(sizeof(DataMatrix)));
    matrix->rows = static_cast<int>(*static_cast<double*>(values[0]));
    matrix->cols = static_cast<int>(*static_cast<double*>(values[1]));
    matrix->data = static_cast<double*>(malloc(sizeof(double) * matrix->rows * matrix->cols));
    for (int i = 0; i < matrix->rows * matrix->cols; ++i)
        matrix->data[i] = 1.0;
    *result_type = VALUE_MATRIX;
    return matrix;
}

// scale(matrix, factor): multiplies the matrix in place; returns nothing.
PLUGIN_EXPORT void* scale(void** values, int* types, int count, int*)
{
    if (count != 2 || types[0] != VALUE_MATRIX || types[1] != VALUE_NUMBER)
        return nullptr;
    auto* matrix = static_cast<DataMatrix*>(values[0]);
    for (int i = 0; i < matrix->rows * matrix->cols; ++i)
        matrix->data[i] *= *static_cast<double*>(values[1]);
    return nullptr;
}
