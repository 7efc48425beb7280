// Helpers for the kernel classifier tests: reading and editing attributes of
// init and model files, and small kernel models built by hand.
#ifndef KERNEL_CLASSIFIER_TEST_HELPERS_H
#define KERNEL_CLASSIFIER_TEST_HELPERS_H

#include <string>
#include <vector>

#include "plugins/kernel_classifier/classifier.h"
#include "tests/plugins/discriminant_test_helpers.h"

// The value of attribute attr of the nth (from 1) element named element in
// text; "" when there is none.
std::string attribute_of(const std::string& text, const std::string& element, int nth,
                         const std::string& attr);

// text with the value of every attr="..." replaced by value.
std::string with_attribute(std::string text, const std::string& attr, const std::string& value);

// The numbers of a blank-separated list.
std::vector<double> numbers_of(const std::string& list);

// Every "kernel" element of text with its blanks collapsed, one per line:
// `function="polynomial" degree="3"`.
std::string kernel_elements(const std::string& text);

// A class model over the rows of x (n x d) with the given labels (+1/-1)
// and kernel: its kernel takes x on both sides. Owns what it allocates.
struct HandModel {
    std::vector<double> x;       // n x d training rows
    std::vector<double> labels;  // n labels
    DataMatrix rows;             // over x
    KernelClassModel cls;        // kernelMatrix made here, u pointing into coefficients
    std::vector<double> coefficients;

    HandModel(int n, int d, int kernel, double p0, double p1, unsigned seed);
    ~HandModel();
    HandModel(const HandModel&) = delete;
    HandModel& operator=(const HandModel&) = delete;
};

// Kernel value the test computes itself: 1 polynomial (x.y + p1)^p0, 2
// exponential exp(-|x - y|^2 / p0^2).
double test_kernel(const double* x, const double* y, int d, int kernel, double p0, double p1);

class XMLParser;

// A classifier's model routines as its script functions call them, and
// where it keeps the loaded model's training rows.
struct ModelRoutines {
    int (*load)(XMLParser** document, KernelClassModel** classes, const DataMatrix* samples);
    void (*save)(XMLParser** document, const char* fileName, const KernelClassModel* classes,
                 int classCount);
    void (*release)(KernelClassModel** classes, int classCount);
    double* const* trainingRows;  // the plug-in's own name for the rows
};

// Loads init, made from db (last column the class), and expects 1, db's
// features under the plug-in's name for the rows (the array every class
// record views), one-against-the-rest labels, and nothing held after the
// release.
void expect_model_loaded(const ModelRoutines& r, const std::string& init, const TestDatabase& db,
                         int classCount);

// Gives every class of init its own coefficients and bias, saves them as
// model and expects the file's class elements (named classElement) to hold
// them, and a second load to give them back exactly; the bias only when
// the classifier has one.
void expect_model_round_trip(const ModelRoutines& r, const std::string& init,
                             const std::string& model, const char* classElement,
                             int classCount, bool hasBias);

// Loads init against samples of the wrong width: 0, the refusal printed,
// no class array and no training rows.
void expect_refused_load(const ModelRoutines& r, const std::string& init, int classCount);

// Output names that a save could not replace or create, each with the
// reason printed for it: a missing folder, an empty name, a link into a
// missing folder; and, unless the caller is root (who may write anything),
// an existing file closed to writing.
struct UnwritableOutput {
    std::string path;  // the name given
    std::string why;   // the reason
    std::string text;  // an existing file's content, which must stay; "" when none
};
std::vector<UnwritableOutput> unwritable_outputs(const ScratchFolder& folder);

// The output is as it was: the same text, or still no file.
void expect_output_untouched(const UnwritableOutput& output);

// Calls f and captures what it prints; *result gets its result.
std::string call_captured(ScriptFunction f, const std::vector<TestArgument>& args,
                          void** result, int* resultType);

#endif
