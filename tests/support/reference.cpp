// Reference computations written independently of the support code.
#include "reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

Matrix make_matrix(int rows, int cols, const std::vector<double>& values)
{
    Matrix m(matrix_alloc(rows, cols));
    std::copy(values.begin(), values.end(), m->data);
    return m;
}

Matrix make_column(const std::vector<double>& values)
{
    return make_matrix(static_cast<int>(values.size()), 1, values);
}

Matrix random_matrix(int rows, int cols, unsigned seed)
{
    std::mt19937 engine(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> values(static_cast<size_t>(rows) * cols);
    for (double& v : values)
        v = uniform(engine);
    return make_matrix(rows, cols, values);
}

Matrix symmetrised(const DataMatrix* a)
{
    int n = a->rows;
    Matrix s(matrix_alloc(n, n));
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            s->data[i * n + j] = a->data[i * n + j] + a->data[j * n + i];
    return s;
}

std::vector<double> values_of(const DataMatrix* m)
{
    return std::vector<double>(m->data, m->data + static_cast<size_t>(m->rows) * m->cols);
}

std::vector<double> column_of(const DataMatrix* m, int c)
{
    std::vector<double> column(m->rows);
    for (int r = 0; r < m->rows; r++)
        column[r] = m->data[static_cast<size_t>(r) * m->cols + c];
    return column;
}

double largest_entry(const DataMatrix* m)
{
    double largest = 0;
    for (double v : values_of(m))
        largest = std::fmax(largest, std::fabs(v));
    return largest;
}

void expect_messages(const std::vector<MessageCase>& cases)
{
    for (size_t i = 0; i < cases.size(); i++) {
        testing::internal::CaptureStderr();
        cases[i].call();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), cases[i].message) << "case " << i;
    }
}

// One rotation in the (p, q) plane that zeroes a[p][q].
static void jacobi_rotate(std::vector<double>& a, int n, int p, int q)
{
    double apq = a[p * n + q];
    if (apq == 0.0)
        return;
    double theta = (a[q * n + q] - a[p * n + p]) / (2.0 * apq);
    double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
    double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
    for (int k = 0; k < n; k++) {
        double akp = a[k * n + p], akq = a[k * n + q];
        a[k * n + p] = c * akp - s * akq;
        a[k * n + q] = s * akp + c * akq;
    }
    for (int k = 0; k < n; k++) {
        double apk = a[p * n + k], aqk = a[q * n + k];
        a[p * n + k] = c * apk - s * aqk;
        a[q * n + k] = s * apk + c * aqk;
    }
}

std::vector<double> jacobi_eigenvalues(const DataMatrix* m)
{
    int n = m->rows;
    std::vector<double> a = values_of(m);
    for (int sweep = 0; sweep < 100; sweep++) {
        double off = 0.0;
        for (int p = 0; p < n; p++)
            for (int q = p + 1; q < n; q++)
                off += a[p * n + q] * a[p * n + q];
        if (off < 1e-30)
            break;
        for (int p = 0; p < n; p++)
            for (int q = p + 1; q < n; q++)
                jacobi_rotate(a, n, p, q);
    }
    std::vector<double> values(n);
    for (int i = 0; i < n; i++)
        values[i] = a[i * n + i];
    std::sort(values.begin(), values.end(), std::greater<double>());
    return values;
}

std::vector<double> solve_linear(std::vector<double> s, std::vector<double> r, int n)
{
    for (int k = 0; k < n; k++) {
        int p = k;
        for (int i = k + 1; i < n; i++)
            if (std::fabs(s[i * n + k]) > std::fabs(s[p * n + k]))
                p = i;
        for (int j = 0; j < n; j++)
            std::swap(s[k * n + j], s[p * n + j]);
        std::swap(r[k], r[p]);
        for (int i = k + 1; i < n; i++) {
            double f = s[i * n + k] / s[k * n + k];
            for (int j = k; j < n; j++)
                s[i * n + j] -= f * s[k * n + j];
            r[i] -= f * r[k];
        }
    }
    std::vector<double> x(n);
    for (int i = n - 1; i >= 0; i--) {
        double sum = r[i];
        for (int j = i + 1; j < n; j++)
            sum -= s[i * n + j] * x[j];
        x[i] = sum / s[i * n + i];
    }
    return x;
}

std::vector<double> normal_equations(const DataMatrix* a, const std::vector<double>& b)
{
    int m = a->rows, n = a->cols;
    std::vector<double> ata(static_cast<size_t>(n) * n, 0.0), atb(n, 0.0);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++)
            for (int r = 0; r < m; r++)
                ata[i * n + j] += a->data[r * n + i] * a->data[r * n + j];
        for (int r = 0; r < m; r++)
            atb[i] += a->data[r * n + i] * b[r];
    }
    return solve_linear(ata, atb, n);
}

double determinant(std::vector<double> a, int n)
{
    double det = 1.0;
    for (int k = 0; k < n; k++) {
        int p = k;
        for (int i = k + 1; i < n; i++)
            if (std::fabs(a[i * n + k]) > std::fabs(a[p * n + k]))
                p = i;
        if (p != k) {
            for (int j = 0; j < n; j++)
                std::swap(a[k * n + j], a[p * n + j]);
            det = -det;
        }
        if (a[k * n + k] == 0.0)
            return 0.0;
        det *= a[k * n + k];
        for (int i = k + 1; i < n; i++) {
            double f = a[i * n + k] / a[k * n + k];
            for (int j = k; j < n; j++)
                a[i * n + j] -= f * a[k * n + j];
        }
    }
    return det;
}

std::vector<double> times(const DataMatrix* a, const std::vector<double>& x)
{
    std::vector<double> y(a->rows, 0.0);
    for (int i = 0; i < a->rows; i++)
        for (int j = 0; j < a->cols; j++)
            y[i] += a->data[i * a->cols + j] * x[j];
    return y;
}
