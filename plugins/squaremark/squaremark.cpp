// Script functions of the least-squares support vector machine:
// train_squaremark writes the model file, test_squaremark returns the
// per-class outputs of a database.
#include <string>

#include "filesave/filesave.h"
#include "plugins/kernel_classifier/database_checks.h"
#include "plugins/squaremark/model.h"
#include "plugins/squaremark/training.h"
#include "scriptrun/messages.h"
#include "support/kernel_matrix.h"
#include "support/matrix.h"
#include "xml/xml_functions.h"

namespace {

// (database matrix, model file name [, options]) in the documented order.
bool check_train_arguments(void** values, const int* types, int count)
{
    const char* message = nullptr;
    if (count < 2)
        message = "train_squaremark: at least 2 parameters are required\n";
    else if (types[0] != VALUE_MATRIX)
        message = "train_squaremark: 1st parameter must be a database matrix\n";
    else if (types[1] != VALUE_STRING)
        message = "train_squaremark: 2nd parameter must be a string (XML file name)\n";
    else if (count == 3 && types[2] != VALUE_STRING)
        message = "train_squaremark: 3rd parameter can be a string (containing options)\n";
    else if (count > 3)
        message = "train_squaremark: too much parameter\n";
    if (message == nullptr) {
        const DataMatrix* db = static_cast<const DataMatrix*>(values[0]);
        if (db == nullptr || db->rows <= 0 || db->cols < 2 || db->data == nullptr)
            message = "train_squaremark: empty the input matrix\n";
        else if (values[1] == nullptr)
            message = "train_squaremark: empty XML file name\n";
    }
    if (message != nullptr)
        print_message("%s", message);
    return message == nullptr;
}

bool check_test_arguments(void** values, const int* types, int count)
{
    const char* message = nullptr;
    if (count != 2)
        message = "test_squaremark: 2 parameters are required\n";
    else if (types[0] != VALUE_MATRIX)
        message = "test_squaremark: 1st parameter must be a database matrix\n";
    else if (types[1] != VALUE_STRING)
        message = "test_squaremark: 2nd parameter must be a string (XML file name)\n";
    else if (values[0] == nullptr || values[1] == nullptr)
        message = "test_squaremark: empty parameter\n";
    if (message != nullptr)
        print_message("%s", message);
    return message == nullptr;
}

// The outputs of db under an opened model; null after a message.
DataMatrix* test_database(const DataMatrix* db, const SquaremarkModel& model)
{
    DataMatrix* out = matrix_alloc(db->rows, model.classes + 1);
    if (!out) {
        print_message("test_squaremark: not enough memory (out)!\n");
        return nullptr;
    }
    DataMatrix* Y = matrix_alloc(db->rows, db->cols - 1);
    DataMatrix* y = Y ? matrix_alloc(db->rows, 1) : nullptr;
    KernelMatrix* kernel = nullptr;
    if (!Y)
        print_message("test_squaremark: not enough memory (Y)\n");
    else if (!y)
        print_message("test_squaremark: not enough memory (y)\n");
    else {
        split_features_labels(db, Y, y);
        kernel = init_kernel_matrix(Y, model.X, 0);
        if (!kernel)
            print_message("test_squaremark: not enough memory (kernel matrix init)\n");
    }
    if (kernel) {
        set_kernel_type(kernel, model.kernel);
        for (int p = 0; p < 5; p++)
            set_kernel_parameter(kernel, p, model.param[p]);
        apply_squaremark_model(model, kernel, y, out);
        destroy_kernel_matrix(kernel);
        if (!check_kernel_values(out, model.classes, "test_squaremark")) {
            matrix_free(out);
            out = nullptr;
        }
    } else {
        matrix_free(out);
        out = nullptr;
    }
    matrix_free(Y);
    matrix_free(y);
    return out;
}

}  // namespace

PLUGIN_EXPORT void* train_squaremark(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    if (!check_train_arguments(values, types, count))
        return nullptr;
    const DataMatrix* db = static_cast<const DataMatrix*>(values[0]);
    const char* file = static_cast<const char*>(values[1]);
    const char* options = count == 3 ? static_cast<const char*>(values[2]) : nullptr;
    SquaremarkSettings settings;
    if (!read_squaremark_settings(options, &settings) ||
        !check_database_values(db, "train_squaremark"))
        return nullptr;
    if (!output_writable(print_message, "train_squaremark", "model file", file))
        return nullptr;
    train_squaremark_model(db, file, settings);
    return nullptr;
}

PLUGIN_EXPORT void* test_squaremark(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    if (!check_test_arguments(values, types, count))
        return nullptr;
    const DataMatrix* db = static_cast<const DataMatrix*>(values[0]);
    const char* file = static_cast<const char*>(values[1]);
    XMLParser* h = nullptr;
    if (!XMLopen(&h, file)) {
        print_message("test_squaremark: the XML file name is not valid!\n");
        XMLclose(&h);
        return nullptr;
    }
    SquaremarkModel model;
    DataMatrix* out = nullptr;
    if (read_squaremark_model(&h, db->cols, &model)) {
        out = test_database(db, model);
        free_squaremark_model(&model);
    }
    if (out) {
        stamp_squaremark_test(&h, file);
        *resultType = VALUE_MATRIX;
    }
    XMLclose(&h);
    return out;
}
