// Class-pair kernel discriminant: Kc Q Kc against the quadruple sum over the
// pair signs, the directions against Jacobi eigenvectors, what is kept, the
// progress counter and the refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "plugins/tessel/pair_kernel.h"
#include "tests/plugins/kernel_test_helpers.h"

extern "C" void* compute_tessel(void** values, int* types, int count, int* resultType);

namespace {

std::vector<double> labels_of(const TestDatabase& db)
{
    std::vector<double> labels;
    for (int r = 0; r < db.matrix.rows; ++r)
        labels.push_back(db.values[r * db.matrix.cols + db.matrix.cols - 1]);
    return labels;
}

// Q[i][j] from the labels alone: +1 for different labels, -1 for equal ones,
// and on the diagonal the row's sum of those signs (j = i counting -1) less 1.
double pair_sign(const std::vector<double>& y, int i, int j)
{
    if (i != j)
        return y[i] != y[j] ? 1.0 : -1.0;
    double sum = 0.0;
    for (double other : y)
        sum += y[i] != other ? 1.0 : -1.0;
    return sum - 1.0;
}

// Kp[a][b] = sum over i and j of Kc[a][i] Q[i][j] Kc[j][b].
std::vector<double> quadruple_sum(const std::vector<double>& kc, const std::vector<double>& y)
{
    int n = static_cast<int>(y.size());
    std::vector<double> kp(n * n, 0.0);
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b)
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j)
                    kp[a * n + b] += kc[a * n + i] * pair_sign(y, i, j) * kc[j * n + b];
    return kp;
}

OwnedMatrix column(const std::vector<double>& values)
{
    OwnedMatrix m = make_matrix(static_cast<int>(values.size()), 1);
    std::copy(values.begin(), values.end(), m->data);
    return m;
}

}  // namespace

TEST(TesselPairSigns, ProductMatchesTheQuadrupleSum)
{
    struct Case {
        std::vector<double> labels;
        int code;
        double p[5];
    } cases[] = {
        {{1, 2, 1, 2, 3, 1, 3}, 0, {0, 0, 0, 0, 0}},
        {{1, 1.5, 2, 1, 1.5, 2, 2}, 2, {1.2, 0, 0, 0, 0}},
        {{4, 4, 4, 4, 4, 4, 4}, 1, {2, 1, 0, 0, 0}},
        {{1, 2, 3, 4, 5, 6, 7}, 2, {0.8, 0, 0, 0, 0}},
        {{1, 1.5, -0.0, 0.0, 1, 2, 1.5}, 0, {0, 0, 0, 0, 0}},  // 1.5 is no 1; -0 is 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        int n = 7;
        auto db = kernel_data(n, 2, 2, 0.5, 9 + c.code);
        std::vector<double> kc = reference_centred_kernel(features_of(*db), c.code, c.p);
        std::vector<double> expected = quadruple_sum(kc, c.labels);
        OwnedMatrix k = make_matrix(n, n), kp = make_matrix(n, n), y = column(c.labels),
                    sums = make_matrix(n, 1);
        std::copy(kc.begin(), kc.end(), k->data);
        LabelGroups groups = group_labels(y.get());
        pair_sign_row_sums(groups, sums.get());
        testing::internal::CaptureStderr();
        pair_kernel_product(k.get(), groups, sums.get(), kp.get());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "0\r1\r2\r3\r4\r5\r6\r\n");
        double scale = 0.0;
        for (double v : expected)
            scale = std::max(scale, std::fabs(v));
        for (int t = 0; t < n * n; ++t)
            EXPECT_NEAR(kp->data[t], expected[t], 1e-12 * scale) << t;
    }
}

// The stored rows are the eigenvectors of Kp for its largest eigenvalues,
// negative ones included when feanum asks, scaled to unit kernel norm.
TEST(TesselTraining, DirectionsAreTheLeadingEigenvectorsOfThePairProduct)
{
    struct Case {
        int n, d;
        const char* options;
        int code;
        double p[5];
        int expected_m, classes;
    } cases[] = {
        {9, 4, "feanum=10", 0, {0, 0, 0, 0, 0}, 4, 3},
        {8, 2, "kernel=exp sigma=1 feanum=5", 2, {1, 0, 0, 0, 0}, 2, 1},
        {10, 3, "kernel=exp sigma=1.5", 2, {1.5, 0, 0, 0, 0}, 3, 3},
        {8, 3, "kernel=poly degree=2 feanum=2", 1, {2, 1, 0, 0, 0}, 2, 3},
        {3, 5, "kernel=exp sigma=2 feanum=10", 2, {2, 0, 0, 0, 0}, 3, 2},  // bounded by n
    };
    ScratchFolder folder;
    std::string file = folder.path("pairs.xml");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        auto db = kernel_data(c.n, c.d, c.classes, 0.6, 50 + c.n);
        std::string progress;
        for (int a = 0; a < c.n; ++a)
            progress += std::to_string(a) + "\r";
        EXPECT_EQ(train_quietly(compute_tessel, *db, file, c.options), progress + "\n");
        Rows rows = features_of(*db);
        std::vector<double> values, vectors;
        jacobi_eigen(quadruple_sum(reference_centred_kernel(rows, c.code, c.p), labels_of(*db)),
                     c.n, &values, &vectors);
        std::string text = read_text(file);
        ASSERT_EQ(stored_list(text, "newcolumn"), std::vector<double>{double(c.expected_m)});
        EXPECT_EQ(count_of(text, "<item>"), 4 + 8);
        auto stored = stored_rows(text, "V", c.n);
        for (const std::vector<double>& row : stored)
            ASSERT_GE(row.size(), static_cast<size_t>(c.expected_m));
        double largest = std::max(std::fabs(values[0]), std::fabs(values[c.n - 1]));
        if (c.classes == 1) {
            // Q = -J - n I is negative definite: Kp = -n Kc Kc, and the
            // second kept direction has a negative eigenvalue.
            EXPECT_LT(values[1], 0.0);
        }
        for (int j = 0; j < c.expected_m; ++j) {
            // An eigenvalue shared by several vectors has no single direction.
            if ((j > 0 && values[j - 1] - values[j] < 1e-6 * largest) ||
                (j + 1 < c.n && values[j] - values[j + 1] < 1e-6 * largest))
                continue;
            double r = 0.0;
            for (int g = 0; g < c.n; ++g)
                for (int k = 0; k < c.n; ++k)
                    r += reference_kernel(&rows.x[g * c.d], &rows.x[k * c.d], c.d, c.code, c.p) *
                         vectors[g * c.n + j] * vectors[k * c.n + j];
            double scale = r > 0 ? 1 / std::sqrt(r) : 1.0;
            for (int g = 0; g < c.n; ++g)
                EXPECT_NEAR(stored[g][j], vectors[g * c.n + j] * scale, 1e-6 * scale)
                    << "direction " << j << " row " << g;
        }
    }
}

TEST(TesselTraining, RefusalsWriteNoModel)
{
    expect_training_refusals(compute_tessel, {
        {3, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1}, "feanum=0", "0\r1\r2\r\nTESSEL: selected directions are not exist!\n"},
        {3, 3, {1, 2, 1, 3, 1, NAN, 0, 5, 1}, nullptr,
         "TESSEL: the class label in row 2 is not a finite number\n"},
        {3, 3, {1, NAN, 1, 3, 1, 2, 0, 5, 1}, nullptr,
         "TESSEL: the feature in row 1, column 2 is not a finite number\n"},
    });
}

TEST(TesselTraining, UnwritableModelFileIsRefusedBeforeTraining)
{
    auto db = kernel_data(6, 2, 2, 0.5, 12);
    expect_outputs_refused(compute_tessel, *db, nullptr, "TESSEL");
}
