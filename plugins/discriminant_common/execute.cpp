// Reading a stored linear transformation and applying it to a database.
#include "plugins/discriminant_common/execute.h"

#include <cmath>
#include <new>
#include <string>

#include "plugins/discriminant_common/model_file.h"
#include "scriptrun/messages.h"
#include "support/matrix.h"
#include "xml/finite_values.h"
#include "xml/xml_functions.h"

namespace {

// Shape of the stored transformation.
struct StoredShape {
    int inputs;   // rows: features the database must have
    int outputs;  // columns: features of the result
};

// Reads feature_number and the list length and derives the shape. A missing
// element counts 0, a missing list attribute -1, and a feature_number that is
// not a whole number is no count; all are refused.
bool read_shape(XMLParser** handle, const std::string& top, FeatureNumberRole role,
                StoredShape* shape)
{
    int number = 0;
    if (XMLchangeElement(handle, (top + "/parameters/feature_number").c_str()) &&
        read_whole_attribute(handle, "value", &number) == ValueRead::refused)
        return false;
    int items = 0;
    if (XMLchangeElement(handle, (top + "/parameters/transformation").c_str()))
        items = XMLgetAttrArraySize(handle, "value", ",");
    if (number <= 0 || items <= 0 || items % number != 0)
        return false;
    int other = items / number;
    shape->inputs = role == FeatureNumberRole::inputs ? number : other;
    shape->outputs = role == FeatureNumberRole::inputs ? other : number;
    return true;
}

// The result when every value is finite; otherwise a message naming the
// first row that is not (finite rows times a finite transformation can still
// overflow), the result freed and null.
DataMatrix* refuse_unfinished_rows(DataMatrix* result, const DiscriminantTexts& texts)
{
    for (int r = 0; r < result->rows; ++r) {
        const double* row = result->data + static_cast<size_t>(r) * result->cols;
        for (int k = 0; k < result->cols; ++k) {
            if (!std::isfinite(row[k])) {
                print_message("Execute %s: the transformation gives a value that is not a "
                              "finite number for row %d\n", texts.tag, r + 1);
                matrix_free(result);
                return nullptr;
            }
        }
    }
    return result;
}

// Checks the model against the database and projects; null after a message.
DataMatrix* project_with_model(XMLParser** handle, const DataMatrix* db,
                               const DiscriminantTexts& texts, FeatureNumberRole role)
{
    std::string top = std::string("/") + texts.tag;
    if (!XMLchangeElement(handle, (top + "/parameters").c_str())) {
        print_message("Execute %s: the XML doesn't contain proper %s element\n", texts.tag,
                      texts.tag);
        return nullptr;
    }
    StoredShape shape;
    if (!read_shape(handle, top, role, &shape)) {
        print_message("Execute %s: problems with sizes in %s parameters\n", texts.tag,
                      texts.tag);
        return nullptr;
    }
    if (db->cols != shape.inputs + 1) {
        print_message("Execute %s: incompatible sizes - matrix and %s\n", texts.tag,
                      texts.tag);
        return nullptr;
    }
    DataMatrix* t = matrix_alloc(shape.inputs, shape.outputs);
    DataMatrix* result = t ? matrix_alloc(db->rows, shape.outputs + 1) : nullptr;
    if (result == nullptr) {
        print_message("Execute %s: not enough memory!\n", texts.tag);
        matrix_free(t);
        return nullptr;
    }
    XMLchangeElement(handle, (top + "/parameters/transformation").c_str());
    bool read = read_finite_list(handle, "value", ",", t->data,
                                 shape.inputs * shape.outputs) == ValueRead::read;
    if (read)
        project_rows(db, t, result);
    matrix_free(t);
    if (!read) {
        print_message("Execute %s: transformation in %s parameters holds a value that is not a "
                      "finite number\n", texts.tag, texts.tag);
        matrix_free(result);
        return nullptr;
    }
    return refuse_unfinished_rows(result, texts);
}

}  // namespace

void project_rows(const DataMatrix* db, const DataMatrix* t, DataMatrix* result)
{
    int inputs = t->rows, outputs = t->cols;
    for (int r = 0; r < db->rows; ++r) {
        const double* x = db->data + static_cast<size_t>(r) * db->cols;
        double* out = result->data + static_cast<size_t>(r) * result->cols;
        for (int k = 0; k < outputs; ++k)
            out[k] = 0.0;
        for (int i = 0; i < inputs; ++i) {
            const double* t_row = t->data + static_cast<size_t>(i) * outputs;
            for (int k = 0; k < outputs; ++k)
                out[k] += x[i] * t_row[k];
        }
        out[outputs] = x[db->cols - 1];
    }
}

void* execute_linear_model(void** values, const int* types, int count, int* resultType,
                           const DiscriminantTexts& texts, FeatureNumberRole role)
{
    *resultType = VALUE_EMPTY;
    ExecuteArguments args;
    // The labels are copied into the result, so they must be finite too.
    if (!check_execute_arguments(values, types, count, texts, &args) ||
        !check_finite_values(args.db, format_text("Execute %s", texts.tag).c_str(), 1))
        return nullptr;
    XMLParser* handle = nullptr;
    if (!XMLopen(&handle, args.file)) {
        print_message("Execute %s: %s\n", texts.tag, texts.bad_file);
        XMLclose(&handle);
        return nullptr;
    }
    DataMatrix* result = nullptr;
    try {
        result = project_with_model(&handle, args.db, texts, role);
        if (result != nullptr)
            append_execution_item(&handle, texts.tag, args.file);
    } catch (const std::bad_alloc&) {
        print_message("Execute %s: not enough memory!\n", texts.tag);
        matrix_free(result);
        result = nullptr;
    }
    XMLclose(&handle);
    if (result != nullptr)
        *resultType = VALUE_MATRIX;
    return result;
}
