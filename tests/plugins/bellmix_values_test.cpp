// Mixture plug-in: values that are not finite numbers, in a model file that is
// read, in parameters that would be written, and in test results.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "plugins/bellmix/mixture_model.h"
#include "plugins/bellmix/rbf_network.h"
#include "support/matrix.h"
#include "tests/plugins/bellmix_test_helpers.h"

PLUGIN_EXPORT void* train_bellmix(void** values, int* types, int count, int* resultType);
PLUGIN_EXPORT void* test_bellmix(void** values, int* types, int count, int* resultType);
PLUGIN_EXPORT void* test_rbfn(void** values, int* types, int count, int* resultType);

namespace {

std::string model_file(const std::string& parameters)
{
    return "<BELLMIX><history/><initial_settings/><parameters>" + parameters +
           "</parameters></BELLMIX>";
}

// A one-component, two-feature MIXTURE with full covariance.
std::string mixture(const std::string& attributes, const std::string& mean,
                    const std::string& cov)
{
    return "<MIXTURE " + attributes + "><GAUSSIAN Mean=\"" + mean + "\" Cov=\"" + cov +
           "\"/></MIXTURE>";
}

const char* const kSizes = "Dimension=\"2\" NumOfMix=\"1\" Diagonal=\"0\" Weights=\"1\"";

struct ValueCase {
    const char* name;
    std::string mixture;  // the first MIXTURE of the file
    std::string message;  // "" for a mixture that reads
};

TEST(MixtureFileValues, LoaderRefusesTextAndValuesThatAreNotFinite)
{
    std::string notFinite = " holds a value that is not a finite number!\n";
    std::vector<ValueCase> cases = {
        {"blanks around numbers read", mixture(kSizes, " 1, 2 ", "1 ,0.5, 2"), ""},
        // A component of weight 0 (a placeholder) never counts.
        {"singular covariance of weight 0 reads",
         mixture("Dimension=\"2\" NumOfMix=\"1\" Diagonal=\"0\" Weights=\"0\"", "0,0", "0,0,0"),
         ""},
        {"Weights nan", mixture("Dimension=\"2\" NumOfMix=\"1\" Diagonal=\"0\" Weights=\"nan\"",
                                "0,0", "1,0,1"),
         "BELLMIX: the Weights attribute of MIXTURE 1" + notFinite},
        {"Mean text", mixture(kSizes, "0,abc", "1,0,1"),
         "BELLMIX: the Mean attribute of GAUSSIAN 1 in MIXTURE 1" + notFinite},
        {"Mean with trailing text", mixture(kSizes, "0,1x", "1,0,1"),
         "BELLMIX: the Mean attribute of GAUSSIAN 1 in MIXTURE 1" + notFinite},
        {"Cov inf", mixture(kSizes, "0,0", "1,inf,1"),
         "BELLMIX: the Cov attribute of GAUSSIAN 1 in MIXTURE 1" + notFinite},
        {"Cov empty item", mixture(kSizes, "0,0", "1,,0,1"),
         "BELLMIX: the Cov attribute of GAUSSIAN 1 in MIXTURE 1" + notFinite},
        {"Dimension with text", mixture("Dimension=\"2abc\" NumOfMix=\"1\" Diagonal=\"0\" "
                                        "Weights=\"1\"", "0,0", "1,0,1"),
         "BELLMIX: the Dimension attribute of MIXTURE 1 is not a whole number!\n"},
        {"NumOfMix not whole", mixture("Dimension=\"2\" NumOfMix=\"1.5\" Diagonal=\"0\" "
                                       "Weights=\"1\"", "0,0", "1,0,1"),
         "BELLMIX: the NumOfMix attribute of MIXTURE 1 is not a whole number!\n"},
        {"Diagonal a word", mixture("Dimension=\"2\" NumOfMix=\"1\" Diagonal=\"no\" "
                                    "Weights=\"1\"", "0,0", "1,0,1"),
         "BELLMIX: the Diagonal attribute of MIXTURE 1 is not a whole number!\n"},
    };
    ScratchFolder folder;
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = folder.path("values.xml");
        write_text(file, model_file(c.mixture));
        std::unique_ptr<MixtureModel> m;
        EXPECT_EQ(captured([&] { m.reset(new MixtureModel(file.c_str(), 1)); }), c.message);
        EXPECT_EQ(m->isComplete(), c.message.empty() ? 1 : 0);
    }
}

// One class of one component: the network has a single weight.
TEST(MixtureFileValues, NetworkWeightsThatAreNotFiniteAreRefused)
{
    ScratchFolder folder;
    std::string file = folder.path("net.xml");
    for (const char* weight : {"nan", "abc", "1e999", "-inf"}) {
        SCOPED_TRACE(weight);
        write_text(file, model_file(mixture(kSizes, "0,0", "1,0,1") + "<RBFN Weights=\"" +
                                    weight + "\"/>"));
        std::unique_ptr<RbfNetwork> net;
        EXPECT_EQ(captured([&] { net.reset(new RbfNetwork(file.c_str(), 1)); }),
                  "BELLMIX: the Weights attribute of RBFN holds a value that is not a finite "
                  "number!\n");
        EXPECT_EQ(net->isComplete(), 0);
    }
}

TEST(MixtureFileValues, ParametersThatAreNotFiniteAreNotWritten)
{
    ScratchFolder folder;
    std::string file = folder.path("kept.xml");
    std::string before = model_file(mixture(kSizes, "0,0", "1,0,1"));
    write_text(file, before);
    MixtureModel m(1, 1, 1);
    HeldMatrix mean(1, 1, {INFINITY}), cov(1, 1, {1}), weights(1, 1, {1});
    m.setMean(0, &mean.m);
    m.setCovariance(0, &cov.m);
    m.setWeights(&weights.m);
    EXPECT_EQ(captured([&] { m.writeToFile(file.c_str(), 2); }),
              "BELLMIX: the mixture holds a value that is not a finite number; MIXTURE 2 is "
              "not written\n");
    RbfNetwork net(1, 1, 1, 1);
    std::vector<double> w = {NAN};
    net.setClassWeights(w.data(), 0);
    EXPECT_EQ(captured([&] { net.writeToFile(file.c_str()); }),
              "BELLMIX: the network weight 1 is not a finite number; no network weights are "
              "written\n");
    EXPECT_EQ(read_text(file), before);
}

struct EvaluationCase {
    const char* name;
    ScriptFunction f;
    std::string mean;     // of class 1's component
    std::string message;  // printed, and no rate after it
};

// Either test reports no rate for a model file holding a value that is not a
// number, nor for finite rows and a finite model whose densities are not
// numbers at row 2: class 1's mean is so far from the row that the difference
// overflows, and the correlated covariance subtracts infinity from infinity.
TEST(MixtureFileValues, TestsReportNoRateForValuesThatAreNotFinite)
{
    std::string nanMean = "BELLMIX: the Mean attribute of GAUSSIAN 1 in MIXTURE 1 holds a "
                          "value that is not a finite number!\n";
    std::vector<EvaluationCase> cases = {
        {"nan in the mixtures", test_bellmix, "0,nan", nanMean},
        {"nan in the network", test_rbfn, "0,nan", nanMean},
        {"mixtures", test_bellmix, "-1.5e308,-1.5e308",
         "Testing... BELLMIX: the likelihood of class 1 is not a finite number for row 2\n"},
        {"network", test_rbfn, "-1.5e308,-1.5e308",
         "Testing... BELLMIX: the network output of class 1 is not a finite number for row "
         "2\n"},
    };
    ScratchFolder folder;
    std::string file = folder.path("far.xml");
    for (const EvaluationCase& c : cases) {
        SCOPED_TRACE(c.name);
        write_text(file, model_file(mixture(kSizes, c.mean, "1,0.5,1") +
                                    mixture(kSizes, "0,0", "1,0,1") +
                                    "<RBFN Weights=\"1,0,0,1\"/>"));
        TestDatabase db(2, 3, {0, 0, 2, 1.5e308, 1.5e308, 2});
        std::string out = train_quietly(c.f, db, file, nullptr);
        size_t at = out.find(c.message);
        ASSERT_NE(at, std::string::npos) << out;
        EXPECT_EQ(out.find("Correct classifications", at), std::string::npos);
    }
}

// Class 1 holds a feature of 1e160: its variance is not finite, so the class
// cannot be fitted and is written as zeros with weight 0, in its own place;
// class 2 follows as MIXTURE 2 and the file tests.
TEST(MixtureFileValues, UnfittableClassIsWrittenAsZerosInItsPlace)
{
    ScratchFolder folder;
    std::string file = folder.path("far.xml");
    std::vector<double> rows = {1, 2, 1, 2, 1, 1, 1.5, 1.5, 1, 1e160, 3, 1,
                                5, 6, 2, 6, 5, 2, 5.5, 5.5, 2, 5, 5, 2};
    TestDatabase train(8, 3, rows);
    std::string out = train_quietly(train_bellmix, train, file, "NumOfMix=1 KMeansStarts=1");
    EXPECT_NE(out.find("The mixture of class 1 could not be fitted; it is written with "
                       "weights 0\n"), std::string::npos);
    EXPECT_EQ(out.find("writing to the last mixture"), std::string::npos);
    std::string gauss = "/BELLMIX/parameters/#1#MIXTURE/GAUSSIAN";
    EXPECT_EQ(model_list(file, gauss, 1, "Mean"), (std::vector<double>{0, 0}));
    EXPECT_EQ(model_list(file, gauss, 1, "Cov"), (std::vector<double>{0, 0}));
    EXPECT_EQ(model_list(file, "/BELLMIX/parameters/#2#MIXTURE/GAUSSIAN", 1, "Mean"),
              (std::vector<double>{5.375, 5.375}));
    TestDatabase test(8, 3, rows);
    EXPECT_NE(train_quietly(test_bellmix, test, file, nullptr)
                  .find("Correct classifications: 62.50% (5 from 8)"),
              std::string::npos);
}

}  // namespace
