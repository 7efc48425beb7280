// The classifiers' model documents: kernels rewritten from options, the
// model loaded into class records over one shared array of training rows,
// coefficients written back.
#include "plugins/kernel_classifier/model_io.h"

#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "plugins/discriminant_common/model_file.h"
#include "plugins/kernel_classifier/kernel_options.h"
#include "plugins/kernel_classifier/number_text.h"
#include "scriptrun/messages.h"
#include "support/kernel_matrix.h"
#include "xml/finite_values.h"
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

// Refuses an inconsistent file: the attribute of the element that where
// names holds what is wrong with it.
void refuse(const char* prefix, const char* attribute, const std::string& where,
            const char* what)
{
    print_message("%s: inconsistent file: \"%s\" of %s %s\n", prefix, attribute, where.c_str(),
                  what);
}

const char* const not_finite = "holds a value that is not a finite number";
const char* const not_whole = "holds a value that is not a whole number";

// Refuses the value of an attribute that is not a finite number.
void refuse_value(const char* prefix, const char* attribute, const std::string& where)
{
    refuse(prefix, attribute, where, not_finite);
}

// The attribute of the current element as a whole number into *out, which
// keeps its value when the attribute is absent; false after the refusal of
// anything else.
bool whole_attribute(XMLParser** h, const char* attribute, int* out, const char* prefix,
                     const std::string& where)
{
    if (read_whole_attribute(h, attribute, out) != ValueRead::refused)
        return true;
    refuse(prefix, attribute, where, not_whole);
    return false;
}

// As whole_attribute, for a finite real.
bool finite_attribute(XMLParser** h, const char* attribute, double* out, const char* prefix,
                      const std::string& where)
{
    if (read_finite_attribute(h, attribute, out) != ValueRead::refused)
        return true;
    refuse_value(prefix, attribute, where);
    return false;
}

// The kernel child of the current class element into *k: the linear kernel
// with zeros when there is no child or its "function" is absent, else the
// kernel "function" names with the parameters of that kernel (an absent one
// is 0). A name of no kernel, a parameter that is not a finite number and a
// kernel that cannot be used (kernel_fault) are refused: false after the
// message.
bool read_kernel(XMLParser** h, KernelChoice* k, const char* prefix, const std::string& where)
{
    *k = KernelChoice{0, {0.0, 0.0, 0.0, 0.0, 0.0}};
    std::string name;
    if (!XMLhasChildElement(h, "kernel") || !XMLchangeElement(h, "kernel") ||
        !read_attribute_text(h, "function", &name))
        return true;
    std::string kernel = "the \"kernel\" of " + where;
    k->code = kernel_code_of_name(name.c_str());
    for (int p = 0; const char* attr = kernel_parameter_name(k->code, p); p++)
        if (!finite_attribute(h, attr, &k->param[p], prefix, kernel))
            return false;
    int p;
    KernelFault fault = kernel_fault(k->code, k->param, &p);
    if (fault == KernelFault::none)
        return true;
    const char* attr = fault == KernelFault::unknown_type ? "function"
                                                          : kernel_parameter_name(k->code, p);
    refuse(prefix, attr, kernel, kernel_fault_text(fault));
    return false;
}

}  // namespace

int stored_class_count(XMLParser** h, const ClassifierNames& names)
{
    int count = 0;
    if (XMLchangeElement(h, definition_path(names).c_str()))
        read_whole_attribute(h, "num_of_classes", &count);
    return count;
}

void rewrite_kernels(XMLParser** h, const ClassifierNames& names, const KernelChoice& choice)
{
    if (choice.code < 0)
        return;
    int classes = stored_class_count(h, names);
    std::string path = class_path(names);
    // Class elements stand one after another: past the last one there are
    // no more, whatever "num_of_classes" claims.
    for (int c = 1; c <= classes && XMLchangeElementWithNumber(h, path.c_str(), c); c++)
        rewrite_kernel(h, choice);
}

namespace {

// One learning setting: its attribute, where it is kept, and its range.
struct SettingRule {
    const char* attribute;           // in "initial_settings/learning"
    double LearningSettings::*real;  // the field of a real setting, or null
    int LearningSettings::*whole;    // the field of a whole-number setting, or null
    double low;                      // the range's lower end
    bool lowIncluded;                // whether low itself is allowed
    double high;                     // its upper end, never allowed; infinite: none
    const char* range;               // the range in words
};

// A step factor or decrease fraction outside (0, 1) makes the line search
// grow steps or accept anything; a negative nu makes the loss a reward,
// unbounded below; alpha and max_step_size of 0 or less leave no smooth
// plus function and no step; negative counts mean nothing.
const SettingRule setting_rules[] = {
    {"nu", &LearningSettings::nu, nullptr, 0.0, true, INFINITY, "0 or more"},
    {"alpha", &LearningSettings::alpha, nullptr, 0.0, false, INFINITY, "greater than 0"},
    {"armijo_multiplier", &LearningSettings::armijoMultiplier, nullptr, 0.0, false, 1.0,
     "greater than 0 and less than 1"},
    {"max_iter_num", nullptr, &LearningSettings::maxIter, 0.0, true, INFINITY, "0 or more"},
    {"max_armijo_iter_num", nullptr, &LearningSettings::maxArmijoIter, 0.0, true, INFINITY,
     "0 or more"},
    {"grad_threshold", &LearningSettings::gradThreshold, nullptr, -INFINITY, true, INFINITY,
     "a finite number"},
    {"armijo_delta", &LearningSettings::armijoDelta, nullptr, 0.0, false, 1.0,
     "greater than 0 and less than 1"},
    {"max_step_size", &LearningSettings::maxStepSize, nullptr, 0.0, false, INFINITY,
     "greater than 0"},
    {"m_for_lbfgs", nullptr, &LearningSettings::m, 0.0, true, INFINITY, "0 or more"},
};

// Reads one setting of the current element as the kind it is; false after
// the refusal of a value that is not that kind or not in its range.
bool read_setting(XMLParser** h, const SettingRule& rule, LearningSettings* s,
                  const char* prefix)
{
    const std::string where = "\"learning\"";
    if (rule.real ? !finite_attribute(h, rule.attribute, &(s->*rule.real), prefix, where)
                  : !whole_attribute(h, rule.attribute, &(s->*rule.whole), prefix, where))
        return false;
    double value = rule.real ? s->*rule.real : s->*rule.whole;
    if ((rule.lowIncluded ? value >= rule.low : value > rule.low) && value < rule.high)
        return true;
    print_message("%s: \"%s\" of \"learning\" must be %s\n", prefix, rule.attribute,
                  rule.range);
    return false;
}

}  // namespace

bool read_learning_settings(XMLParser** h, const ClassifierNames& names, const char* prefix,
                            LearningSettings* out)
{
    *out = LearningSettings();
    std::string path = std::string("/") + names.root + "/initial_settings/learning";
    if (!XMLchangeElement(h, path.c_str()))
        return true;
    for (const SettingRule& rule : setting_rules)
        if (!read_setting(h, rule, out, prefix))
            return false;
    return true;
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

// The sizes of the definition element, each a whole number (0 when
// absent); false after the refusal of one that is not. C, D and N of 0 or
// below end the process (a negative count would size no table), C first,
// then, as every class record reads them, D and N. Prints C as read.
bool read_sizes(XMLParser** h, const ClassifierNames& names, const char* prefix, int* classes,
                int* dimension, int* rows)
{
    *classes = *dimension = *rows = 0;
    std::string where = std::string("\"") + names.definition + "\"";
    if (XMLchangeElement(h, definition_path(names).c_str()) &&
        (!whole_attribute(h, "num_of_classes", classes, prefix, where) ||
         !whole_attribute(h, "dimension", dimension, prefix, where) ||
         !whole_attribute(h, "rows_in_database", rows, prefix, where)))
        return false;
    if (*classes <= 0)
        fatal_message("error with the number of classes.");
    print_message("Number of classes=%d\n", *classes);
    if (*dimension <= 0)
        fatal_message("bad dimension");
    if (*rows <= 0)
        fatal_message("number of vectors in the database:bad number");
    return true;
}

// Reads the N rows of "A" into training_rows and their class numbers into
// ids. A row whose "data" does not hold exactly D values ends the process;
// one whose "data" holds a value that is not a finite number, or whose
// "classID" (1 when absent) is not a whole number, is refused (false after
// the message).
bool read_training_rows(XMLParser** h, const ClassifierNames& names, int n, int d, int* ids,
                        const char* prefix)
{
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
        ids[r] = 1;
        if (!whole_attribute(h, "classID", &ids[r], prefix, where))
            return false;
        XMLgetAttrDoubleArrayValue(h, "data", training_rows + static_cast<size_t>(r) * d, " ");
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

// The coefficients (and bias) of class c, and its kernel into *kernel;
// false after the printed failure. Values that are not finite numbers, in
// "u", "gamma" or the kernel's parameters, and a kernel that cannot be used
// are refused.
bool read_class(XMLParser** h, const ClassifierNames& names, int c, KernelClassModel* cls,
                KernelChoice* kernel, const char* prefix)
{
    XMLchangeElementWithNumber(h, class_path(names).c_str(), c);
    cls->labels = static_cast<double*>(std::malloc(sizeof(double) * cls->rows));
    cls->u = static_cast<double*>(std::calloc(cls->rows, sizeof(double)));
    if (cls->labels == nullptr || cls->u == nullptr) {
        print_message("Out of memory\n");
        return false;
    }
    std::string where = std::string("\"") + names.classElement + "\" " + std::to_string(c);
    cls->gamma = 0.0;
    if (names.hasBias && !finite_attribute(h, "gamma", &cls->gamma, prefix, where))
        return false;
    if (XMLgetAttrArraySize(h, "u", " ") != cls->rows) {
        print_message("Error setting u, class %d\n", c);
        return false;
    }
    if (!attribute_items_finite(h, "u", " ")) {
        refuse_value(prefix, "u", where);
        return false;
    }
    XMLgetAttrDoubleArrayValue(h, "u", cls->u, " ");
    return read_kernel(h, kernel, prefix, where);
}

// The class's kernel between samples (or the training rows) and the
// training rows, set as its "kernel" element said.
void make_kernel(KernelClassModel* cls, const KernelChoice& k, const DataMatrix* samples,
                 int cacheSize)
{
    cls->trainingView = DataMatrix{cls->rows, cls->dimension, training_rows};
    DataMatrix* left = samples ? const_cast<DataMatrix*>(samples) : &cls->trainingView;
    cls->kernelMatrix = init_kernel_matrix(left, &cls->trainingView, cacheSize);
    if (cls->kernelMatrix == nullptr)
        fatal_message("out of memory\n");
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
    std::vector<KernelChoice> kernels(count);
    for (int c = 1; c <= count; c++)
        if (!read_class(h, names, c, &classes[c - 1], &kernels[c - 1], prefix))
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
    for (int c = 0; c < count; c++)
        make_kernel(&classes[c], kernels[c], samples, cacheSize);
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
    int count, d, n;
    *classes = nullptr;
    const char* prefix = samples != nullptr ? names.evaluate : names.learn;
    if (!read_sizes(h, names, prefix, &count, &d, &n))
        return 0;
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
