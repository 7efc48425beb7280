// The contract between scriptrun and its plug-in libraries: value type codes,
// the database matrix record and the signature of every script function.
#ifndef PLUGIN_API_H
#define PLUGIN_API_H

// Type code of a script value, as passed in the array of type codes.
enum ValueType : int {
    VALUE_EMPTY = 0,   // no value
    VALUE_STRING = 1,  // NUL-terminated text
    VALUE_NUMBER = 2,  // one double
    VALUE_MATRIX = 3,  // a DataMatrix
    VALUE_NAME = 4     // only while the interpreter classifies an argument
};

// One sample per row, row by row: entry (r, c) at data[r * cols + c].
struct DataMatrix {
    int rows;      // number of rows
    int cols;      // number of columns
    double* data;  // rows * cols reals
};

// result = f(values, types, count, &resultType). Both arrays are null when
// count is 0; the host presets *resultType to VALUE_EMPTY.
typedef void* (*ScriptFunction)(void** values, int* types, int count,
                                int* resultType);

// Marks a symbol that the host (or another program) may bind by name.
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

#endif
