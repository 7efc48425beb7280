// Mixture plug-in training: K-means and EM steps worked by hand,
// generate-then-recover, EM's stop guard, and the script functions'
// traces, refusals and model files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <filesystem>
#include <functional>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "plugins/bellmix/class_training.h"
#include "plugins/bellmix/mixture_model.h"
#include "plugins/bellmix/rbf_network.h"
#include "plugins/bellmix/training.h"
#include "support/matrix.h"
#include "support/random.h"
#include "tests/plugins/bellmix_test_helpers.h"
#include "xml/node.h"
#include "xml/path.h"

extern "C" void* train_bellmix(void** values, int* types, int count, int* resultType);
extern "C" void* test_bellmix(void** values, int* types, int count, int* resultType);
extern "C" void* test_rbfn(void** values, int* types, int count, int* resultType);

namespace {

std::vector<int> all_rows(int n)
{
    std::vector<int> rows(n);
    for (int i = 0; i < n; ++i)
        rows[i] = i;
    return rows;
}

struct KMeansCase {
    const char* name;
    std::vector<double> x;  // one feature per row
    int K, maxIt;
    int expectedReturn;
    std::vector<int> assignment;
    std::vector<double> centres;
};

// Two rows: both seeds are row 0; the empty second cluster keeps its centre
// (no division by zero) and later takes row 0.
TEST(KMeans, HandWorkedClusterings)
{
    std::vector<KMeansCase> cases = {
        {"two rows, both seeds row 0", {0, 10}, 2, 50, 2, {1, 0}, {10, 0}},
        {"limit reached", {0, 10}, 2, 1, 0, {1, 0}, {5, 0}},
        {"one cluster", {1, 2, 6}, 1, 50, 1, {0, 0, 0}, {3}},
    };
    for (const KMeansCase& c : cases) {
        SCOPED_TRACE(c.name);
        int n = static_cast<int>(c.x.size());
        HeldMatrix features(n, 1, c.x), centres(c.K, 1, std::vector<double>(c.K, -1));
        std::vector<int> rows = all_rows(n), assignment(n, -1), sizes(c.K, -1);
        int result = 0;
        captured([&] {
            result = kmeans_cluster(&features.m, rows.data(), assignment.data(), sizes.data(),
                                    &centres.m, n, c.K, c.maxIt);
        });
        EXPECT_EQ(result, c.expectedReturn);
        EXPECT_EQ(assignment, c.assignment);
        EXPECT_EQ(centres.values, c.centres);
    }
}

// The last listed row is never a seed: with rows 0, 1 and 100 the row 100
// always shares its first cluster with a seed row, so no centre after the
// one update that maxIt 1 allows is 100 itself.
TEST(KMeans, LastListedRowIsNeverASeed)
{
    HeldMatrix features(3, 1, {0, 1, 100});
    std::vector<int> rows = all_rows(3);
    for (unsigned seed = 1; seed <= 200; ++seed) {
        seed_random15(seed);
        HeldMatrix centres(3, 1, {0, 0, 0});
        std::vector<int> assignment(3), sizes(3);
        captured([&] {
            kmeans_cluster(&features.m, rows.data(), assignment.data(), sizes.data(), &centres.m,
                           3, 3, 1);
        });
        for (double centre : centres.values)
            ASSERT_NE(centre, 100.0) << "seed " << seed;
    }
}

// A class of 70000 rows whose values are their positions: a draw above
// 30680 times n - 2 passes the int range. The seed positions are worked out
// from the same draws; after the one update that maxIt 1 allows, each
// centre is the mean of the positions nearer to its seed (ties to the
// lower centre).
TEST(KMeans, SeedPositionsOfALargeClass)
{
    const int n = 70000;
    unsigned seed = 1;
    for (;; ++seed) {
        seed_random15(seed);
        if (random15() > 31000)
            break;
    }
    seed_random15(seed);
    std::vector<double> seeds(2);
    for (double& s : seeds)
        s = static_cast<int>(static_cast<double>(random15()) * (n - 2) * 3.051850947599719e-05);
    std::vector<double> sums(2, 0.0), counts(2, 0.0);
    for (int i = 0; i < n; ++i) {
        int c = std::fabs(i - seeds[1]) < std::fabs(i - seeds[0]) ? 1 : 0;
        sums[c] += i;
        counts[c] += 1;
    }
    std::vector<double> values(n);
    for (int i = 0; i < n; ++i)
        values[i] = i;
    HeldMatrix features(n, 1, values), centres(2, 1, {-1, -1});
    std::vector<int> rows = all_rows(n), assignment(n), sizes(2);
    seed_random15(seed);
    int result = -1;
    captured([&] {
        result = kmeans_cluster(&features.m, rows.data(), assignment.data(), sizes.data(),
                                &centres.m, n, 2, 1);
    });
    EXPECT_EQ(result, 0);
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        double expected = counts[c] > 0 ? sums[c] * (1.0 / counts[c]) : seeds[c];
        EXPECT_DOUBLE_EQ(centres.values[c], expected);
    }
}

TEST(MixtureFromClusters, HandWorkedParametersAndTooSmallClusters)
{
    HeldMatrix features(5, 1, {0, 2, 4, 10, 12}), centres(2, 1, {2, 11});
    std::vector<int> rows = all_rows(5), assignment = {0, 0, 0, 1, 1}, sizes = {3, 2};
    MixtureModel m(1, 2, 1);
    EXPECT_EQ(mixture_from_clusters(&m, &features.m, rows.data(), assignment.data(),
                                    sizes.data(), &centres.m, 5), 2);
    EXPECT_EQ(m.getWeights()->data[0], 0.6);
    EXPECT_EQ(m.getWeights()->data[1], 0.4);
    EXPECT_EQ(m.getCovariance(0)->data[0], 4.0);
    EXPECT_EQ(m.getCovariance(1)->data[0], 2.0);
    std::vector<int> lonely = {0, 0, 0, 0, 1}, lonelySizes = {4, 1};
    std::string out = captured([&] {
        EXPECT_EQ(mixture_from_clusters(&m, &features.m, rows.data(), lonely.data(),
                                        lonelySizes.data(), &centres.m, 5), 1);
    });
    EXPECT_EQ(out, "EXIT: Mixture 1 has 0 or 1 element!\n");
}

// Samples of known full-covariance Gaussians; trained weights, means and
// covariances agree within sampling error.
TEST(TrainMixture, RecoversKnownGaussians)
{
    TestRandom random(7);
    std::vector<double> x;
    sample_gaussian(random, {0, 0}, {1.0, 0, 0.5, 0.8}, 1200, 0, &x);
    sample_gaussian(random, {8, 3}, {0.5, 0, -0.3, 0.6}, 800, 0, &x);
    HeldMatrix features(2000, 2, x);
    std::vector<int> rows = all_rows(2000);
    MixtureModel m(2, 2, 0);
    seed_random15(3);
    int fitted = 0;
    captured([&] {
        fitted = train_mixture(&m, &features.m, rows.data(), 2000, 2, 4, 30, 1e-6, 100);
    });
    ASSERT_EQ(fitted, 1);
    int first = m.getMean(0)->data[0] < 4 ? 0 : 1, second = 1 - first;
    const double* w = m.getWeights()->data;
    EXPECT_NEAR(w[first], 0.6, 0.01);
    EXPECT_NEAR(w[second], 0.4, 0.01);
    // Covariances L L': {1, .5; .5, .89} and {.25, -.15; -.15, .45}.
    std::vector<double> cov0 = {1, 0.5, 0.5, 0.89}, cov1 = {0.25, -0.15, -0.15, 0.45};
    for (int t = 0; t < 4; ++t) {
        EXPECT_NEAR(m.getCovariance(first)->data[t], cov0[t], 0.1);
        EXPECT_NEAR(m.getCovariance(second)->data[t], cov1[t], 0.05);
    }
    EXPECT_NEAR(m.getMean(first)->data[0], 0, 0.08);
    EXPECT_NEAR(m.getMean(first)->data[1], 0, 0.08);
    EXPECT_NEAR(m.getMean(second)->data[0], 8, 0.05);
    EXPECT_NEAR(m.getMean(second)->data[1], 3, 0.06);
}

double total_log_likelihood(MixtureModel& m, const HeldMatrix& f)
{
    double L = 0.0;
    for (int i = 0; i < f.m.rows; ++i)
        L += m.log_likelihood(f.m.data + i * f.m.cols);
    return L;
}

TEST(EmRefine, RaisesTheLikelihoodAndStopsOnAnEmptyComponent)
{
    TestRandom random(11);
    std::vector<double> x;
    sample_gaussian(random, {0}, {1}, 300, 0, &x);
    sample_gaussian(random, {5}, {1}, 300, 0, &x);
    HeldMatrix f(600, 1, x);
    std::vector<int> rows = all_rows(600);
    MixtureModel m(1, 2, 1);
    HeldMatrix w(1, 2, {0.5, 0.5}), mu0(1, 1, {1}), mu1(1, 1, {4}), var(1, 1, {2});
    m.setWeights(&w.m);
    m.setMean(0, &mu0.m);
    m.setMean(1, &mu1.m);
    m.setCovariance(0, &var.m);
    m.setCovariance(1, &var.m);
    double before = total_log_likelihood(m, f);
    captured([&] { EXPECT_GT(em_refine(&m, &f.m, rows.data(), 600, 40, 1e-9), 0); });
    EXPECT_GT(total_log_likelihood(m, f), before + 10);
    // A component far from every row gets responsibilities summing to ~0.
    HeldMatrix far(1, 1, {1e3});
    m.setMean(1, &far.m);
    double mean0 = m.getMean(0)->data[0], var0 = m.getCovariance(0)->data[0];
    std::string out;
    out = captured([&] { EXPECT_EQ(em_refine(&m, &f.m, rows.data(), 600, 5, 1e-9), -1); });
    EXPECT_NE(out.find("EM stops with the last complete pass"), std::string::npos);
    EXPECT_EQ(m.getMean(0)->data[0], mean0);
    EXPECT_EQ(m.getCovariance(0)->data[0], var0);
    EXPECT_EQ(m.getMean(1)->data[0], 1e3);
}

struct UnfittableCase {
    const char* name;
    std::vector<double> x;
    int K, starts;
    std::string tail;  // the last message
};

TEST(TrainMixture, UnfittableMixturesAreReported)
{
    std::vector<UnfittableCase> cases = {
        {"one row", {1}, 1, 3, "Too few data lines to fit a mixture!\n"},
        {"no starts", {1, 2, 3}, 1, 0, "No good clustering found to start EM!\n"},
        {"more components than pairs", {1, 2, 3}, 2, 2, "No good clustering found to start EM!\n"},
        {"identical rows", {4, 4, 4}, 1, 1, "No good clustering found to start EM!\n"},
        // The mean of seven rows of 0.1 is off by rounding, so the variance
        // is about 1e-34, not 0: still a constant feature.
        {"constant but for rounding", std::vector<double>(7, 0.1), 1, 1,
         "No good clustering found to start EM!\n"},
    };
    for (const UnfittableCase& c : cases) {
        SCOPED_TRACE(c.name);
        int n = static_cast<int>(c.x.size());
        HeldMatrix f(n, 1, c.x);
        std::vector<int> rows = all_rows(n);
        MixtureModel m(1, c.K, 1);
        int fitted = 1;
        std::string out = captured([&] {
            fitted = train_mixture(&m, &f.m, rows.data(), n, c.K, c.starts, 5, 1e-4, 50);
        });
        EXPECT_EQ(fitted, 0);
        ASSERT_GE(out.size(), c.tail.size());
        EXPECT_EQ(out.substr(out.size() - c.tail.size()), c.tail);
    }
}

// Three classes of four correlated features; rows of D features and a label.
std::vector<double> correlated_classes(int perClass, unsigned seed)
{
    TestRandom random(seed);
    std::vector<double> lower = {1, 0, 0, 0, 0.8, 0.6, 0, 0, 0.5, 0.3, 0.8, 0, 0.2, -0.4, 0.3, 0.8};
    std::vector<double> rows;
    sample_gaussian(random, {0, 0, 0, 0}, lower, perClass, 1, &rows);
    sample_gaussian(random, {1.5, 1, 0, 0.5}, lower, perClass, 2, &rows);
    sample_gaussian(random, {0, 2, 1.5, -1}, lower, perClass, 3, &rows);
    return rows;
}

// Features (the label column dropped, feature i times scales[i]) and labels.
void split_scaled(const std::vector<double>& rows, const std::vector<double>& scales,
                  std::vector<double>* features, std::vector<double>* labels)
{
    size_t D = scales.size();
    for (size_t r = 0; r < rows.size() / (D + 1); ++r) {
        for (size_t i = 0; i < D; ++i)
            features->push_back(rows[r * (D + 1) + i] * scales[i]);
        labels->push_back(rows[r * (D + 1) + D]);
    }
}

// The class each test row gets from one-component mixtures trained per
// class (by likelihood), followed by the class each gets from the network
// fitted over them by least squares.
std::vector<int> classes_in_units(const std::vector<double>& scales, int diagonal)
{
    std::vector<double> x, y, tx, ty;
    split_scaled(correlated_classes(60, 21), scales, &x, &y);
    split_scaled(correlated_classes(60, 22), scales, &tx, &ty);
    int D = 4, n = static_cast<int>(y.size());
    HeldMatrix features(n, D, x), labels(n, 1, y), test(n, D, tx);
    ClassLists lists = build_class_lists(&labels.m, 3);
    RbfNetwork net(D, 3, 1, diagonal);
    int fitted = 0;
    captured([&] {
        for (int c = 1; c <= 3; ++c)
            train_mixture(net.getMixture(c), &features.m, &lists.rows[lists.offsets[c - 1]],
                          lists.offsets[c] - lists.offsets[c - 1], 1, 1, 5, 1e-4, 50);
        fitted = rbf_weights_least_squares(&net, &features.m, n, 3, &labels.m);
    });
    std::vector<int> classes;
    for (int r = 0; r < n; ++r) {
        std::vector<double> L;
        for (int c = 1; c <= 3; ++c)
            L.push_back(net.getMixture(c)->log_likelihood(&tx[r * D]));
        classes.push_back(1 + static_cast<int>(std::max_element(L.begin(), L.end()) - L.begin()));
    }
    for (int r = 0; fitted && r < n; ++r) {
        const double* out = net.output(&tx[r * D]);
        classes.push_back(1 + static_cast<int>(std::max_element(out, out + 3) - out));
    }
    return classes;
}

// A change of units moves neither the singularity tests nor the classes:
// each feature in its own power of ten from 1e-6 to 1e6, or all in 10^s,
// gives the same class for every row as the original units, diagonal and
// full, by likelihood, and by the network unless its fit is refused (in
// units of 1e60 it used to answer others).
TEST(TrainMixture, ClassificationsDoNotDependOnUnits)
{
    for (int diagonal : {1, 0}) {
        std::vector<int> original = classes_in_units({1, 1, 1, 1}, diagonal);
        ASSERT_EQ(original.size(), 2 * 180u);
        for (int s : {0, -40, -5, 3, 40, 60, -100}) {  // 0: each feature in its own units
            SCOPED_TRACE(std::string(diagonal ? "diagonal" : "full") + ", 10^" + std::to_string(s));
            std::vector<double> units = {1e-6, 1e-3, 1e2, 1e6};
            if (s != 0)
                units.assign(4, std::pow(10.0, s));
            std::vector<int> scaled = classes_in_units(units, diagonal);
            size_t kept = s ? std::min(scaled.size(), original.size()) : 360;  // 180: refused
            EXPECT_EQ(scaled, std::vector<int>(original.begin(), original.begin() + kept));
        }
        std::vector<double> truth, unused;
        split_scaled(correlated_classes(60, 22), {1, 1, 1, 1}, &unused, &truth);
        int right = 0;
        for (size_t r = 0; r < truth.size(); ++r)
            right += original[r] == truth[r];
        EXPECT_GT(right, 0.7 * truth.size());
    }
}

unsigned fixed_seed()
{
    return 5;
}

// Script-level cases share a scratch folder and a fixed training seed.
// The names in folder, "." and ".." aside, sorted.
std::vector<std::string> folder_entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class BellmixScript : public testing::Test {
protected:
    void SetUp() override { set_training_seed_source(fixed_seed); }
    void TearDown() override { set_training_seed_source(nullptr); }
    std::string run(ScriptFunction f, TestDatabase& db, const std::string& file,
                    const char* options = nullptr)
    {
        return train_quietly(f, db, folder.path(file), options);
    }
    std::string path(const std::string& file) { return folder.path(file); }
    ScratchFolder folder;
};

// Two classes of D unit-variance features, means 0 and gap in every feature.
std::vector<double> two_classes(int perClass, int D, double gap, unsigned seed)
{
    TestRandom random(seed);
    std::vector<double> rows;
    std::vector<double> lower(D * D, 0.0);
    for (int i = 0; i < D; ++i)
        lower[i * D + i] = 1.0;
    sample_gaussian(random, std::vector<double>(D, 0.0), lower, perClass, 1, &rows);
    sample_gaussian(random, std::vector<double>(D, gap), lower, perClass, 2, &rows);
    return rows;
}

TEST_F(BellmixScript, ArgumentRefusals)
{
    TestDatabase good(2, 2, {1, 1, 2, 1}), oneColumn(2, 1, {1, 1});
    static TestDatabase noRows(0, 3, {});
    std::string file = path("refused.xml");
    TestArgument db = matrix_argument(good), name = string_argument(file);
    std::vector<RefusalCase> cases = {
        {"one argument", {db}, "BELLMIX: at least 2 parameters are required\n"},
        {"first not a matrix", {name, name}, "BELLMIX: 1st parameter must be a database matrix\n"},
        {"second not a string", {db, db},
         "BELLMIX: 2nd parameter must be a string (XML file name)\n"},
        {"third not a string", {db, name, number_argument()},
         "BELLMIX: 3rd parameter can be a string (containing options)\n"},
        {"four arguments", {db, name, name, name}, "BELLMIX: too many parameters\n"},
        {"null matrix", {{VALUE_MATRIX, nullptr}, name}, "BELLMIX: empty input matrix\n"},
        {"no rows", {matrix_argument(noRows), name}, "BELLMIX: empty input matrix\n"},
        {"labels only", {matrix_argument(oneColumn), name}, "BELLMIX: empty input matrix\n"},
        {"null file name", {db, {VALUE_STRING, nullptr}}, "BELLMIX: empty XML file name\n"},
    };
    for (ScriptFunction f : {train_bellmix, test_bellmix, test_rbfn})
        for (const RefusalCase& c : cases) {
            expect_refusal(f, c, file);
            EXPECT_EQ(good.matrix.cols, 2);
        }
}

struct TrainRefusal {
    const char* name;
    std::vector<double> rows;  // 3 rows of 1 feature and a label
    const char* options;
    std::string message;
};

TEST_F(BellmixScript, TrainingRefusalsLeaveMatrixAndFileAlone)
{
    std::vector<double> ok = {1, 1, 2, 1, 3, 2};
    std::vector<TrainRefusal> cases = {
        {"no components", ok, "NumOfMix=0", "BELLMIX: NumOfMix must be from 1 to the number of "
                                            "data lines (3)\n"},
        {"more components than rows", ok, "NumOfMix=4",
         "BELLMIX: NumOfMix must be from 1 to the number of data lines (3)\n"},
        {"class above the largest", ok, "ClassToTrain=3",
         "BELLMIX: ClassToTrain must be -1, 0 or a class label from 1 to 2\n"},
        {"class below -1", ok, "ClassToTrain=-2",
         "BELLMIX: ClassToTrain must be -1, 0 or a class label from 1 to 2\n"},
        {"label 0", {1, 1, 2, 0, 3, 2}, nullptr,
         "BELLMIX: the class label in row 2 is not a whole number of 1 or more\n"},
        {"feature NaN", {1, 1, NAN, 1, 3, 2}, nullptr,
         "BELLMIX: the feature in row 2, column 1 is not a finite number\n"},
        {"label far above the rows", {1, 1, 2, 1, 3, 1e9}, nullptr,
         "BELLMIX: the largest class label (1000000000) exceeds the number of data lines (3)\n"},
        {"no clusterings", ok, "KMeansStarts=0", "BELLMIX: KMeansStarts must be 1 or more\n"},
        {"count not whole", ok, "NumOfMix=1.5",
         "BELLMIX: the option NumOfMix (\"1.5\") is not a whole number\n"},
        {"count with text after it", ok, "KMeansStarts=3abc",
         "BELLMIX: the option KMeansStarts (\"3abc\") is not a whole number\n"},
        {"limit beyond int", ok, "EMMaxIt=-2147483649",
         "BELLMIX: the option EMMaxIt (\"-2147483649\") is not a whole number\n"},
        {"key without a value", ok, "Diagonal",
         "BELLMIX: the option Diagonal (\"\") is not a whole number\n"},
        {"threshold nan", ok, "Epsilon=nan",
         "BELLMIX: the option Epsilon (\"nan\") is not a finite number\n"},
        {"threshold text", ok, "Epsilon=small",
         "BELLMIX: the option Epsilon (\"small\") is not a finite number\n"},
        // Read as the number the text is: 10, not its leading 1.
        {"class in exponent form", ok, "ClassToTrain=1e1",
         "BELLMIX: ClassToTrain must be -1, 0 or a class label from 1 to 2\n"},
        {"count in hexadecimal", ok, "NumOfMix=0x10",
         "BELLMIX: NumOfMix must be from 1 to the number of data lines (3)\n"},
    };
    for (const TrainRefusal& c : cases) {
        SCOPED_TRACE(c.name);
        TestDatabase db(3, 2, c.rows);
        std::vector<double> before = db.values;
        EXPECT_EQ(run(train_bellmix, db, "t.xml", c.options), c.message);
        EXPECT_EQ(db.matrix.cols, 2);
        for (size_t t = 0; t < before.size(); ++t) {
            if (!std::isnan(before[t])) {
                EXPECT_EQ(db.values[t], before[t]);
            }
        }
        EXPECT_FALSE(file_exists(path("t.xml")));
    }
}

// A one-component MIXTURE of one feature.
std::string one_component_mixture(const char* dimension, const char* cov)
{
    return std::string("<MIXTURE Dimension=\"") + dimension +
           "\" NumOfMix=\"1\" Diagonal=\"1\" Weights=\"1\"><GAUSSIAN Mean=\"0\" Cov=\"" + cov +
           "\"/></MIXTURE>";
}

struct KeptMixtureCase {
    const char* name;
    const char* options;
    std::string parameters;  // the text of "parameters"; "-" for a file without it
    std::string message;     // printed, "FILE" standing for the file's name
    bool written;            // the class is written (else the file is left alone)
    bool locked = false;     // another holder keeps the file locked meanwhile
};

// A class trained into an existing file keeps the file consistent: the
// mixtures it keeps must read back in full, with the database's feature
// count, or the call is refused before anything is written, so that no
// value that is not finite is saved again. The mixture being replaced may
// be broken (retraining it is the repair); network weights fitted to the
// earlier mixtures are removed.
TEST_F(BellmixScript, ClassTrainedIntoAFileKeepsItConsistent)
{
    std::string unread = "BELLMIX: the model file 'FILE' cannot be read in full; nothing is "
                         "written\n";
    std::string fine = one_component_mixture("1", "1");
    std::vector<KeptMixtureCase> cases = {
        {"NaN in another mixture", "ClassToTrain=2", one_component_mixture("1", "nan") + fine,
         "BELLMIX: the Cov attribute of GAUSSIAN 1 in MIXTURE 1 holds a value that is not a "
         "finite number!\n" + unread, false},
        {"text before an appended mixture", "ClassToTrain=3",
         fine + one_component_mixture("abc", "1"),
         "BELLMIX: the Dimension attribute of MIXTURE 2 is not a whole number!\n" + unread, false},
        {"negative variance in another mixture", "ClassToTrain=1",
         fine + one_component_mixture("1", "-1"),
         "BELLMIX: the covariance of GAUSSIAN 1 in MIXTURE 2 is not positive definite!\n" +
             unread, false},
        {"another feature count", "ClassToTrain=2",
         "<MIXTURE Dimension=\"2\" NumOfMix=\"1\" Diagonal=\"1\" Weights=\"1\"><GAUSSIAN "
         "Mean=\"0,0\" Cov=\"1,1\"/></MIXTURE>",
         "BELLMIX: MIXTURE 1 of the model file 'FILE' has 2 features, the database 1; nothing "
         "is written\n", false},
        {"no parameters", "ClassToTrain=1", "-",
         "BELLMIX: BELLMIX/parameters element not found!\n" + unread, false},
        {"locked by another holder", "ClassToTrain=2", fine + fine,
         "FILE: another process holds a lock on it\n" + unread, false, true},
        {"NaN in the mixture replaced", "ClassToTrain=2", fine + one_component_mixture("1", "nan"),
         "\nTraining class 2\n", true},
        {"infinite network weight", "ClassToTrain=1", fine + fine + "<RBFN Weights=\"1,inf\"/>",
         "BELLMIX: the network weights were fitted to the earlier mixtures; the RBFN element is "
         "removed\n", true},
    };
    std::string file = path("kept.xml");
    for (const KeptMixtureCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.parameters == "-" ? "<BELLMIX><history/></BELLMIX>"
                                               : "<BELLMIX><history/><initial_settings/>"
                                                 "<parameters>" + c.parameters +
                                                     "</parameters></BELLMIX>";
        write_text(file, text);
        TestDatabase db(6, 2, {1, 1, 1.5, 1, 5, 2, 5.5, 2, 9, 3, 9.5, 3});
        std::string options = c.options + std::string(" NumOfMix=1");
        int holder = c.locked ? open(file.c_str(), O_RDONLY) : -1;
        ASSERT_TRUE(!c.locked || flock(holder, LOCK_EX) == 0);
        std::string out = run(train_bellmix, db, "kept.xml", options.c_str());
        if (holder >= 0)
            close(holder);
        std::string message = c.message;
        for (size_t at; (at = message.find("FILE")) != std::string::npos;)
            message.replace(at, 4, file);
        if (!c.written) {
            EXPECT_EQ(out, message);
            EXPECT_EQ(read_text(file), text);
            EXPECT_EQ(db.matrix.cols, 2);
            continue;
        }
        EXPECT_NE(out.find(message), std::string::npos) << out;
        EXPECT_EQ(out.find("could not be fitted"), std::string::npos) << out;
        std::string after = read_text(file);
        EXPECT_EQ(after.find("nan"), std::string::npos);
        EXPECT_EQ(after.find("inf"), std::string::npos);
        EXPECT_EQ(after.find("<RBFN"), std::string::npos);
    }
}

TEST_F(BellmixScript, DefaultTraceSplitsAndClassifies)
{
    TestDatabase db(80, 3, two_classes(40, 2, 6.0, 3));
    std::string out = run(train_bellmix, db, "m.xml");
    EXPECT_EQ(db.matrix.cols, 2);  // the caller's matrix lost its labels
    for (const char* line : {"Number of Gaussians per class:  3\n",
                             "Forcing covariance to diagonal: YES\n",
                             "Number of K-Means starts:       15\n",
                             "Max No. of K-Means iterations:  500\n",
                             "Max No. of EM iterations:       15\n",
                             "EM stopping threshold:          0.000100\n\n",
                             "Creating new XML file\n\n", "\nTraining class 2\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line;
    TestDatabase test(80, 3, two_classes(40, 2, 6.0, 4));
    EXPECT_NE(run(test_bellmix, test, "m.xml").find("\n\nCorrect classifications: 100.00% "
                                                    "(80 from 80)\n"), std::string::npos);
    EXPECT_EQ(test.matrix.cols, 2);
}

// Sixty-four features: every plain density underflows, the log domain does not.
TEST_F(BellmixScript, SixtyFourFeaturesClassifyInTheLogDomain)
{
    TestDatabase db(120, 65, two_classes(60, 64, 1.0, 5));
    run(train_bellmix, db, "wide.xml", "NumOfMix=1 KMeansStarts=1");
    TestDatabase test(120, 65, two_classes(60, 64, 1.0, 6));
    std::string out = run(test_bellmix, test, "wide.xml");
    double rate = 0;
    ASSERT_EQ(std::sscanf(out.substr(out.find("Correct classifications:")).c_str(),
                          "Correct classifications: %lf", &rate), 1);
    EXPECT_GT(rate, 95.0);
}

TEST_F(BellmixScript, NetworkWeightsAndOneClassRewrite)
{
    TestDatabase db(60, 3, two_classes(30, 2, 5.0, 8));
    std::string out = run(train_bellmix, db, "net.xml", "EMMaxIt=-1 NumOfMix=2");
    EXPECT_NE(out.find("\nThe weights were succesfully optimized\n"), std::string::npos);
    EXPECT_EQ(model_list(path("net.xml"), "/BELLMIX/parameters/RBFN", 1, "Weights").size(), 8u);
    TestDatabase test(60, 3, two_classes(30, 2, 5.0, 9));
    EXPECT_NE(run(test_rbfn, test, "net.xml").find("Correct classifications: 100.00%"),
              std::string::npos);
    // Retraining class 2 keeps MIXTURE 1 and adds items; the network's
    // weights, fitted to the old class 2, are removed and the network no
    // longer tests (it used to, silently, with the stale weights).
    std::string before = read_text(path("net.xml"));
    TestDatabase again(60, 3, two_classes(30, 2, 5.0, 10));
    out = run(train_bellmix, again, "net.xml", "ClassToTrain=2 NumOfMix=2");
    EXPECT_NE(out.find("Writing to an existing XML file\n\nBELLMIX: the network weights were "
                       "fitted to the earlier mixtures; the RBFN element is removed\n"),
              std::string::npos);
    std::string after = read_text(path("net.xml"));
    size_t m1 = before.find("<MIXTURE"), m2 = before.find("<MIXTURE", m1 + 1);
    EXPECT_NE(after.find(before.substr(m1, m2 - m1)), std::string::npos);
    EXPECT_EQ(count_of(after, "<item>"), 20);
    EXPECT_EQ(count_of(after, "<RBFN"), 0);
    EXPECT_NE(after.substr(after.find("<MIXTURE", m1 + 1)),
              before.substr(before.find("<MIXTURE", m1 + 1)));
    TestDatabase retest(60, 3, two_classes(30, 2, 5.0, 9));
    EXPECT_NE(run(test_rbfn, retest, "net.xml").find("RBFN element not found!\n"),
              std::string::npos);
}

// test_bellmix and test_rbfn used to parse the model once per class and count
// its MIXTURE elements from the first for each: ten times the classes cost a
// hundred times the cursor steps (children looked at, attributes checked).
TEST_F(BellmixScript, TestsReadTheModelInOnePass)
{
    auto steps = [&](int C) {  // on C classes of two components, 2 C^2 network weights
        std::string text = "<BELLMIX><parameters>";
        for (int c = 1; c <= C; ++c)
            text += "<MIXTURE Dimension=\"1\" NumOfMix=\"2\" Diagonal=\"1\" Weights=\"0.5,0.5\">"
                    "<GAUSSIAN Mean=\"" + std::to_string(c) + "\" Cov=\"1\"/><GAUSSIAN Mean=\"" +
                    std::to_string(c) + ".5\" Cov=\"1\"/></MIXTURE>";
        text += "<RBFN Weights=\"1";
        for (long t = 1; t < 2L * C * C; ++t)
            text += ",0";
        write_text(path("many.xml"), text + "\"/></parameters></BELLMIX>");
        unsigned long long before = xml_scan_steps + xml_sibling_visits;
        for (ScriptFunction f : {test_bellmix, test_rbfn}) {
            TestDatabase db(2, 2, {1, 1, 2, static_cast<double>(C)});
            EXPECT_NE(run(f, db, "many.xml").find("Correct classifications"), std::string::npos);
        }
        return xml_scan_steps + xml_sibling_visits - before;
    };
    unsigned long long narrow = steps(100), wide = steps(1000);
    EXPECT_GE(narrow, 200u);  // the count sees every mixture of both tests
    EXPECT_LE(wide, 12 * narrow) << narrow << " steps for 100 classes, " << wide << " for 1000";
}

// Class c is always MIXTURE c: a class beyond the file's mixtures gets
// placeholders of weight 0 before it, and the mixtures test by class number
// (class 3 used to land in MIXTURE 2, answering for class 2).
TEST_F(BellmixScript, ClassBeyondTheFileKeepsItsNumber)
{
    std::vector<double> rows = {0, 1, 0.5, 1, 1, 1, 5, 2, 5.5, 2, 6, 2, 10, 3, 10.5, 3, 11, 3};
    TestDatabase first(9, 2, rows), third(9, 2, rows);
    run(train_bellmix, first, "gap.xml", "ClassToTrain=1 NumOfMix=1");
    std::string out = run(train_bellmix, third, "gap.xml", "ClassToTrain=3 NumOfMix=1");
    EXPECT_NE(out.find("BELLMIX: class 2 has no mixture in the file; MIXTURE 2 is written with "
                       "weights 0\n\nTraining class 3\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("writing to the last mixture"), std::string::npos);
    std::string file = path("gap.xml");
    EXPECT_EQ(count_of(read_text(file), "<MIXTURE"), 3);
    EXPECT_EQ(model_list(file, "/BELLMIX/parameters/MIXTURE", 2, "Weights"),
              std::vector<double>{0});
    EXPECT_EQ(model_list(file, "/BELLMIX/parameters/#3#MIXTURE/GAUSSIAN", 1, "Mean"),
              std::vector<double>{10.5});
    // Rows of classes 1 and 3 only: each gets its own class.
    TestDatabase test(4, 2, {0.2, 1, 0.8, 1, 10.2, 3, 10.9, 3});
    EXPECT_NE(run(test_bellmix, test, "gap.xml").find("Correct classifications: 100.00% (4 from 4)"),
              std::string::npos);
}

TEST_F(BellmixScript, UnfittedClassIsWrittenWithZeroWeights)
{
    // Class 2 has a single row.
    TestDatabase db(6, 2, {0, 1, 1, 1, 2, 1, 3, 1, 4, 1, 9, 2});
    std::string out = run(train_bellmix, db, "z.xml", "NumOfMix=1");
    EXPECT_NE(out.find("The mixture of class 2 could not be fitted; it is written with "
                       "weights 0\n"), std::string::npos);
    EXPECT_EQ(model_list(path("z.xml"), "/BELLMIX/parameters/MIXTURE", 2, "Weights"),
              std::vector<double>{0});
    EXPECT_EQ(model_list(path("z.xml"), "/BELLMIX/parameters/MIXTURE", 1, "Weights"),
              std::vector<double>{1});
}

struct TestRefusal {
    const char* name;
    ScriptFunction f;
    std::vector<double> rows;  // 2 rows of 1 feature and a label
    std::string file;          // model file in the folder
    std::string tail;
};

TEST_F(BellmixScript, TestRefusalsNeedNoInput)
{
    TestDatabase train(6, 2, {0, 1, 1, 1, 2, 1, 5, 2, 6, 2, 7, 2});
    run(train_bellmix, train, "ok.xml", "NumOfMix=1");  // no network weights
    // A constant feature: no class is fitted, and no network over them.
    TestDatabase constant(6, 2, {5, 1, 5, 1, 5, 1, 5, 2, 5, 2, 5, 2});
    EXPECT_NE(run(train_bellmix, constant, "unfitted.xml", "NumOfMix=1 EMMaxIt=-2")
                  .find("The weights could not be optimized; no network weights are written\n"),
              std::string::npos);
    std::string zeros = "<MIXTURE Dimension=\"1\" NumOfMix=\"1\" Diagonal=\"1\" Weights=\"0\">"
                        "<GAUSSIAN Mean=\"0\" Cov=\"1\"/></MIXTURE>";
    write_text(path("zeros.xml"), "<BELLMIX><parameters>" + zeros + zeros +
                                      "<RBFN Weights=\"1,0,0,1\"/></parameters></BELLMIX>");
    const std::string unusable = "BELLMIX: no class of the model has a component of weight "
                                 "above 0; no class can be scored\n";
    std::vector<TestRefusal> cases = {
        {"no fitted class, mixtures", test_bellmix, {1, 1, 2, 2}, "unfitted.xml", unusable},
        {"no fitted class, network", test_rbfn, {1, 1, 2, 2}, "zeros.xml", unusable},
        {"no positive label", test_bellmix, {1, 0, 2, 0}, "ok.xml",
         "BELLMIX: the database holds no class label of 1 or more\n"},
        {"missing model", test_bellmix, {1, 1, 2, 2}, "none.xml",
         "BELLMIX: the model could not be read; nothing is tested\n"},
        {"class the model lacks", test_bellmix, {1, 1, 2, 3}, "ok.xml",
         "BELLMIX: the model could not be read; nothing is tested\n"},
        {"no network weights", test_rbfn, {1, 1, 2, 2}, "ok.xml",
         "BELLMIX: the model could not be read; nothing is tested\n"},
        {"huge label, mixtures", test_bellmix, {1, 1, 2, 2e9}, "ok.xml",
         "BELLMIX: the 3th mixture not found!\n"
         "BELLMIX: the model could not be read; nothing is tested\n"},
        {"huge label, network", test_rbfn, {1, 1, 2, 2e9}, "ok.xml",
         "BELLMIX: the 3th mixture not found!\n"
         "BELLMIX: the model could not be read; nothing is tested\n"},
    };
    for (const TestRefusal& c : cases) {
        SCOPED_TRACE(c.name);
        TestDatabase db(2, 2, c.rows);
        std::string out = run(c.f, db, c.file);
        ASSERT_GE(out.size(), c.tail.size());
        EXPECT_EQ(out.substr(out.size() - c.tail.size()), c.tail);
    }
    // A dimension mismatch reports and reads one character (end of input here).
    TestDatabase wide(2, 3, {1, 1, 1, 2, 2, 2});
    std::string out = run(test_bellmix, wide, "ok.xml");
    EXPECT_EQ(out.substr(out.size() - 51), "ERROR: INCOMPATIBLE DATABASE AND BELLMIX DIMENSION!");
}

// A save that fails (a full disk; here a file-size limit) is reported, and
// the earlier model stays byte for byte: the model is built in memory and
// saved once, whole, so no step of it reaches the file and nothing is left
// beside it.
TEST_F(BellmixScript, FailedSaveIsReportedAndKeepsTheEarlierModel)
{
    TestDatabase db(60, 21, two_classes(30, 20, 3.0, 9));
    std::string file = path("limited.xml");
    const std::string earlier = "<BELLMIX><history/><parameters/></BELLMIX>";
    write_text(file, earlier);
    std::vector<TestArgument> args = {matrix_argument(db), string_argument(file),
                                      string_argument("NumOfMix=1 KMeansStarts=1 Diagonal=0")};
    int status = -1;
    // Twenty full covariance rows take about 5000 bytes per class.
    std::string out = stderr_under_file_size_limit(4096, [&] {
        int type = 0;
        call_script(train_bellmix, args, &type);
    }, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("\nTraining class 2\n"), std::string::npos) << out;
    std::string tail = "Can't write the xml file\n" + file + ": File too large\n" +
                       "BELLMIX: the model file '" + file +
                       "' could not be written; it is left as it was\n";
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
    EXPECT_EQ(read_text(file), earlier);
    EXPECT_EQ(folder_entries(path("")), std::vector<std::string>{"limited.xml"});
}

const uid_t kNobody = 65534;

// Runs body in a child process, as "nobody" when the tests run as root, so
// that permissions bind; returns what it wrote to standard error.
std::string as_ordinary_user(const std::function<void()>& body)
{
    int status = -1;
    return stderr_under_file_size_limit(1L << 30, [&] {
        if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(2);
        body();
    }, &status);
}

struct OutputRefusal {
    const char* name;
    std::string file;    // the model file named, in the scratch folder unless empty
    std::string reason;  // why it cannot be written
};

// An output that may not be written or cannot be created is refused before
// anything trains (an empty name used to train every class first), and
// nothing is made.
TEST_F(BellmixScript, UnwritableOutputIsRefusedBeforeTraining)
{
    chmod(path("").c_str(), 0755);
    ASSERT_EQ(mkdir(path("folder.xml").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(path("closed").c_str(), 0555), 0);
    write_text(path("readonly.xml"), "<BELLMIX/>");
    chmod(path("readonly.xml").c_str(), 0444);
    ASSERT_EQ(symlink(path("gone/model.xml").c_str(), path("dangling.xml").c_str()), 0);
    std::vector<std::string> before = folder_entries(path(""));
    std::vector<OutputRefusal> cases = {
        {"folder that does not exist", path("none/model.xml"), "No such file or directory"},
        {"empty name", "", "the file name is empty"},
        {"dangling link into a missing folder", path("dangling.xml"),
         "No such file or directory"},
        {"a folder", path("folder.xml"), "Is a directory"},
        {"file the user may not write", path("readonly.xml"), "Permission denied"},
        {"new file in a closed folder", path("closed/model.xml"), "Permission denied"},
    };
    for (const OutputRefusal& c : cases) {
        SCOPED_TRACE(c.name);
        TestDatabase db(60, 3, two_classes(30, 2, 3.0, 9));
        std::string out = as_ordinary_user([&] {
            std::vector<TestArgument> args = {matrix_argument(db), string_argument(c.file),
                                              string_argument("ClassToTrain=1")};
            int type = 0;
            call_script(train_bellmix, args, &type);
        });
        EXPECT_EQ(out, "BELLMIX: the model file '" + c.file + "' cannot be written: " + c.reason +
                           "; nothing is trained\n");
    }
    EXPECT_EQ(folder_entries(path("")), before);
    EXPECT_EQ(folder_entries(path("closed")), std::vector<std::string>{});
    EXPECT_EQ(read_text(path("readonly.xml")), "<BELLMIX/>");
}

// Starts body in a child whose standard error is a pipe, reads the trace up
// to marker and then stops reading, so that the child soon blocks on a full
// pipe; sends sig and returns the child's wait status.
int interrupt_after(const std::function<void()>& body, const std::string& marker, int sig)
{
    int ends[2];
    if (pipe(ends) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDERR_FILENO);
        body();
        _exit(0);
    }
    close(ends[1]);
    std::string seen;
    char chunk[4096];
    for (ssize_t n; seen.find(marker) == std::string::npos &&
                    (n = read(ends[0], chunk, sizeof chunk)) > 0;)
        seen.append(chunk, static_cast<size_t>(n));
    kill(child, sig);
    int status = -1;
    waitpid(child, &status, 0);
    close(ends[0]);
    return status;
}

struct InterruptionCase {
    const char* name;
    int signal;
    bool closedFolder;  // the model's folder may not be written (the model may)
};

// Training interrupted part-way (after class 1, whose mixture used to be
// saved into the model or a working copy at once) keeps the earlier model
// byte for byte and leaves nothing beside it, in an open folder and in one
// the user may not write, where the model is saved in place.
TEST_F(BellmixScript, InterruptedTrainingKeepsTheModelAndLeavesNothing)
{
    std::vector<InterruptionCase> cases = {
        {"SIGTERM", SIGTERM, false}, {"SIGINT", SIGINT, false}, {"SIGKILL", SIGKILL, false},
        {"SIGTERM, closed folder", SIGTERM, true}, {"SIGKILL, closed folder", SIGKILL, true},
    };
    chmod(path("").c_str(), 0755);
    const std::string earlier = "<BELLMIX><history/><parameters/></BELLMIX>";
    std::vector<double> rows;
    for (int c = 1; c <= 3; ++c)
        for (int i = 0; i < 10; ++i)
            rows.insert(rows.end(), {10.0 * c + i, static_cast<double>(c)});
    for (const InterruptionCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string folder = path(c.closedFolder ? "closed" : "open");
        std::string file = folder + "/model.xml";
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        write_text(file, earlier);
        // Root hands the model (and an open folder) to "nobody", who trains.
        if (geteuid() == 0) {
            ASSERT_EQ(chown(file.c_str(), kNobody, static_cast<gid_t>(-1)), 0);
            if (!c.closedFolder) {
                ASSERT_EQ(chown(folder.c_str(), kNobody, static_cast<gid_t>(-1)), 0);
            }
        }
        chmod(folder.c_str(), c.closedFolder ? 0555 : 0755);
        TestDatabase db(30, 2, rows);
        // Two thousand starts a class write far more than a pipe holds.
        int status = interrupt_after([&] {
            if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
                _exit(2);
            std::vector<TestArgument> args = {matrix_argument(db), string_argument(file),
                                              string_argument("NumOfMix=1 KMeansStarts=2000")};
            int type = 0;
            call_script(train_bellmix, args, &type);
        }, "\nTraining class 2\n", c.signal);
        EXPECT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(read_text(file), earlier);
        EXPECT_EQ(folder_entries(folder), std::vector<std::string>{"model.xml"});
        chmod(folder.c_str(), 0755);
        std::filesystem::remove_all(folder);
    }
}

}  // namespace
