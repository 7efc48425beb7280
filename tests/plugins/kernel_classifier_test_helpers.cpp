// Helpers for the kernel classifier tests.
#include "tests/plugins/kernel_classifier_test_helpers.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <sstream>

#include "support/kernel_matrix.h"

namespace {

// Offset of the nth "<element" followed by a blank, "/" or ">".
size_t find_element(const std::string& text, const std::string& element, int nth)
{
    size_t at = 0;
    std::string open = "<" + element;
    while ((at = text.find(open, at)) != std::string::npos) {
        char next = text[at + open.size()];
        if ((next == '\n' || next == ' ' || next == '\t' || next == '/' || next == '>') &&
            --nth == 0)
            return at;
        at += open.size();
    }
    return std::string::npos;
}

}  // namespace

std::string attribute_of(const std::string& text, const std::string& element, int nth,
                         const std::string& attr)
{
    size_t at = find_element(text, element, nth);
    if (at == std::string::npos)
        return "";
    size_t end = text.find('>', at);
    std::string key = attr + "=\"";
    size_t found = at;
    do
        found = text.find(key, found + 1);
    while (found != std::string::npos && !std::isspace(static_cast<unsigned char>(text[found - 1])));
    if (found == std::string::npos || found > end)
        return "";
    size_t begin = found + key.size();
    return text.substr(begin, text.find('"', begin) - begin);
}

std::string with_attribute(std::string text, const std::string& attr, const std::string& value)
{
    std::string key = attr + "=\"";
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        if (at > 0 && !std::isspace(static_cast<unsigned char>(text[at - 1])))
            continue;
        size_t begin = at + key.size();
        text.replace(begin, text.find('"', begin) - begin, value);
    }
    return text;
}

std::vector<double> numbers_of(const std::string& list)
{
    std::stringstream items(list);
    std::vector<double> out;
    double v;
    while (items >> v)
        out.push_back(v);
    return out;
}

std::string kernel_elements(const std::string& text)
{
    std::string out;
    for (int nth = 1;; nth++) {
        size_t at = find_element(text, "kernel", nth);
        if (at == std::string::npos)
            return out;
        std::string element = text.substr(at + 7, text.find("/>", at) - at - 7);
        std::stringstream words(element);
        std::string word, line;
        while (words >> word)
            line += (line.empty() ? "" : " ") + word;
        out += line + "\n";
    }
}

double test_kernel(const double* x, const double* y, int d, int kernel, double p0, double p1)
{
    double s = 0.0;
    for (int f = 0; f < d; f++)
        s += kernel == 2 ? (x[f] - y[f]) * (x[f] - y[f]) : x[f] * y[f];
    return kernel == 2 ? std::exp(-s / (p0 * p0)) : std::pow(s + p1, p0);
}

HandModel::HandModel(int n, int d, int kernel, double p0, double p1, unsigned seed)
    : x(n * d), labels(n), coefficients(n)
{
    TestRandom random(seed);
    for (double& v : x)
        v = random.next() * 2.0 - 1.0;
    for (int i = 0; i < n; i++) {
        labels[i] = random.next() < 0.5 ? 1.0 : -1.0;
        coefficients[i] = random.next() - 0.5;
    }
    rows = DataMatrix{n, d, x.data()};
    cls = KernelClassModel{};
    cls.rows = n;
    cls.dimension = d;
    cls.gamma = 0.3;
    cls.u = coefficients.data();
    cls.labels = labels.data();
    cls.trainingView = rows;
    cls.kernelMatrix = init_kernel_matrix(&rows, &rows, 0);
    set_kernel_type(cls.kernelMatrix, kernel);
    set_kernel_parameter(cls.kernelMatrix, 0, p0);
    set_kernel_parameter(cls.kernelMatrix, 1, p1);
}

HandModel::~HandModel()
{
    destroy_kernel_matrix(cls.kernelMatrix);
}

std::string call_captured(ScriptFunction f, const std::vector<TestArgument>& args,
                          void** result, int* resultType)
{
    testing::internal::CaptureStderr();
    *result = call_script(f, args, resultType);
    return testing::internal::GetCapturedStderr();
}
