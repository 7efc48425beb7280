// Script function load_database(file name): a database matrix from a text
// file of numbers.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "reader.h"
#include "scriptrun/messages.h"
#include "scriptrun/plugin_api.h"

namespace {

// The matrix and its data come from malloc: the numeric code that later
// releases matrices frees them that way. The values are taken over, not copied.
DataMatrix* make_matrix(TextTable& table)
{
    DataMatrix* matrix = static_cast<DataMatrix*>(malloc(sizeof(DataMatrix)));
    if (!matrix)
        return nullptr;
    matrix->rows = table.rows;
    matrix->cols = table.cols;
    matrix->data = table.values.release();
    return matrix;
}

// Reads the file; null after printing the reason.
DataMatrix* load_matrix(const char* path)
{
    try {
        TextTable table;
        std::string error;
        if (!read_text_table(path, table, error)) {
            print_message("load_database: %s\n", error.c_str());
            return nullptr;
        }
        DataMatrix* matrix = make_matrix(table);
        if (!matrix)
            print_message("load_database: not enough memory\n");
        return matrix;
    } catch (const std::bad_alloc&) {
        print_message("load_database: not enough memory\n");
        return nullptr;
    }
}

}  // namespace

PLUGIN_EXPORT void* load_database(void** values, int* types, int count, int* resultType)
{
    if (count != 1) {
        print_message("load_database: 1 parameter is required\n");
        return nullptr;
    }
    if (types[0] != VALUE_STRING || !values[0]) {
        print_message("load_database: the 1st parameter must be a file name\n");
        return nullptr;
    }
    DataMatrix* matrix = load_matrix(static_cast<const char*>(values[0]));
    if (matrix)
        *resultType = VALUE_MATRIX;
    return matrix;
}
