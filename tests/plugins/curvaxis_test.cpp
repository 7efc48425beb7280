// Kernel principal components: the stored directions against a Jacobi
// eigen-decomposition of the centred kernel written out in the test, how
// many are kept, and the plug-in's own refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <malloc.h>
#include <memory>

#include "tests/plugins/kernel_test_helpers.h"

extern "C" void* compute_curvaxis(void** values, int* types, int count, int* resultType);

TEST(CurvaxisTraining, DirectionsAreTheLeadingEigenvectorsOfTheCentredKernel)
{
    struct Case {
        int n, d;
        const char* options;
        int code;
        double p[5];
        int expected_m;  // -1: every Jacobi eigenvalue above 1e-5
    } cases[] = {
        {12, 3, nullptr, 0, {0, 0, 0, 0, 0}, 3},              // rank d
        {12, 3, "feanum=50", 0, {0, 0, 0, 0, 0}, 3},
        {12, 3, "feanum=2e0", 0, {0, 0, 0, 0, 0}, 2},
        {14, 2, "kernel=exp sigma=1", 2, {1, 0, 0, 0, 0}, -1},  // beyond d
        {10, 2, "kernel=exp feanum=5", 2, {2, 0, 0, 0, 0}, 5},
        {11, 2, "kernel=poly degree=2", 1, {2, 1, 0, 0, 0}, 5},  // 2 + 2 + 1 monomials
    };
    ScratchFolder folder;
    std::string file = folder.path("kpca.xml");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options ? c.options : "(none)");
        auto db = kernel_data(c.n, c.d, 2, 0.3, 100 + c.n);
        EXPECT_EQ(train_quietly(compute_curvaxis, *db, file, c.options), "");
        std::vector<double> values, vectors;
        jacobi_eigen(reference_centred_kernel(features_of(*db), c.code, c.p), c.n, &values,
                     &vectors);
        int m = c.expected_m;
        if (m < 0)
            for (m = 0; m < c.n && values[m] > 1e-5;)
                ++m;
        std::string text = read_text(file);
        ASSERT_EQ(stored_list(text, "newcolumn"), std::vector<double>{double(m)});
        EXPECT_EQ(count_of(text, "remaining feature number: " + std::to_string(m) + "<"), 1);
        auto rows = stored_rows(text, "V", c.n);
        for (const std::vector<double>& row : rows)
            ASSERT_GE(row.size(), static_cast<size_t>(m));
        for (int j = 0; j < m; ++j) {
            // The sign rule: first component not negative.
            double sign = rows[0][j] < 0 ? -1.0 : 1.0;
            EXPECT_GE(rows[0][j], 0.0);
            double sign_ref = vectors[j] < 0 ? -1.0 : 1.0;
            for (int g = 0; g < c.n; ++g)
                EXPECT_NEAR(sign * rows[g][j], sign_ref * vectors[g * c.n + j], 1e-7)
                    << "direction " << j << " row " << g;
        }
    }
}

TEST(CurvaxisTraining, NothingPositiveIsRefused)
{
    const std::string none = "CURVAXIS: positive eigenvalues are not exist!\n";
    expect_training_refusals(compute_curvaxis, {
        {3, 3, {1, 2, 1, 1, 2, 2, 1, 2, 1}, nullptr, none},  // equal rows: Kc = 0
        {3, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1}, "feanum=0", none},
        {3, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1}, "feanum=-4 kernel=exp", none},
    });
}

// Heap bytes in use: the arena's and those of blocks mapped on their own.
size_t heap_in_use()
{
    struct mallinfo2 heap = mallinfo2();
    return heap.uordblks + heap.hblkhd;
}

// Equal rows give Kc = 0, refused after the eigenvalue call has kept Kc's
// reduced form for the vectors: the refusal must not hold on to it.
TEST(CurvaxisTraining, RefusalAfterTheEigenvaluesKeepsNoMemory)
{
    ScratchFolder folder;
    std::string file = folder.path("kpca.xml");
    const std::string none = "CURVAXIS: positive eigenvalues are not exist!\n";
    auto equal_rows = [](int n) {
        std::vector<double> rows;
        for (int r = 0; r < n; ++r)
            rows.insert(rows.end(), {0.5, -2, 1});
        return std::make_unique<TestDatabase>(n, 3, rows);
    };
    auto first = equal_rows(3);
    ASSERT_EQ(train_quietly(compute_curvaxis, *first, file, nullptr), none);  // settles the heap
    const int n = 400;
    auto db = equal_rows(n);
    size_t before = heap_in_use();
    ASSERT_EQ(train_quietly(compute_curvaxis, *db, file, nullptr), none);
    EXPECT_LT(heap_in_use(), before + sizeof(double) * n * (n + 1) / 4);
}

// Labels are not read: any label value trains.
TEST(CurvaxisTraining, LabelsAreNotRead)
{
    TestDatabase db(3, 3, {1, 2, NAN, 3, 1, -7, 0, 5, 1e300});
    ScratchFolder folder;
    std::string file = folder.path("kpca.xml");
    EXPECT_EQ(train_quietly(compute_curvaxis, db, file, nullptr), "");
    EXPECT_TRUE(file_exists(file));
}
