// Kernel matrices: the four codes, the cache's prefix rule and when it is
// emptied, messages, and both centrings against their defining formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "reference.h"
#include "support/kernel_matrix.h"

namespace {

struct KernelDeleter {
    void operator()(KernelMatrix* k) const { destroy_kernel_matrix(k); }
};
using Kernel = std::unique_ptr<KernelMatrix, KernelDeleter>;

const double PARAMS[5] = {2, 1, 0, 0, 0};

// A kernel record of the given code with PARAMS set.
Kernel make_kernel(DataMatrix* left, DataMatrix* right, int cacheSize, int type)
{
    Kernel k(init_kernel_matrix(left, right, cacheSize));
    set_kernel_type(k.get(), type);
    for (int p = 0; p < 5; p++)
        set_kernel_parameter(k.get(), p, PARAMS[p]);
    return k;
}

TEST(KernelFunction, FourCodes)
{
    const double x[] = {1, 2}, y[] = {3, 4};
    struct Case {
        int type;
        double expected;
    } cases[] = {
        {0, 11},
        {1, 144},  // (11 + 1)^2
        {2, std::exp(-2.0)},  // |x - y|^2 = 8, p0 = 2
        {3, 11},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(kernel_function(x, y, 2, c.type, PARAMS), c.expected) << c.type;
    EXPECT_EQ(kernel_function(x, y, 0, 3, PARAMS), 0.0);
}

TEST(KernelFunctionDeathTest, UnknownCodeIsFatal)
{
    const double x[] = {1};
    EXPECT_EXIT(kernel_function(x, x, 1, 7, PARAMS), testing::ExitedWithCode(1),
                "Unknown kernel type!");
}

TEST(KernelMatrix, CacheCapacity)
{
    Matrix left = random_matrix(10, 3, 1), right = random_matrix(4, 3, 2);
    struct Case {
        int cacheSize, capacity;
        bool storage;
    } cases[] = {{100, 40, true}, {5, 5, true}, {0, 0, false}, {-1, 0, false}};
    for (const Case& c : cases) {
        Kernel k(init_kernel_matrix(left.get(), right.get(), c.cacheSize));
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->cacheCapacity, c.capacity);
        EXPECT_EQ(k->cache != nullptr, c.storage);
        EXPECT_EQ(k->type, 0);
        EXPECT_EQ(k->leftRows, 10);
        EXPECT_EQ(k->rightRows, 4);
    }
}

TEST(KernelMatrix, MessagesForBadRecords)
{
    Matrix a = random_matrix(3, 2, 1), b = random_matrix(3, 3, 1);
    expect_messages({
        {[&] { EXPECT_EQ(init_kernel_matrix(a.get(), b.get(), 4), nullptr); },
         "init_kernel_matrix: error with sizes!\n"},
        {[&] { EXPECT_EQ(init_kernel_matrix(nullptr, b.get(), 4), nullptr); },
         "init_kernel_matrix: error with sizes!\n"},
        {[&] { destroy_kernel_matrix(nullptr); }, "destroy_kernel_matrix: empty kernel structure\n!"},
        {[&] { set_kernel_type(nullptr, 1); }, "set_kernel_type: empty kernel structure\n!"},
        {[&] { set_kernel_parameter(nullptr, 0, 1); },
         "set_kernel_parameter: empty kernel structure\n!"},
        {[&] { EXPECT_EQ(kernel_matrix_entry(nullptr, 0, 0), 0.0); }, ""},
    });
}

TEST(KernelMatrix, CacheHoldsOnlyARowMajorPrefix)
{
    Matrix rows = random_matrix(3, 2, 9);
    Kernel k(init_kernel_matrix(rows.get(), rows.get(), 4));
    double first = kernel_matrix_entry(k.get(), 0, 2);
    EXPECT_EQ(k->cacheCount, 0);  // out of order: not stored
    struct Read {
        int i, j, count;
    } reads[] = {{0, 0, 1}, {0, 1, 2}, {0, 2, 3}, {1, 0, 4}, {2, 2, 4}, {1, 1, 4}};
    for (const Read& r : reads) {
        kernel_matrix_entry(k.get(), r.i, r.j);
        EXPECT_EQ(k->cacheCount, r.count) << r.i << "," << r.j;
    }
    // Cached positions answer from the cache even after the samples change.
    rows->data[0] += 1.0;
    EXPECT_EQ(kernel_matrix_entry(k.get(), 0, 2), first);
    EXPECT_NE(kernel_matrix_entry(k.get(), 2, 0), first);
    EXPECT_EQ(kernel_matrix_entry(k.get(), 3, 0), 0.0);
    EXPECT_EQ(kernel_matrix_entry(k.get(), 0, -1), 0.0);
}

TEST(KernelMatrix, ChangingTypeOrParameterEmptiesTheCache)
{
    Matrix rows = random_matrix(3, 2, 4);
    Kernel k(init_kernel_matrix(rows.get(), rows.get(), 9));
    auto refill = [&] {
        kernel_matrix_entry(k.get(), 0, 0);
        kernel_matrix_entry(k.get(), 0, 1);
    };
    struct Case {
        std::function<void()> change;
        int count, type;
        std::string message;
    } cases[] = {
        {[&] { set_kernel_parameter(k.get(), 0, 0.0); }, 2, 0, ""},
        {[&] { set_kernel_parameter(k.get(), 0, 2.0); }, 0, 0, ""},
        {[&] { set_kernel_parameter(k.get(), 5, 3.0); }, 2, 0, ""},
        {[&] { set_kernel_type(k.get(), 0); }, 2, 0, ""},
        {[&] { set_kernel_type(k.get(), 4); }, 2, 0, "set_kernel_type: unknown kernel type!\n"},
        {[&] { set_kernel_type(k.get(), -1); }, 2, 0, "set_kernel_type: unknown kernel type!\n"},
        {[&] { set_kernel_type(k.get(), 257); }, 0, 1, ""},
    };
    for (const Case& c : cases) {
        refill();
        testing::internal::CaptureStderr();
        c.change();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(k->cacheCount, c.count);
        EXPECT_EQ(k->type, c.type);
    }
    EXPECT_EQ(k->param[0], 2.0);
}

// The centred matrix by its definition: K_ij minus the mean of k(x_i, t_l)
// over l, minus the mean of k(t_l, t_j) over l, plus the mean of all k(t, t').
std::vector<double> centred_by_definition(const DataMatrix* x, const DataMatrix* t, int type)
{
    int n = x->rows, m = t->rows, d = x->cols;
    auto k = [&](const DataMatrix* a, int i, const DataMatrix* b, int j) {
        return kernel_function(a->data + i * d, b->data + j * d, d, type, PARAMS);
    };
    double grand = 0;
    std::vector<double> column(m, 0.0);
    for (int l = 0; l < m; l++)
        for (int j = 0; j < m; j++) {
            column[j] += k(t, l, t, j) / m;
            grand += k(t, l, t, j) / (double(m) * m);
        }
    std::vector<double> out;
    for (int i = 0; i < n; i++) {
        double row = 0;
        for (int l = 0; l < m; l++)
            row += k(x, i, t, l) / m;
        for (int j = 0; j < m; j++)
            out.push_back(k(x, i, t, j) - row - column[j] + grand);
    }
    return out;
}

TEST(KernelMatrix, CentredTrainingKernelHasZeroRowAndColumnSums)
{
    Matrix train = random_matrix(7, 3, 12);
    for (int type : {0, 1, 2, 3}) {
        Kernel k = make_kernel(train.get(), train.get(), 20, type);
        Matrix out(matrix_alloc(7, 7));
        get_centralized_kernel_matrix(k.get(), out.get());
        EXPECT_EQ(k->cacheCount, 20);
        std::vector<double> expected = centred_by_definition(train.get(), train.get(), type);
        for (int i = 0; i < 7; i++) {
            double row = 0, column = 0;
            for (int j = 0; j < 7; j++) {
                row += matrix_get(out.get(), i, j);
                column += matrix_get(out.get(), j, i);
                EXPECT_NEAR(matrix_get(out.get(), i, j), expected[i * 7 + j], 1e-12);
            }
            EXPECT_NEAR(row, 0.0, 1e-12) << type;
            EXPECT_NEAR(column, 0.0, 1e-12) << type;
        }

        // The same rows through a second record take the new-row branch and
        // must agree with the training result.
        Matrix copy = make_matrix(7, 3, values_of(train.get()));
        Kernel k2 = make_kernel(copy.get(), train.get(), 0, type);
        Matrix out2(matrix_alloc(7, 7));
        get_centralized_kernel_matrix(k2.get(), out2.get());
        for (int t = 0; t < 49; t++)
            EXPECT_NEAR(out2->data[t], out->data[t], 1e-12);
    }
}

TEST(KernelMatrix, CentredNewRowsFollowTheDefinition)
{
    Matrix train = random_matrix(5, 2, 30), fresh = random_matrix(3, 2, 31);
    Kernel k = make_kernel(fresh.get(), train.get(), 100, 2);
    Matrix out(matrix_alloc(3, 5));
    get_centralized_kernel_matrix(k.get(), out.get());
    std::vector<double> expected = centred_by_definition(fresh.get(), train.get(), 2);
    for (int t = 0; t < 15; t++)
        EXPECT_NEAR(out->data[t], expected[t], 1e-12);
    EXPECT_EQ(k->cacheCount, 15);

    Matrix wrong = make_matrix(5, 3, std::vector<double>(15, 7));
    get_centralized_kernel_matrix(k.get(), wrong.get());
    get_centralized_kernel_matrix(nullptr, out.get());
    EXPECT_EQ(values_of(wrong.get()), std::vector<double>(15, 7));
}

TEST(KernelFunction, WholeDegreesMatchPow)
{
    const double x[] = {0.7, -1.3, 2.1}, y[] = {1.1, 0.4, -0.6};
    const double dot = 0.7 * 1.1 - 1.3 * 0.4 - 2.1 * 0.6;
    for (double degree : {0.0, 1.0, 2.0, 3.0, 7.0, 12.0, -2.0, 2.5, 2000.0}) {
        for (double offset : {1.0, -3.0, 0.0}) {
            const double params[5] = {degree, offset, 0, 0, 0};
            double expected = std::pow(dot + offset, degree);
            double found = kernel_function(x, y, 3, 1, params);
            if (std::isfinite(expected))
                EXPECT_NEAR(found, expected, 1e-14 * std::fabs(expected)) << degree << " " << offset;
            else
                EXPECT_EQ(std::isnan(found), std::isnan(expected)) << degree << " " << offset;
        }
    }
}

TEST(KernelMatrix, TrainingKernelIsFilledSymmetricallyWithTheSameCache)
{
    // Against an independent fill from kernel_function: the same values, an
    // exactly symmetric centred result, and the cache a row-major prefix.
    const int n = 9;
    Matrix samples = random_matrix(n, 4, 12);
    for (int type : {0, 1, 2, 3}) {
        for (int cacheSize : {0, 5, 40, n * n}) {
            Kernel k = make_kernel(samples.get(), samples.get(), cacheSize, type);
            Matrix out(matrix_alloc(n, n));
            get_centralized_kernel_matrix(k.get(), out.get());
            std::vector<double> plain(n * n);
            for (int i = 0; i < n; i++)
                for (int j = 0; j < n; j++)
                    plain[i * n + j] = kernel_function(samples->data + i * 4, samples->data + j * 4,
                                                       4, type, PARAMS);
            int expected_count = std::min(cacheSize, n * n);
            ASSERT_EQ(k->cacheCount, expected_count) << type << " " << cacheSize;
            for (int t = 0; t < expected_count; t++)
                EXPECT_EQ(k->cache[t], plain[t]) << type << " " << t;
            for (int i = 0; i < n; i++)
                for (int j = 0; j < n; j++)
                    EXPECT_EQ(out->data[i * n + j], out->data[j * n + i]) << type;
            double sum = 0;
            for (double v : plain)
                sum += v;
            for (int i = 0; i < n; i++) {
                double row = 0;
                for (int j = 0; j < n; j++)
                    row += plain[i * n + j];
                double col = 0;
                for (int j = 0; j < n; j++)
                    col += plain[j * n + i];
                EXPECT_NEAR(out->data[i * n + i], plain[i * n + i] - (row + col) / n + sum / (n * n),
                            1e-12);
            }
        }
    }
}

}  // namespace
