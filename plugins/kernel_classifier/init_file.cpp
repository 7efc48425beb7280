// The init file: default learning settings, one class element per class with
// its starting coefficients and the default kernel, and the training rows.
#include "plugins/kernel_classifier/init_file.h"

#include <new>

#include "filesave/filesave.h"
#include "plugins/discriminant_common/model_file.h"
#include "plugins/kernel_classifier/database_checks.h"
#include "scriptrun/messages.h"
#include "support/matrix.h"
#include "xml/xml_functions.h"

namespace {

const char* const learning_attributes[9] = {
    "nu", "alpha", "max_iter_num", "max_armijo_iter_num", "armijo_multiplier",
    "armijo_delta", "max_step_size", "m_for_lbfgs", "grad_threshold"};

bool check_arguments(void** values, const int* types, int count, const ClassifierNames& names)
{
    if (count < 2) {
        print_message("%s: there must be at least 2 parameters\n", names.fewInitArguments);
        return false;
    }
    const char* problem = nullptr;
    if (types[0] != VALUE_MATRIX)
        problem = "1st parameter must be a Matrix (a database matrix)\n";
    else if (types[1] != VALUE_STRING)
        problem = "2nd parameter must be a String (initfile name)\n";
    else if (count >= 3 && types[2] != VALUE_STRING)
        problem = "3nd parameter must be a String (parameter name = value)\n";
    if (problem) {
        print_message("%s: %s", names.makeInit, problem);
        return false;
    }
    // A database without feature columns would give a dimension of 0, which
    // every later load refuses by ending the process.
    const DataMatrix* db = static_cast<const DataMatrix*>(values[0]);
    if (db != nullptr && db->data != nullptr && db->rows > 0 && db->cols < 2) {
        print_message("%s: the database matrix has no feature column\n", names.makeInit);
        return false;
    }
    return check_database_values(db, names.makeInit);
}

// Adds a child name (the number-th child of the current element, added
// last) and goes to it. Numbered steps along appended children cost no walk
// from the first child, so rows are written in linear time.
void add_numbered_child(XMLParser** h, const char* name, int number)
{
    if (XMLaddChildElement(h, name))
        XMLgotoChildElementWithNum(h, number);
}

// The same for an element's only (or last) child.
void add_child(XMLParser** h, const char* name)
{
    if (XMLaddChildElement(h, name))
        XMLgotoChildElementWithNum(h, XMLgetNumofChildElements(h));
}

void add_settings(XMLParser** h, const ClassifierNames& names, const std::string& top)
{
    XMLchangeElement(h, top.c_str());
    add_child(h, "history");
    add_child(h, "item");
    XMLchangeOrAddAttribute(h, "creation_time", current_time_text().c_str());
    XMLchangeElement(h, top.c_str());
    add_child(h, "initial_settings");
    add_child(h, "learning");
    for (int i = 0; i < 9; i++)
        XMLchangeOrAddAttribute(h, learning_attributes[i], names.learning[i]);
}

void add_classes(XMLParser** h, const ClassifierNames& names, const std::string& definition,
                 int classes, const std::string& coefficients)
{
    for (int c = 1; c <= classes; c++) {
        XMLchangeElement(h, definition.c_str());
        add_numbered_child(h, names.classElement, c);
        XMLchangeOrAddIntAttribute(h, "classID", c);
        XMLchangeOrAddAttribute(h, "u", coefficients.c_str());
        if (names.hasBias)
            XMLchangeOrAddDoubleAttribute(h, "gamma", 1.0);
        add_child(h, "kernel");
        XMLchangeOrAddAttribute(h, "function", "polynomial");
        XMLchangeOrAddAttribute(h, "degree", "3");
    }
}

void add_rows(XMLParser** h, const std::string& top, const DataMatrix* db)
{
    std::string a = top + "/parameters/A";
    for (int r = 0; r < db->rows; r++) {
        const double* row = matrix_row(db, r);
        XMLchangeElement(h, a.c_str());
        add_numbered_child(h, "row", r + 1);
        XMLchangeOrAddIntAttribute(h, "ID", r + 1);
        XMLchangeOrAddDoubleArrayAttribute(h, "data", row, db->cols - 1, " ");
        XMLchangeOrAddIntAttribute(h, "classID", static_cast<int>(row[db->cols - 1]));
    }
}

void write_init_file(const char* file, const ClassifierNames& names, const DataMatrix* db,
                     int classes, const std::string& coefficients)
{
    XMLParser* h = nullptr;
    std::string top = std::string("/") + names.root;
    std::string definition = top + "/parameters/" + names.definition;
    XMLcreateNewDoc(&h, names.root);
    add_settings(&h, names, top);
    XMLchangeElement(&h, top.c_str());
    add_child(&h, "parameters");
    add_child(&h, names.definition);
    XMLchangeOrAddIntAttribute(&h, "dimension", db->cols - 1);
    XMLchangeOrAddIntAttribute(&h, "num_of_classes", classes);
    XMLchangeOrAddIntAttribute(&h, "rows_in_database", db->rows);
    add_classes(&h, names, definition, classes, coefficients);
    XMLchangeElement(&h, (top + "/parameters").c_str());
    add_child(&h, "A");
    add_rows(&h, top, db);
    XMLsave(&h, file);
    XMLclose(&h);
}

}  // namespace

void* make_init_file(void** values, const int* types, int count, int* resultType,
                     const ClassifierNames& names, std::string (*coefficients)(int n))
{
    *resultType = VALUE_EMPTY;
    if (!check_arguments(values, types, count, names))
        return nullptr;
    const DataMatrix* db = static_cast<const DataMatrix*>(values[0]);
    const char* file = static_cast<const char*>(values[1]);
    if (file == nullptr)
        return nullptr;
    // Refused before the coefficients are drawn: a refused call leaves the
    // generator where it was.
    std::string refusal = replace_refusal(file);
    if (!refusal.empty()) {
        print_message("%s: the init file '%s' cannot be written: %s\n", names.makeInit, file,
                      refusal.c_str());
        return nullptr;
    }
    try {
        std::string text = coefficients(db->rows);
        int classes = 1;
        for (int r = 0; r < db->rows; r++) {
            double label = matrix_row(db, r)[db->cols - 1];
            if (label > classes)
                classes = static_cast<int>(label);
        }
        write_init_file(file, names, db, classes, text);
    } catch (const std::bad_alloc&) {
        print_message("Out of memory\n");
        return nullptr;
    }
    return reinterpret_cast<void*>(1);
}
