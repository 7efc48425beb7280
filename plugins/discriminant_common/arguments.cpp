// Argument checks shared by the linear discriminant plug-ins.
#include "plugins/discriminant_common/arguments.h"

#include <string>

#include "scriptrun/messages.h"
#include "support/matrix.h"

bool check_compute_arguments(void** values, const int* types, int count,
                             const DiscriminantTexts& texts, ComputeArguments* out)
{
    const char* tag = texts.tag;
    if (count < 2) {
        print_message("%s: at least 2 parameters are required\n", tag);
        return false;
    }
    if (types[0] != VALUE_MATRIX) {
        print_message("%s: 1st parameter must be a database matrix\n", tag);
        return false;
    }
    if (types[1] != VALUE_STRING) {
        print_message("%s: 2nd parameter must be a string (XML file name)\n", tag);
        return false;
    }
    if (count == 3 && types[2] != VALUE_STRING) {
        print_message("%s: 3rd parameter can be a string (containing options)\n", tag);
        return false;
    }
    if (count > 3) {
        print_message("%s: too much parameter\n", tag);
        return false;
    }
    // A database needs at least one feature column besides the labels.
    const DataMatrix* db = static_cast<const DataMatrix*>(values[0]);
    if (db == nullptr || db->rows <= 0 || db->cols < 2 || db->data == nullptr) {
        print_message("%s: %s\n", tag, texts.empty_matrix);
        return false;
    }
    if (values[1] == nullptr) {
        print_message("%s: empty XML file name\n", tag);
        return false;
    }
    out->db = db;
    out->file = static_cast<const char*>(values[1]);
    out->options = count == 3 ? static_cast<const char*>(values[2]) : nullptr;
    return true;
}

bool check_execute_arguments(void** values, const int* types, int count,
                             const DiscriminantTexts& texts, ExecuteArguments* out)
{
    const char* tag = texts.tag;
    if (count != 2) {
        print_message("Execute %s: 2 parameters are required\n", tag);
        return false;
    }
    if (types[0] != VALUE_MATRIX) {
        print_message("Execute %s: 1st parameter must be a database matrix\n", tag);
        return false;
    }
    if (types[1] != VALUE_STRING) {
        print_message("Execute %s: 2nd parameter must be a string (XML file name)\n", tag);
        return false;
    }
    // A matrix without rows or data has nothing to project.
    const DataMatrix* db = static_cast<const DataMatrix*>(values[0]);
    if (db == nullptr || values[1] == nullptr || db->rows <= 0 || db->data == nullptr) {
        print_message("Execute %s: empty parameter\n", tag);
        return false;
    }
    out->db = db;
    out->file = static_cast<const char*>(values[1]);
    return true;
}

bool check_training_values(const DataMatrix* db, const char* prefix)
{
    return check_labels(db, prefix) && check_finite_values(db, prefix, 0);
}

bool report_training_status(const char* prefix, TrainStatus status)
{
    switch (status) {
    case TrainStatus::ok:
        return true;
    case TrainStatus::no_memory:
        print_message("%s: not enough memory!\n", prefix);
        break;
    case TrainStatus::no_eigen_memory:
        print_message("%s: not enough memory\n", prefix);
        break;
    case TrainStatus::singular:
        print_message("%s: W is singular; use the epsilon option\n", prefix);
        break;
    case TrainStatus::not_finite:
        print_message("%s: the computation gave a value that is not a finite number\n", prefix);
        break;
    case TrainStatus::no_eigenvalues:
        print_message("%s: the eigenvalues could not be computed\n", prefix);
        break;
    case TrainStatus::no_eigenvectors:
        print_message("%s: the eigenvectors could not be computed\n", prefix);
        break;
    }
    return false;
}

void print_row_progress(int row)
{
    print_message("%5d\r", row);
}

void end_row_progress()
{
    print_message("\n");
}
