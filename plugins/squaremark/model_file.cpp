// The model file of the least-squares machine: root "SQUAREMARK" with a
// history, the settings as text items, and "parameters" holding the sizes,
// the kernel, the training rows X_i and the solution rows V_i (V_n the biases).
#include <cstdio>
#include <string>

#include "plugins/discriminant_common/model_file.h"
#include "plugins/kernel_classifier/number_text.h"
#include "plugins/squaremark/model.h"
#include "scriptrun/messages.h"
#include "support/kernel_matrix.h"
#include "support/matrix.h"
#include "xml/finite_values.h"
#include "xml/xml_functions.h"

namespace {

const char* const top = "/SQUAREMARK";
const char* const parameters = "/SQUAREMARK/parameters";

// Appends an "item" with text under the element at path.
void add_item(XMLParser** h, const char* path, const std::string& text)
{
    XMLchangeElement(h, path);
    if (!XMLaddChildElement(h, "item"))
        return;
    XMLgotoChildElementWithNum(h, XMLgetNumofChildElements(h));
    XMLchangeOrAddText(h, text.c_str());
}

// The "parameters" element being written: its children are only appended,
// so the newest one is reached by its number, without a search by name or a
// count of the children.
struct ParameterList {
    XMLParser** h;  // the document
    int children;   // children added so far
};

// Adds the parameters child name and goes to it; false when it cannot.
bool add_parameter(ParameterList& list, const char* name)
{
    XMLchangeElement(list.h, parameters);
    if (!XMLaddChildElement(list.h, name))
        return false;
    list.children++;
    return XMLgotoChildElementWithNum(list.h, list.children) != 0;
}

void add_int_parameter(ParameterList& list, const char* name, int value)
{
    if (add_parameter(list, name))
        XMLchangeOrAddIntAttribute(list.h, "value", value);
}

void add_list_parameter(ParameterList& list, const std::string& name, const double* values,
                        int count)
{
    if (add_parameter(list, name.c_str()))
        XMLchangeOrAddDoubleArrayAttribute(list.h, "value", values, count, ",");
}

void add_settings(XMLParser** h, const SquaremarkSettings& s)
{
    const char* path = "/SQUAREMARK/initial_settings";
    add_item(h, path, format_text("cachesize: %d", s.cacheSize));
    add_item(h, path, format_text("kernel type: %d", s.kernel));
    for (int p = 0; p < 5; p++)
        add_item(h, path, format_text("kernel parameter %d: %f", p + 1, s.param[p]));
    add_item(h, path, format_text("gamma: %g", s.gamma));
}

void add_parameters(XMLParser** h, const SquaremarkSettings& s, const DataMatrix* X,
                    const DataMatrix* V)
{
    ParameterList list = {h, 0};
    add_int_parameter(list, "row", X->rows);
    add_int_parameter(list, "column", X->cols);
    add_int_parameter(list, "classnumber", V->cols);
    add_int_parameter(list, "kernel", s.kernel);
    for (int p = 0; p < 5; p++)
        if (add_parameter(list, format_text("kernel_param%d", p).c_str()))
            XMLchangeOrAddDoubleAttribute(h, "value", s.param[p]);
    for (int i = 0; i < X->rows; i++)
        add_list_parameter(list, format_text("X_%d", i), matrix_row(X, i), X->cols);
    for (int i = 0; i < V->rows; i++)
        add_list_parameter(list, format_text("V_%d", i), matrix_row(V, i), V->cols);
}

// Reads parameters/name into count values at out, when it holds exactly
// count values.
bool read_list(XMLParser** h, const std::string& name, double* out, int count)
{
    XMLchangeElement(h, parameters);
    if (!XMLchangeElement(h, name.c_str()) || XMLgetAttrArraySize(h, "value", ",") != count)
        return false;
    XMLgetAttrDoubleArrayValue(h, "value", out, ",");
    return true;
}

}  // namespace

void write_squaremark_model(const char* file, const SquaremarkSettings& settings,
                            const DataMatrix* X, const DataMatrix* V)
{
    XMLParser* h = nullptr;
    XMLcreateNewDoc(&h, "SQUAREMARK");
    XMLchangeElement(&h, top);
    XMLaddChildElement(&h, "history");
    XMLaddChildElement(&h, "initial_settings");
    XMLaddChildElement(&h, "parameters");
    const char* history = "/SQUAREMARK/history";
    add_item(&h, history, "creation time: ");
    XMLappendText(&h, current_time_text().c_str());
    add_item(&h, history, format_text("XML output file: '%s'", file));
    add_item(&h, history, format_text("rows in original database: %d", X->rows));
    add_item(&h, history, format_text("columns in original database: %d", X->cols));
    add_settings(&h, settings);
    add_parameters(&h, settings, X, V);
    XMLsave(&h, file);
    XMLclose(&h);
}

void free_squaremark_model(SquaremarkModel* model)
{
    matrix_free(model->X);
    matrix_free(model->V);
    matrix_free(model->b);
    model->X = model->V = model->b = nullptr;
}

namespace {

// Row i's list name: "X_i" or "V_i".
std::string row_name(char matrix, int i)
{
    return format_text("%c_%d", matrix, i);
}

int list_size(XMLParser** h, const std::string& name)
{
    XMLchangeElement(h, parameters);
    return XMLchangeElement(h, name.c_str()) ? XMLgetAttrArraySize(h, "value", ",") : 0;
}

// Refuses the file: the "value" of parameters/name is what = "holds a value
// that is not a finite number", for example.
void refuse_value(const std::string& name, const char* what)
{
    print_message("test_squaremark: inconsistent file: \"value\" of \"%s\" %s\n", name.c_str(),
                  what);
}

const char* const not_finite = "holds a value that is not a finite number";

// Whether every item of the "value" list of parameters/name, when there, is
// a finite number; otherwise the file is refused.
bool list_finite(XMLParser** h, const std::string& name)
{
    XMLchangeElement(h, parameters);
    if (!XMLchangeElement(h, name.c_str()) || attribute_items_finite(h, "value", ","))
        return true;
    refuse_value(name, not_finite);
    return false;
}

// The "value" of parameters/name as a whole number into *out, which keeps
// its value when the element or its attribute is missing; false after the
// refusal of anything else.
bool whole_parameter(XMLParser** h, const char* name, int* out)
{
    XMLchangeElement(h, parameters);
    if (!XMLchangeElement(h, name) || read_whole_attribute(h, "value", out) != ValueRead::refused)
        return true;
    refuse_value(name, "holds a value that is not a whole number");
    return false;
}

// As whole_parameter, for a finite real.
bool real_parameter(XMLParser** h, const std::string& name, double* out)
{
    XMLchangeElement(h, parameters);
    if (!XMLchangeElement(h, name.c_str()) ||
        read_finite_attribute(h, "value", out) != ValueRead::refused)
        return true;
    refuse_value(name, not_finite);
    return false;
}

// The sizes and the kernel (0 where an element is missing), each read once
// as the number checked; a kernel that cannot be used is refused.
bool read_settings(XMLParser** h, SquaremarkModel* model)
{
    if (!whole_parameter(h, "row", &model->rows) ||
        !whole_parameter(h, "column", &model->columns) ||
        !whole_parameter(h, "classnumber", &model->classes) ||
        !whole_parameter(h, "kernel", &model->kernel))
        return false;
    for (int p = 0; p < 5; p++)
        if (!real_parameter(h, format_text("kernel_param%d", p), &model->param[p]))
            return false;
    int p;
    KernelFault fault = kernel_fault(model->kernel, model->param, &p);
    if (fault == KernelFault::none)
        return true;
    refuse_value(fault == KernelFault::unknown_type ? std::string("kernel")
                                                    : format_text("kernel_param%d", p),
                 kernel_fault_text(fault));
    return false;
}

// Every row of the file holds as many values as the sizes say: checked
// before anything is allocated, so sizes that the file cannot back make no
// allocation. Prints the first fault in reading order.
bool check_rows(XMLParser** h, int n, int d, int c)
{
    for (int i = 0; i < n; i++) {
        if (list_size(h, row_name('X', i)) != d) {
            print_message("test_squaremark: error with row %d in matrix X\n", i + 1);
            return false;
        }
        if (list_size(h, row_name('V', i)) != c) {
            print_message("test_squaremark: error with row %d in matrix V\n", i + 1);
            return false;
        }
        if (!list_finite(h, row_name('X', i)) || !list_finite(h, row_name('V', i)))
            return false;
    }
    if (list_size(h, row_name('V', n)) != c) {
        print_message("test_squaremark: error with row %d in matrix V\n", n);
        return false;
    }
    return list_finite(h, row_name('V', n));
}

bool check_sizes(XMLParser** h, int dbColumns, SquaremarkModel* model)
{
    if (!XMLchangeElement(h, parameters)) {
        print_message("test_squaremark: the XML doesn't contain proper SQUAREMARK element\n");
        return false;
    }
    if (!read_settings(h, model))
        return false;
    if (model->rows < 1 || model->columns < 1 || model->classes < 1) {
        print_message("test_squaremark: problems with sizes in SQUAREMARK parameters\n");
        return false;
    }
    if (static_cast<long long>(model->columns) + 1 != dbColumns) {
        print_message("test_squaremark: incompatible sizes - database and SQUAREMARK\n");
        return false;
    }
    return check_rows(h, model->rows, model->columns, model->classes);
}

// Allocates X, V and b in this order; false after the message of the first
// that fails, with the others freed.
bool allocate_model(SquaremarkModel* model)
{
    model->X = matrix_alloc(model->rows, model->columns);
    if (!model->X) {
        print_message("test_squaremark: not enough memory (X)!\n");
        return false;
    }
    model->V = matrix_alloc(model->rows, model->classes);
    if (!model->V) {
        print_message("test_squaremark: not enough memory (V)!\n");
        free_squaremark_model(model);
        return false;
    }
    model->b = matrix_alloc(model->classes, 1);
    if (!model->b) {
        print_message("test_squaremark: not enough memory (b)!\n");
        free_squaremark_model(model);
        return false;
    }
    return true;
}

}  // namespace

bool read_squaremark_model(XMLParser** h, int dbColumns, SquaremarkModel* model)
{
    *model = SquaremarkModel{};
    if (!check_sizes(h, dbColumns, model) || !allocate_model(model))
        return false;
    for (int i = 0; i < model->rows; i++) {
        read_list(h, row_name('X', i), matrix_row(model->X, i), model->columns);
        read_list(h, row_name('V', i), matrix_row(model->V, i), model->classes);
    }
    read_list(h, row_name('V', model->rows), model->b->data, model->classes);
    return true;
}

void stamp_squaremark_test(XMLParser** h, const char* file)
{
    const char* history = "/SQUAREMARK/history";
    if (XMLchangeElement(h, history) && XMLaddChildElement(h, "item")) {
        XMLgotoChildElementWithNum(h, XMLgetNumofChildElements(h));
        XMLchangeOrAddText(h, format_text("testing at %s", current_time_text().c_str()).c_str());
    }
    XMLsave(h, file);
}
