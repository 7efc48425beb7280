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

std::vector<double> solve_linear(std::vector<double> a, std::vector<double> b, int n)
{
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r)
            if (std::fabs(a[r * n + col]) > std::fabs(a[pivot * n + col]))
                pivot = r;
        for (int j = 0; j < n; ++j)
            std::swap(a[col * n + j], a[pivot * n + j]);
        std::swap(b[col], b[pivot]);
        for (int r = col + 1; r < n; ++r) {
            double f = a[r * n + col] / a[col * n + col];
            for (int j = col; j < n; ++j)
                a[r * n + j] -= f * a[col * n + j];
            b[r] -= f * b[col];
        }
    }
    std::vector<double> x(n);
    for (int r = n - 1; r >= 0; --r) {
        double sum = b[r];
        for (int j = r + 1; j < n; ++j)
            sum -= a[r * n + j] * x[j];
        x[r] = sum / a[r * n + r];
    }
    return x;
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
