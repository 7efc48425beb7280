// Helpers of the mixture plug-in tests.
#include "tests/plugins/bellmix_test_helpers.h"

#include <cmath>
#include <utility>

#include "xml/xml_functions.h"

HeldMatrix::HeldMatrix(int rows, int cols, std::vector<double> v)
    : values(std::move(v)), m{rows, cols, values.data()}
{
}

void sample_gaussian(TestRandom& random, const std::vector<double>& mean,
                     const std::vector<double>& lower, int n, double label,
                     std::vector<double>* rows)
{
    int D = static_cast<int>(mean.size());
    std::vector<double> z(D);
    for (int s = 0; s < n; ++s) {
        for (int i = 0; i < D; ++i)
            z[i] = random.normal();
        for (int i = 0; i < D; ++i) {
            double x = mean[i];
            for (int j = 0; j <= i; ++j)
                x += lower[i * D + j] * z[j];
            rows->push_back(x);
        }
        if (label > 0)
            rows->push_back(label);
    }
}

double log_determinant(std::vector<double> a, int n)
{
    double logDet = 0.0;
    for (int col = 0; col < n; ++col) {
        for (int r = col + 1; r < n; ++r) {
            double f = a[r * n + col] / a[col * n + col];
            for (int j = col; j < n; ++j)
                a[r * n + j] -= f * a[col * n + j];
        }
        logDet += std::log(std::fabs(a[col * n + col]));
    }
    return logDet;
}

std::vector<double> model_list(const std::string& file, const std::string& path, int number,
                               const std::string& name)
{
    XMLParser* handle = nullptr;
    std::vector<double> values;
    if (XMLopen(&handle, file.c_str()) &&
        XMLchangeElementWithNumber(&handle, path.c_str(), number)) {
        int size = XMLgetAttrArraySize(&handle, name.c_str(), ",");
        if (size > 0) {
            values.assign(size, 0.0);
            XMLgetAttrDoubleArrayValue(&handle, name.c_str(), values.data(), ",");
        }
    }
    XMLclose(&handle);
    return values;
}
