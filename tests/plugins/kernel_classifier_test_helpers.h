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

// Calls f and captures what it prints; *result gets its result.
std::string call_captured(ScriptFunction f, const std::vector<TestArgument>& args,
                          void** result, int* resultType);

#endif
