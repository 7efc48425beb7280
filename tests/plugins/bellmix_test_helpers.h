// Helpers of the mixture plug-in tests: matrices from lists, a row-major
// Gaussian sampler and reading lists from a model file (linear solves come
// from tests/support/reference.h).
#ifndef BELLMIX_TEST_HELPERS_H
#define BELLMIX_TEST_HELPERS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scriptrun/plugin_api.h"
#include "tests/plugins/discriminant_test_helpers.h"
#include "tests/support/reference.h"

// A DataMatrix over its own copy of the values.
struct HeldMatrix {
    std::vector<double> values;  // rows * cols
    DataMatrix m;                // points into values
    HeldMatrix(int rows, int cols, std::vector<double> v);
    HeldMatrix(const HeldMatrix&) = delete;
};

// n samples of N(mean, L L') appended to rows (each row D features and then
// the label when label > 0).
void sample_gaussian(TestRandom& random, const std::vector<double>& mean,
                     const std::vector<double>& lower, int n, double label,
                     std::vector<double>* rows);

// log det of a symmetric positive definite n x n matrix, by elimination.
double log_determinant(std::vector<double> a, int n);

// The numbers of attribute name of the number-th element that path names
// (for example "/BELLMIX/parameters/#2#MIXTURE/GAUSSIAN") in a model file;
// empty when absent.
std::vector<double> model_list(const std::string& file, const std::string& path, int number,
                               const std::string& name);

// Runs f and returns what it printed to standard error.
template <typename F>
std::string captured(F f)
{
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

#endif
