// Mixture plug-in training: K-means and EM steps worked by hand,
// generate-then-recover, EM's stop guard, and the script functions'
// traces, refusals and model files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "plugins/bellmix/mixture_model.h"
#include "plugins/bellmix/training.h"
#include "support/matrix.h"
#include "support/random.h"
#include "tests/plugins/bellmix_test_helpers.h"

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
    const char* first[2];   // Dimension and Cov of MIXTURE 1
    const char* second[2];  // the same of MIXTURE 2
    const char* network;    // Weights of RBFN
    std::string message;    // the reader's message; "" when the class is written
};

// A class trained into an existing file keeps the file's other mixtures and
// network weights; one of them that does not read back refuses the call, so
// that no value that is not finite is saved again. The mixture being replaced
// may be broken: retraining it is the repair.
TEST_F(BellmixScript, ClassTrainedIntoAFileWithUnreadableMixturesWritesNothing)
{
    std::vector<KeptMixtureCase> cases = {
        {"NaN in another mixture", "ClassToTrain=2 NumOfMix=1", {"1", "nan"}, {"1", "1"},
         "1,2", "BELLMIX: the Cov attribute of GAUSSIAN 1 in MIXTURE 1 holds a value that is "
                "not a finite number!\n"},
        {"text before an appended mixture", "ClassToTrain=3 NumOfMix=1", {"1", "1"},
         {"abc", "1"}, "1,2",
         "BELLMIX: the Dimension attribute of MIXTURE 2 is not a whole number!\n"},
        {"infinite network weight", "ClassToTrain=1 NumOfMix=1", {"1", "1"}, {"1", "1"},
         "1,inf",
         "BELLMIX: the Weights attribute of RBFN holds a value that is not a finite number!\n"},
        {"NaN in the mixture replaced", "ClassToTrain=2 NumOfMix=1", {"1", "1"}, {"1", "nan"},
         "1,2", ""},
    };
    std::string file = path("kept.xml");
    for (const KeptMixtureCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "<BELLMIX><history/><initial_settings/><parameters>" +
                           one_component_mixture(c.first[0], c.first[1]) +
                           one_component_mixture(c.second[0], c.second[1]) +
                           "<RBFN Weights=\"" + c.network + "\"/></parameters></BELLMIX>";
        write_text(file, text);
        TestDatabase db(6, 2, {1, 1, 1.5, 1, 5, 2, 5.5, 2, 9, 3, 9.5, 3});
        std::string out = run(train_bellmix, db, "kept.xml", c.options);
        if (c.message.empty()) {
            EXPECT_EQ(out.find("could not be fitted"), std::string::npos) << out;
            EXPECT_EQ(read_text(file).find("nan"), std::string::npos);
            continue;
        }
        EXPECT_EQ(out, c.message + "BELLMIX: the model file '" + file +
                           "' cannot be read in full; nothing is written\n");
        EXPECT_EQ(read_text(file), text);
        EXPECT_EQ(db.matrix.cols, 2);
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
    // Retraining class 2 keeps MIXTURE 1 and the network, and adds items.
    std::string before = read_text(path("net.xml"));
    TestDatabase again(60, 3, two_classes(30, 2, 5.0, 10));
    out = run(train_bellmix, again, "net.xml", "ClassToTrain=2 NumOfMix=2");
    EXPECT_NE(out.find("Writing to an existing XML file\n\n"), std::string::npos);
    std::string after = read_text(path("net.xml"));
    size_t m1 = before.find("<MIXTURE"), m2 = before.find("<MIXTURE", m1 + 1);
    EXPECT_NE(after.find(before.substr(m1, m2 - m1)), std::string::npos);
    EXPECT_EQ(count_of(after, "<item>"), 20);
    EXPECT_EQ(count_of(after, "<RBFN"), 1);
    EXPECT_NE(after.substr(after.find("<MIXTURE", m1 + 1)),
              before.substr(before.find("<MIXTURE", m1 + 1)));
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
    std::vector<TestRefusal> cases = {
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

// A save that fails part-way (a full disk; here a file-size limit) is
// reported and ends the training. The steps went to a working copy, so the
// earlier model stays whole (it used to be replaced by the history alone)
// and no copy is left beside it.
TEST_F(BellmixScript, FailedSaveIsReportedAndKeepsTheEarlierModel)
{
    TestDatabase db(60, 21, two_classes(30, 20, 3.0, 9));
    std::string file = path("limited.xml");
    const std::string earlier = "<BELLMIX><history/><parameters/></BELLMIX>";
    write_text(file, earlier);
    std::vector<TestArgument> args = {matrix_argument(db), string_argument(file),
                                      string_argument("NumOfMix=1 KMeansStarts=1 Diagonal=0")};
    int status = -1;
    // Twenty full covariance rows take about 5000 bytes; the history alone
    // fits under the limit.
    std::string out = stderr_under_file_size_limit(4096, [&] {
        int type = 0;
        call_script(train_bellmix, args, &type);
    }, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("\nTraining class 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Can't write the xml file\n"), std::string::npos) << out;
    EXPECT_NE(out.find(": File too large\nBELLMIX: the model file '" + file +
                       "' could not be written; training stopped\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("Training class 2"), std::string::npos);
    EXPECT_EQ(read_text(file), earlier);
    EXPECT_EQ(folder_entries(path("")), std::vector<std::string>{"limited.xml"});
}

// A model file that may not be written is refused before anything trains.
TEST_F(BellmixScript, UnwritableModelIsRefusedBeforeTraining)
{
    TestDatabase db(60, 21, two_classes(30, 20, 3.0, 9));
    std::string file = path("folder.xml");
    ASSERT_EQ(mkdir(file.c_str(), 0700), 0);
    std::vector<TestArgument> args = {matrix_argument(db), string_argument(file)};
    testing::internal::CaptureStderr();
    int type = 0;
    call_script(train_bellmix, args, &type);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "BELLMIX: the model file '" + file +
                       "' cannot be written: Is a directory; nothing is trained\n");
}

}  // namespace
