// Utility script functions: `number` and `string` turn literals into values,
// `write` prints formatted text, `learning_rate` scores per-class outputs.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "format.h"
#include "scoring.h"
#include "scriptrun/messages.h"
#include "scriptrun/plugin_api.h"

PLUGIN_EXPORT void* number(void** values, int* types, int count, int* resultType)
{
    if (count <= 0 || types[0] != VALUE_NUMBER || !values[0]) {
        print_message("write: the 1st parameter must be a number\n");
        return nullptr;
    }
    double* result = static_cast<double*>(malloc(sizeof(double)));
    if (!result)
        fatal_message("number: not enough memory!\n");
    *result = *static_cast<double*>(values[0]);
    *resultType = VALUE_NUMBER;
    return result;
}

// The result type is set only with a text to return, so a variable never
// holds a null string.
PLUGIN_EXPORT void* string(void** values, int* types, int count, int* resultType)
{
    if (count <= 0 || types[0] != VALUE_STRING) {
        print_message("write: the 1st parameter must be a string\n");
        return nullptr;
    }
    if (!values[0])
        return nullptr;
    char* copy = strdup(static_cast<const char*>(values[0]));
    if (copy)
        *resultType = VALUE_STRING;
    return copy;
}

// The text goes out with fwrite, not through a "%s" format, because "%c"
// with 0 puts NUL bytes into it that must not end the output.
PLUGIN_EXPORT void* write(void** values, int* types, int count, int* /*resultType*/)
{
    if (count <= 0)
        return nullptr;
    if (types[0] != VALUE_STRING || !values[0]) {
        print_message("write: the 1st parameter must be a string(format string)\n");
        return nullptr;
    }
    const char* format = static_cast<const char*>(values[0]);
    if (strlen(format) > WRITE_BUFFER_SIZE - 1) {
        print_message("write: too long format string\n");
        return nullptr;
    }
    char output[WRITE_BUFFER_SIZE];
    int length = format_write(format, values, types, count, output);
    fwrite(output, 1, length, stderr);
    return nullptr;
}

// Returns -1 on every error, so a script can print the result either way.
PLUGIN_EXPORT void* learning_rate(void** values, int* types, int count, int* resultType)
{
    double* result = static_cast<double*>(malloc(sizeof(double)));
    if (!result)
        fatal_message("learning_rate: not enough memory!\n");
    *result = -1.0;
    *resultType = VALUE_NUMBER;
    if (count < 1 || count > 2) {
        print_message("learning rate: 1 or 2 parameters are required\n");
        return result;
    }
    if (types[0] != VALUE_MATRIX) {
        print_message("learning rate: the 1st parameter must be a database matrix\n");
        return result;
    }
    if (count == 2 && (types[1] != VALUE_NUMBER || !values[1])) {
        print_message("learning rate: the 2nd parameter must be a number\n");
        return result;
    }
    const DataMatrix* scores = static_cast<const DataMatrix*>(values[0]);
    if (!scores) {
        print_message("learning rate: empty parameter\n");
        return result;
    }
    double offset = count == 2 ? *static_cast<double*>(values[1]) : 0.0;
    // A matrix without rows, columns or data has nothing to score.
    if (scores->rows > 0 && scores->cols > 0 && scores->data)
        *result = classification_rate(*scores, offset);
    return result;
}
