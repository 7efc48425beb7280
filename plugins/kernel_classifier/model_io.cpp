// The classifiers' model documents: kernels rewritten from options, the
// model loaded into class records over one shared array of training rows,
// coefficients written back.
#include "plugins/kernel_classifier/model_io.h"

#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "plugins/discriminant_common/model_file.h"
#include "plugins/kernel_classifier/kernel_options.h"
#include "plugins/kernel_classifier/number_text.h"
#include "scriptrun/messages.h"
#include "support/kernel_matrix.h"
#include "support/options.h"
#include "xml/xml_functions.h"

double* training_rows = nullptr;

namespace {

std::string definition_path(const ClassifierNames& names)
{
    return std::string("/") + names.root + "/parameters/" + names.definition;
}

std::string class_path(const ClassifierNames& names)
{
    return definition_path(names) + "/" + names.classElement;
}

std::string row_path(const ClassifierNames& names)
{
    return std::string("/") + names.root + "/parameters/A/row";
}

// Replaces the class element's kernel with the chosen one, added last.
void rewrite_kernel(XMLParser** h, const KernelChoice& choice)
{
    if (XMLhasChildElement(h, "kernel")) {
        XMLchangeElement(h, "kernel");
        XMLremoveElement(h);
    }
    if (!XMLaddChildElement(h, "kernel"))
        return;
    XMLgotoChildElementWithNum(h, XMLgetNumofChildElements(h));
    XMLchangeOrAddAttribute(h, "function", kernel_function_name(choice.code));
    for (int p = 0; const char* name = kernel_parameter_name(choice.code, p); p++)
        XMLchangeOrAddDoubleAttribute(h, name, choice.param[p]);
}

// Goes to the kernel child of the current class element and returns the
// code its "function" names; -1 when there is no child or it names none.
int enter_kernel(XMLParser** h)
{
    if (!XMLhasChildElement(h, "kernel") || !XMLchangeElement(h, "kernel"))
        return -1;
    int size = XMLgetAttrValueSize(h, "function");
    std::string name(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        XMLgetAttrValue(h, "function", &name[0]);
    return kernel_code_of_name(name.c_str());
}

// The kernel child of the current class element: code and p0..p4; the
// linear kernel with zeros when it is missing or names no kernel.
KernelChoice stored_kernel(XMLParser** h)
{
    KernelChoice k = {0, {0.0, 0.0, 0.0, 0.0, 0.0}};
    int code = enter_kernel(h);
    if (code < 0)
        return k;
    k.code = code;
    for (int p = 0; const char* attr = kernel_parameter_name(code, p); p++)
        k.param[p] = XMLgetAttrDoubleValue(h, attr, 0.0);
    return k;
}

// Refuses an inconsistent file: the attribute of the element that where
// names holds a value that is not a finite number.
void refuse_value(const char* prefix, const char* attribute, const std::string& where)
{
    print_message("%s: inconsistent file: \"%s\" of %s holds a value that is not a finite "
                  "number\n", prefix, attribute, where.c_str());
}

// Whether each of the attributes (a null-ended list) of the current element
// is absent or a finite number; refuses the first that is not.
bool attributes_finite(XMLParser** h, const char* const* attributes, const char* prefix,
                       const std::string& where)
{
    for (; *attributes != nullptr; attributes++)
        if (!attribute_absent_or_finite(h, *attributes)) {
            refuse_value(prefix, *attributes, where);
            return false;
        }
    return true;
}

// The parameters that the current class element's kernel child is read
// with (none when it has no kernel or names none) are finite numbers.
bool kernel_values_finite(XMLParser** h, const char* prefix, const std::string& where)
{
    int code = enter_kernel(h);
    for (int p = 0; const char* attr = code < 0 ? nullptr : kernel_parameter_name(code, p); p++)
        if (!attribute_absent_or_finite(h, attr)) {
            refuse_value(prefix, attr, "the \"kernel\" of " + where);
            return false;
        }
    return true;
}

}  // namespace

int stored_class_count(XMLParser** h, const ClassifierNames& names)
{
    if (!XMLchangeElement(h, definition_path(names).c_str()))
        return 0;
    return truncate_to_int(XMLgetAttrDoubleValue(h, "num_of_classes", 0.0));
}

int apply_kernel_options(XMLParser** h, const ClassifierNames& names, const char* options)
{
    int cacheSize = read_cache_size(options);
    KernelChoice choice = read_kernel_choice(options);
    if (choice.code < 0)
        return cacheSize;
    int classes = stored_class_count(h, names);
    std::string path = class_path(names);
    // Class elements stand one after another: past the last one there are
    // no more, whatever "num_of_classes" claims.
    for (int c = 1; c <= classes && XMLchangeElementWithNumber(h, path.c_str(), c); c++)
        rewrite_kernel(h, choice);
    return cacheSize;
}

bool learning_settings_finite(XMLParser** h, const ClassifierNames& names, const char* prefix)
{
    static const char* const attributes[] = {
        "nu", "alpha", "armijo_multiplier", "max_iter_num", "max_armijo_iter_num",
        "grad_threshold", "armijo_delta", "max_step_size", "m_for_lbfgs", nullptr};
    std::string path = std::string("/") + names.root + "/initial_settings/learning";
    return !XMLchangeElement(h, path.c_str()) ||
           attributes_finite(h, attributes, prefix, "\"learning\"");
}

LearningSettings read_learning_settings(XMLParser** h, const ClassifierNames& names)
{
    LearningSettings s;
    std::string path = std::string("/") + names.root + "/initial_settings/learning";
    if (!XMLchangeElement(h, path.c_str()))
        return s;
    s.nu = XMLgetAttrDoubleValue(h, "nu", s.nu);
    s.alpha = XMLgetAttrDoubleValue(h, "alpha", s.alpha);
    s.armijoMultiplier = XMLgetAttrDoubleValue(h, "armijo_multiplier", s.armijoMultiplier);
    s.maxIter = XMLgetAttrIntValue(h, "max_iter_num", s.maxIter);
    s.maxArmijoIter = XMLgetAttrIntValue(h, "max_armijo_iter_num", s.maxArmijoIter);
    s.gradThreshold = XMLgetAttrDoubleValue(h, "grad_threshold", s.gradThreshold);
    s.armijoDelta = XMLgetAttrDoubleValue(h, "armijo_delta", s.armijoDelta);
    s.maxStepSize = XMLgetAttrDoubleValue(h, "max_step_size", s.maxStepSize);
    s.m = XMLgetAttrIntValue(h, "m_for_lbfgs", s.m);
    return s;
}

void save_class_models(XMLParser** h, const ClassifierNames& names, const char* file,
                       const KernelClassModel* classes, int classCount)
{
    std::string path = class_path(names);
    for (int c = 0; c < classCount; c++) {
        if (!XMLchangeElementWithNumber(h, path.c_str(), c + 1))
            continue;
        if (names.hasBias)
            XMLchangeOrAddDoubleAttribute(h, "gamma", classes[c].gamma);
        XMLchangeOrAddDoubleArrayAttribute(h, "u", classes[c].u, classes[c].rows, " ");
    }
    XMLsave(h, file);
}

void free_class_models(KernelClassModel** classes, int classCount)
{
    if (*classes != nullptr)
        for (int c = 0; c < classCount; c++) {
            std::free((*classes)[c].u);
            std::free((*classes)[c].labels);
        }
    std::free(training_rows);
    training_rows = nullptr;
    std::free(*classes);
    *classes = nullptr;
}

namespace {

// Elements named name among the children of the element at path.
int count_children(XMLParser** h, const std::string& path, const char* name)
{
    if (!XMLchangeElement(h, path.c_str()))
        return 0;
    int children = XMLgetNumofChildElements(h), found = 0;
    for (int i = 1; i <= children; i++) {
        XMLchangeElement(h, path.c_str());
        XMLgotoChildElementWithNum(h, i);
        const char* element = XMLgetActualElementName(h);
        found += element != nullptr && std::string(element) == name;
    }
    return found;
}

// The sizes of the definition element. C, D and N of 0 or below end the
// process (a negative count would size no table), C first, then, as every
// class record reads them, D and N. Prints C as read.
void read_sizes(XMLParser** h, const ClassifierNames& names, int* classes, int* dimension,
                int* rows)
{
    *classes = stored_class_count(h, names);
    if (*classes <= 0)
        fatal_message("error with the number of classes.");
    print_message("Number of classes=%d\n", *classes);
    XMLchangeElement(h, definition_path(names).c_str());
    *dimension = truncate_to_int(XMLgetAttrDoubleValue(h, "dimension", 0.0));
    *rows = truncate_to_int(XMLgetAttrDoubleValue(h, "rows_in_database", 0.0));
    if (*dimension <= 0)
        fatal_message("bad dimension");
    if (*rows <= 0)
        fatal_message("number of vectors in the database:bad number");
}

// Reads the N rows of "A" into training_rows and their class numbers into
// ids. A row whose "data" does not hold exactly D values ends the process;
// one whose "data" or "classID" holds a value that is not a finite number
// is refused (false after the message).
bool read_training_rows(XMLParser** h, const ClassifierNames& names, int n, int d, int* ids,
                        const char* prefix)
{
    static const char* const row_attributes[] = {"data", "classID", nullptr};
    std::string path = row_path(names);
    for (int r = 0; r < n; r++) {
        if (!XMLchangeElementWithNumber(h, path.c_str(), r + 1) ||
            XMLgetAttrArraySize(h, "data", " ") != d)
            fatal_message("Error setting A, row %d\n", r);
        std::string where = "\"row\" " + std::to_string(r + 1) + " of \"A\"";
        if (!attribute_items_finite(h, "data", " ")) {
            refuse_value(prefix, "data", where);
            return false;
        }
        if (!attributes_finite(h, row_attributes + 1, prefix, where))
            return false;
        XMLgetAttrDoubleArrayValue(h, "data", training_rows + static_cast<size_t>(r) * d, " ");
        ids[r] = XMLgetAttrIntValue(h, "classID", 1);
    }
    return true;
}

// The first row of "A" that is missing or whose "data" does not hold
// exactly D values, counted from 0; N when all N rows are sound.
int first_bad_row(XMLParser** h, const ClassifierNames& names, int n, int d)
{
    std::string path = row_path(names);
    for (int r = 0; r < n; r++)
        if (!XMLchangeElementWithNumber(h, path.c_str(), r + 1) ||
            XMLgetAttrArraySize(h, "data", " ") != d)
            return r;
    return n;
}

// Takes the training rows (N x D), after making sure that the file holds N
// rows and that the first has D values, so that the sizes cannot ask for
// more memory than the file backs (a file short of rows ends the process
// at the first row in order that is missing or wrong, as the reading
// would). False after "Out of memory\n".
bool take_training_rows(XMLParser** h, const ClassifierNames& names, int n, int d)
{
    std::string path = row_path(names);
    if (!XMLchangeElementWithNumber(h, path.c_str(), n))
        fatal_message("Error setting A, row %d\n", first_bad_row(h, names, n, d));
    XMLchangeElementWithNumber(h, path.c_str(), 1);
    if (XMLgetAttrArraySize(h, "data", " ") != d)
        fatal_message("Error setting A, row %d\n", 0);
    size_t count = static_cast<size_t>(n) * static_cast<size_t>(d);
    training_rows = count <= SIZE_MAX / sizeof(double) / 2
                        ? static_cast<double*>(std::malloc(count * sizeof(double)))
                        : nullptr;
    if (training_rows == nullptr) {
        print_message("Out of memory\n");
        return false;
    }
    return true;
}

// The coefficients (and bias) of class c; false after the printed failure.
// Values that are not finite numbers, in "u", "gamma" or the kernel's
// parameters, are refused.
bool read_class(XMLParser** h, const ClassifierNames& names, int c, KernelClassModel* cls,
                const char* prefix)
{
    static const char* const bias[] = {"gamma", nullptr};
    XMLchangeElementWithNumber(h, class_path(names).c_str(), c);
    cls->labels = static_cast<double*>(std::malloc(sizeof(double) * cls->rows));
    cls->u = static_cast<double*>(std::calloc(cls->rows, sizeof(double)));
    if (cls->labels == nullptr || cls->u == nullptr) {
        print_message("Out of memory\n");
        return false;
    }
    std::string where = std::string("\"") + names.classElement + "\" " + std::to_string(c);
    if (names.hasBias) {
        if (!attributes_finite(h, bias, prefix, where))
            return false;
        cls->gamma = XMLgetAttrDoubleValue(h, "gamma", 0.0);
    }
    if (XMLgetAttrArraySize(h, "u", " ") != cls->rows) {
        print_message("Error setting u, class %d\n", c);
        return false;
    }
    if (!attribute_items_finite(h, "u", " ")) {
        refuse_value(prefix, "u", where);
        return false;
    }
    XMLgetAttrDoubleArrayValue(h, "u", cls->u, " ");
    return kernel_values_finite(h, prefix, where);
}

// The class's kernel between samples (or the training rows) and the
// training rows, set as its "kernel" element says.
void make_kernel(XMLParser** h, const ClassifierNames& names, int c, KernelClassModel* cls,
                 const DataMatrix* samples, int cacheSize)
{
    cls->trainingView = DataMatrix{cls->rows, cls->dimension, training_rows};
    DataMatrix* left = samples ? const_cast<DataMatrix*>(samples) : &cls->trainingView;
    cls->kernelMatrix = init_kernel_matrix(left, &cls->trainingView, cacheSize);
    if (cls->kernelMatrix == nullptr)
        fatal_message("out of memory\n");
    XMLchangeElementWithNumber(h, class_path(names).c_str(), c);
    KernelChoice k = stored_kernel(h);
    set_kernel_type(cls->kernelMatrix, k.code);
    for (int p = 0; p < 5; p++)
        set_kernel_parameter(cls->kernelMatrix, p, k.param[p]);
}

// The records' u and labels, the rows' class numbers and kernels, after the
// sizes and rows are read; false (nothing kept) after a printed failure.
// Samples of another width than the training rows get no kernel: the
// message names both counts.
bool fill_classes(XMLParser** h, const ClassifierNames& names, KernelClassModel* classes,
                  int count, const int* ids, const DataMatrix* samples, int cacheSize)
{
    int n = classes[0].rows, d = classes[0].dimension;
    const char* prefix = samples != nullptr ? names.evaluate : names.learn;
    for (int c = 1; c <= count; c++)
        if (!read_class(h, names, c, &classes[c - 1], prefix))
            return false;
    for (int c = 0; c < count; c++)
        for (int r = 0; r < n; r++)
            classes[c].labels[r] = -1.0;
    for (int r = 0; r < n; r++) {
        if (ids[r] < 1 || ids[r] > count)
            fatal_message("Error setting A, row %d\n", r);
        classes[ids[r] - 1].labels[r] = 1.0;
    }
    if (samples != nullptr && samples->cols != d) {
        print_message("%s: the database has %d feature columns, the model's dimension is %d\n",
                      names.evaluate, samples->cols, d);
        return false;
    }
    for (int c = 1; c <= count; c++)
        make_kernel(h, names, c, &classes[c - 1], samples, cacheSize);
    return true;
}

// Each record's sizes, printed once per class.
void set_sizes(KernelClassModel* classes, int count, int d, int n)
{
    for (int c = 0; c < count; c++) {
        print_message("Dimension=%d\n", d);
        print_message("Number of vectors=%d\n", n);
        classes[c].rows = n;
        classes[c].dimension = d;
    }
}

// Class elements present, up to count: count when the count-th exists.
int class_elements_present(XMLParser** h, const ClassifierNames& names, int count)
{
    if (XMLchangeElementWithNumber(h, class_path(names).c_str(), count))
        return count;
    return count_children(h, definition_path(names), names.classElement);
}

// A file that names more classes than it holds: the first class, in order,
// whose "u" cannot be set (a wrong count, or no element at all).
void report_missing_class(XMLParser** h, const ClassifierNames& names, int present, int n)
{
    int c = 1;
    for (; c <= present; c++) {
        XMLchangeElementWithNumber(h, class_path(names).c_str(), c);
        if (XMLgetAttrArraySize(h, "u", " ") != n)
            break;
    }
    print_message("Error setting u, class %d\n", c);
}

}  // namespace

int load_class_models(XMLParser** h, const ClassifierNames& names, KernelClassModel** classes,
                      const DataMatrix* samples, int cacheSize)
{
    static const char* const sizes[] = {"num_of_classes", "dimension", "rows_in_database",
                                        nullptr};
    int count, d, n;
    *classes = nullptr;
    const char* prefix = samples != nullptr ? names.evaluate : names.learn;
    if (XMLchangeElement(h, definition_path(names).c_str()) &&
        !attributes_finite(h, sizes, prefix, std::string("\"") + names.definition + "\""))
        return 0;
    read_sizes(h, names, &count, &d, &n);
    // A file that lacks class elements fails at the first of them, after the
    // rows; its class table, which the count could make huge, is not taken.
    int present = class_elements_present(h, names, count);
    if (present == count) {
        *classes = static_cast<KernelClassModel*>(std::calloc(count, sizeof(KernelClassModel)));
        if (*classes == nullptr) {
            print_message("Out of memory\n");
            return 0;
        }
        set_sizes(*classes, count, d, n);
    }
    bool loaded = false;
    if (take_training_rows(h, names, n, d)) {
        std::vector<int> ids(n);
        bool rowsRead = read_training_rows(h, names, n, d, ids.data(), prefix);
        if (rowsRead && present < count)
            report_missing_class(h, names, present, n);
        else if (rowsRead)
            loaded = fill_classes(h, names, *classes, count, ids.data(), samples, cacheSize);
    }
    if (!loaded)
        free_class_models(classes, count);
    return loaded ? count : 0;
}
