// Kernel independent components: two mixed non-Gaussian sources come back,
// the whitening coefficients against a Jacobi eigen-decomposition, the
// iteration's progress lines and limit, and the refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "plugins/unmixer/independent_components.h"
#include "support/matrix.h"
#include "tests/plugins/kernel_test_helpers.h"

extern "C" void* compute_unmixer(void** values, int* types, int count, int* resultType);
extern "C" void* execute_unmixer(void** values, int* types, int count, int* resultType);

namespace {

// n rows of two sources (uniform, and a sine wave: both sub-Gaussian) mixed
// by [[1, 0.6], [0.4, 1]], label 1; *sources receives them (n x 2).
std::unique_ptr<TestDatabase> mixed_sources(int n, std::vector<double>* sources)
{
    TestRandom random(2024);
    std::vector<double> data;
    sources->clear();
    for (int t = 0; t < n; ++t) {
        double s1 = (random.next() - 0.5) * std::sqrt(12.0);
        double s2 = std::sqrt(2.0) * std::sin(0.37 * t + 0.2);
        sources->push_back(s1);
        sources->push_back(s2);
        data.push_back(s1 + 0.6 * s2);
        data.push_back(0.4 * s1 + s2);
        data.push_back(1);
    }
    return std::make_unique<TestDatabase>(n, 3, data);
}

double correlation(const double* x, int xs, const double* y, int ys, int n)
{
    double mx = 0, my = 0;
    for (int t = 0; t < n; ++t) {
        mx += x[t * xs] / n;
        my += y[t * ys] / n;
    }
    double sxy = 0, sxx = 0, syy = 0;
    for (int t = 0; t < n; ++t) {
        sxy += (x[t * xs] - mx) * (y[t * ys] - my);
        sxx += (x[t * xs] - mx) * (x[t * xs] - mx);
        syy += (y[t * ys] - my) * (y[t * ys] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

}  // namespace

TEST(UnmixerTraining, RecoversTwoMixedSources)
{
    const int n = 400;
    std::vector<double> sources;
    auto db = mixed_sources(n, &sources);
    ScratchFolder folder;
    std::string file = folder.path("ica.xml");
    std::string progress = train_quietly(compute_unmixer, *db, file, nullptr);
    EXPECT_EQ(progress.rfind("Remaining column 2\nIteration 1.\n\terror: 1\n", 0), 0u);
    EXPECT_LT(count_of(progress, "Iteration"), 20);
    std::string messages;
    DataMatrix* out = execute_quietly(execute_unmixer, *db, file, &messages);
    ASSERT_NE(out, nullptr) << messages;
    ASSERT_EQ(out->rows, n);
    ASSERT_EQ(out->cols, 3);
    // Each source matches one output, each output one source.
    for (int s = 0; s < 2; ++s) {
        double best = 0.0;
        for (int j = 0; j < 2; ++j)
            best = std::max(best, std::fabs(correlation(&sources[s], 2, out->data + j, 3, n)));
        EXPECT_GT(best, 0.99) << "source " << s;
    }
    EXPECT_LT(std::fabs(correlation(out->data, 3, out->data + 1, 3, n)), 0.01);
    matrix_free(out);
}

// With maxiter=1 no pass runs and VW holds the whitening coefficients: the
// unit eigenvectors of Kc times sqrt(n) / e_j, whose scores have unit mean
// square.
TEST(UnmixerTraining, WithoutPassesTheModelHoldsTheWhitening)
{
    struct Case {
        const char* options;
        int code;
        double p[5];
        int m;
    } cases[] = {{"maxiter=1", 0, {0, 0, 0, 0, 0}, 3},
                 {"maxiter=0 feanum=2 kernel=exp sigma=2", 2, {2, 0, 0, 0, 0}, 2},
                 {"maxiter=-5 kernel=poly degree=2", 1, {2, 1, 0, 0, 0}, 3}};
    ScratchFolder folder;
    std::string file = folder.path("ica.xml");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        int n = 11;
        auto db = kernel_data(n, 3, 2, 0.4, 61);
        EXPECT_EQ(train_quietly(compute_unmixer, *db, file, c.options),
                  "Remaining column " + std::to_string(c.m) + "\n");
        std::vector<double> values, vectors;
        jacobi_eigen(reference_centred_kernel(features_of(*db), c.code, c.p), n, &values,
                     &vectors);
        std::string text = read_text(file);
        ASSERT_EQ(count_of(text, "<VW_"), n);
        EXPECT_EQ(count_of(text, "<V_"), 0);
        auto stored = stored_rows(text, "VW", n);
        for (const std::vector<double>& row : stored)
            ASSERT_GE(row.size(), static_cast<size_t>(c.m));
        for (int j = 0; j < c.m; ++j) {
            double scale = std::sqrt(double(n)) / values[j];
            double sign = stored[0][j] < 0 ? -1.0 : 1.0;
            for (int g = 0; g < n; ++g)
                EXPECT_NEAR(sign * stored[g][j], vectors[g * n + j] * scale, 1e-6 * scale)
                    << "direction " << j << " row " << g;
        }
    }
}

TEST(UnmixerTraining, PassesStopAtTheLimit)
{
    std::vector<double> sources;
    auto db = mixed_sources(200, &sources);
    ScratchFolder folder;
    std::string file = folder.path("ica.xml");
    std::string progress = train_quietly(compute_unmixer, *db, file, "maxiter=3");
    EXPECT_EQ(count_of(progress, "Iteration"), 2);
    EXPECT_NE(progress.find("Iteration 2.\n\terror: "), std::string::npos);
    // One feature: W is 1 x 1 and decorrelation drives it to +1 or -1.
    TestDatabase one(4, 2, {1, 1, 2, 1, 4, 2, 8, 2});
    progress = train_quietly(compute_unmixer, one, file, nullptr);
    EXPECT_EQ(progress.rfind("Remaining column 1\nIteration 1.\n\terror: 1\n", 0), 0u);
    auto stored = stored_rows(read_text(file), "VW", 4);
    for (const std::vector<double>& row : stored)
        ASSERT_FALSE(row.empty());
    // v = u sqrt(n) / e with u the unit centred feature vector.
    double mean = 15.0 / 4, e = 0.0;
    for (double x : {1.0, 2.0, 4.0, 8.0})
        e += (x - mean) * (x - mean);
    for (int g = 0; g < 4; ++g)
        EXPECT_NEAR(std::fabs(stored[g][0]),
                    std::fabs(one.values[g * 2] - mean) / std::sqrt(e) * 2.0 / e, 1e-9);
}

// W (W'W)^-1/2 has orthonormal columns; W'W with an eigenvalue of 0 has no
// inverse root, and the iteration must stop there.
TEST(UnmixerDecorrelation, GivesOrthonormalColumnsOrRefuses)
{
    struct Case {
        std::vector<double> w, expected;  // 2 x 2; expected empty: refused
    } cases[] = {
        {{2, 0, 0, 2}, {1, 0, 0, 1}},
        {{3, 1, 1, 3}, {1, 0, 0, 1}},        // symmetric positive: its sign, I
        {{0, -2, 0.5, 0}, {0, -1, 1, 0}},    // scaled rotation: the rotation
        {{1, 0, 0, 0}, {}},
        {{1, 2, 2, 4}, {}},                  // rank one: W'W has the eigenvalue 0
    };
    for (const Case& c : cases) {
        OwnedMatrix w = make_matrix(2, 2), d = make_matrix(2, 2);
        std::copy(c.w.begin(), c.w.end(), w->data);
        bool done = decorrelate(w.get(), d.get());
        EXPECT_EQ(done, !c.expected.empty()) << c.w[0] << " " << c.w[1];
        for (size_t t = 0; done && t < 4; ++t)
            EXPECT_NEAR(w->data[t], c.expected[t], 1e-12) << t;
    }
}

TEST(UnmixerTraining, RefusalsWriteNoModel)
{
    const std::string none =
        "Remaining column 0\nUNMIXER: positive eigenvalues are not exist!\n";
    expect_training_refusals(compute_unmixer, {
        {3, 3, {1, 2, 1, 1, 2, 2, 1, 2, 1}, nullptr, none},
        {3, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1}, "feanum=0", none},
        {3, 3, {1, 2, 1, 3, INFINITY, 2, 0, 5, 1}, nullptr,
         "UNMIXER: the feature in row 2, column 2 is not a finite number\n"},
        {3, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1}, "kernel=poly degree=1e9",
         "UNMIXER: the kernel gives a value that is not a finite number\n"},
    });
}

TEST(UnmixerProjection, ReadsTheUnmixingRows)
{
    expect_broken_models_refused(execute_unmixer,
                                 broken_models("UNMIXER", "Execute UNMIXER", "VW"));
}

TEST(UnmixerTraining, UnwritableModelFileIsRefusedBeforeTraining)
{
    auto db = kernel_data(6, 2, 2, 0.5, 12);
    expect_outputs_refused(compute_unmixer, *db, nullptr, "UNMIXER");
}
