// The kernel-model frame, through the curvaxis plug-in that hosts it here:
// settings from options, the centred kernel, the normalisation against the
// kernel, the exact model file, projection, and refusals.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "plugins/kernel_frame/kernel_frame.h"
#include "plugins/kernel_frame/model_file.h"
#include "tests/plugins/kernel_test_helpers.h"

extern "C" void* compute_curvaxis(void** values, int* types, int count, int* resultType);
extern "C" void* execute_curvaxis(void** values, int* types, int count, int* resultType);

namespace {

const KernelTexts epsilon_texts = {"WARPFOLD", "compute_warpfold", "compute_warpfold",
                                   "execute_warpfold", "V", "epsilon"};
const KernelTexts maxiter_texts = {"UNMIXER", "UNMIXER", "compute_unmixer",
                                   "Execute UNMIXER", "VW", "maxiter"};

// A training set over the rows of db with the given kernel.
TrainingSet training_set(TestDatabase& db, int code, const double* p, int cache = 0)
{
    TrainingSet set{db.matrix.rows, db.matrix.cols - 1, make_matrix(db.matrix.rows,
                    db.matrix.cols - 1), make_matrix(db.matrix.rows, 1), nullptr};
    split_features_labels(&db.matrix, set.x.get(), set.y.get());
    set.kernel = init_kernel_matrix(set.x.get(), set.x.get(), cache);
    set_kernel_type(set.kernel, code);
    for (int k = 0; k < 5; ++k)
        set_kernel_parameter(set.kernel, k, p[k]);
    return set;
}

}  // namespace

TEST(KernelSettings, OptionsGiveKernelParametersAndSizes)
{
    struct Case {
        const char* options;
        const KernelTexts* texts;
        KernelSettings expected;
    } cases[] = {
        {nullptr, &epsilon_texts, {0, 0, {0, 0, 0, 0, 0}, 7, 0, 100}},
        {"", &epsilon_texts, {0, 0, {0, 0, 0, 0, 0}, 7, 0, 100}},
        {"kernel=poly", &epsilon_texts, {0, 1, {3, 1, 0, 0, 0}, 7, 0, 100}},
        {"kernel=polynomial degree=2 delta=0.5", &epsilon_texts, {0, 1, {2, 0.5, 0, 0, 0}, 7, 0, 100}},
        {"kernel=exp", &epsilon_texts, {0, 2, {2, 0, 0, 0, 0}, 7, 0, 100}},
        {"kernel=exponential,sigma=0.25", &epsilon_texts, {0, 2, {0.25, 0, 0, 0, 0}, 7, 0, 100}},
        {"kernel=user kernelparam1=0.5 kernelparam5=-2", &epsilon_texts,
         {0, 3, {0.5, 0, 0, 0, -2}, 7, 0, 100}},
        // "kernel" is first found inside "kernelparam1": its value 0.5 is no kernel.
        {"kernelparam1=0.5 kernel=user", &epsilon_texts, {0, 0, {0, 0, 0, 0, 0}, 7, 0, 100}},
        {"kernel=gauss sigma=3", &epsilon_texts, {0, 0, {0, 0, 0, 0, 0}, 7, 0, 100}},
        {"kernel=linear degree=5", &epsilon_texts, {0, 0, {0, 0, 0, 0, 0}, 7, 0, 100}},
        {"sigma=3 degree=2", &epsilon_texts, {0, 0, {0, 0, 0, 0, 0}, 7, 0, 100}},
        // Counts are the numbers their texts are.
        {"cachesize=0x10 feanum=-2", &epsilon_texts, {16, 0, {0, 0, 0, 0, 0}, -2, 0, 100}},
        {"feanum=1e3 cachesize=-1", &epsilon_texts, {-1, 0, {0, 0, 0, 0, 0}, 1000, 0, 100}},
        {"epsilon=0.125 maxiter=3", &epsilon_texts, {0, 0, {0, 0, 0, 0, 0}, 7, 0.125, 100}},
        {"epsilon=0.125 maxiter=3e0", &maxiter_texts, {0, 0, {0, 0, 0, 0, 0}, 7, 0, 3}},
        // A degree that is not whole is a kernel of its own.
        {"kernel=poly degree=0.5", &epsilon_texts, {0, 1, {0.5, 1, 0, 0, 0}, 7, 0, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options ? c.options : "(none)");
        KernelSettings s;
        ASSERT_TRUE(read_kernel_settings(c.options, 7, *c.texts, &s));
        EXPECT_EQ(s.cache_size, c.expected.cache_size);
        EXPECT_EQ(s.kernel, c.expected.kernel);
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(s.param[k], c.expected.param[k]) << k;
        EXPECT_EQ(s.feanum, c.expected.feanum);
        EXPECT_EQ(s.epsilon, c.expected.epsilon);
        EXPECT_EQ(s.maxiter, c.expected.maxiter);
    }
}

// Counts that are not whole numbers within int, and kernels that cannot be
// used, are refused naming the option.
TEST(KernelSettings, RefusedOptionsNameTheOption)
{
    const std::string whole = " must be a whole number within the range of an int\n";
    struct Case {
        const char* options;
        const KernelTexts* texts;
        std::string message;
    } cases[] = {
        {"cachesize=12.9", &epsilon_texts, "compute_warpfold: cachesize" + whole},
        {"feanum=1e300", &epsilon_texts, "compute_warpfold: feanum" + whole},
        {"feanum=-2147483649", &epsilon_texts, "compute_warpfold: feanum" + whole},
        {"feanum=abc", &epsilon_texts, "compute_warpfold: feanum" + whole},
        {"cachesize=nan", &epsilon_texts, "compute_warpfold: cachesize" + whole},
        {"maxiter=3.7", &maxiter_texts, "UNMIXER: maxiter" + whole},
        {"kernel=exp sigma=0", &epsilon_texts,
         "compute_warpfold: sigma gives the exponential kernel no width\n"},
        {"kernel=exp sigma=-1e-200", &maxiter_texts,
         "UNMIXER: sigma gives the exponential kernel no width\n"},
        {"kernel=exp sigma=inf", &epsilon_texts,
         "compute_warpfold: the option sigma (\"inf\") is not a finite number\n"},
        {"kernel=poly degree=nan", &epsilon_texts,
         "compute_warpfold: the option degree (\"nan\") is not a finite number\n"},
        {"kernel=user kernelparam4=-inf", &epsilon_texts,
         "compute_warpfold: the option kernelparam4 (\"-inf\") is not a finite number\n"},
        {"kernel=poly delta= 3", &maxiter_texts,
         "UNMIXER: the option delta (\"\") is not a finite number\n"},
        {"kernel=exp sigma=2x", &maxiter_texts,
         "UNMIXER: the option sigma (\"2x\") is not a finite number\n"},
        {"epsilon=abc", &epsilon_texts,
         "compute_warpfold: the option epsilon (\"abc\") is not a finite number\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        KernelSettings s;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(read_kernel_settings(c.options, 7, *c.texts, &s));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    }
}

TEST(KernelFrame, CentredKernelMatchesTheDefinitionForEveryKernel)
{
    struct Case {
        int code;
        double p[5];
        int cache;
    } cases[] = {{0, {0, 0, 0, 0, 0}, 0},   {1, {3, 1, 0, 0, 0}, 0},
                 {1, {2, 0.5, 0, 0, 0}, 30}, {2, {2, 0, 0, 0, 0}, 1000},
                 {2, {0.7, 0, 0, 0, 0}, 0},  {3, {0, 0, 0, 0, 0}, 5}};
    auto db = kernel_data(9, 3, 2, 0.5, 41);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kernel " << c.code << " cache " << c.cache);
        TrainingSet set = training_set(*db, c.code, c.p, c.cache);
        OwnedMatrix kc = centred_training_kernel(set, epsilon_texts);
        ASSERT_TRUE(kc);
        std::vector<double> expected = reference_centred_kernel(features_of(*db), c.code, c.p);
        for (int t = 0; t < 81; ++t)
            EXPECT_NEAR(kc->data[t], expected[t], 1e-12 * (1 + std::fabs(expected[t])));
        destroy_kernel_matrix(set.kernel);
    }
}

// K = u u' with u = (1, 2, 3): (1, 1, 1) has u-weight 6 and becomes
// (1, 1, 1) / 6; (3, 0, -1) is orthogonal to u, r = 0, and stays.
TEST(KernelFrame, NormalisationAgainstTheKernelMakesUnitKernelNorm)
{
    TestDatabase db(3, 3, {1, 0, 1, 2, 0, 1, 3, 0, 1});
    double p[5] = {0, 0, 0, 0, 0};
    for (int cache : {0, 4, 9}) {
        TrainingSet set = training_set(db, 0, p, cache);
        OwnedMatrix v = make_matrix(3, 2);
        double start[] = {1, 3, 1, 0, 1, -1};
        std::copy(start, start + 6, v->data);
        normalise_against_kernel(set.kernel, v.get());
        double expected[] = {1.0 / 6, 3, 1.0 / 6, 0, 1.0 / 6, -1};
        for (int t = 0; t < 6; ++t)
            EXPECT_NEAR(v->data[t], expected[t], 1e-15) << "cache " << cache << " entry " << t;
        destroy_kernel_matrix(set.kernel);
    }
}

TEST(KernelFrame, ModelFileIsWrittenExactly)
{
    TestDatabase db(2, 3, {1.5, -2, 1, 0.1, 1e-20, 2});
    double p[5] = {2, 0.5, 0, 0, -1.25};
    TrainingSet set = training_set(db, 1, p);
    KernelSettings settings{25, 1, {2, 0.5, 0, 0, -1.25}, 2, 0.001, 100};
    KernelModel model;
    model.coefficients = make_matrix(2, 1);
    model.coefficients->data[0] = 0.123456789012345;
    model.coefficients->data[1] = -3;
    model.settings = {"epsilon for W matrix diagonal: 1.000000e-03",
                      "epsilon for eigenvalue testing: 1.000000e-08"};
    ScratchFolder folder;
    std::string file = folder.path("model.xml");
    write_kernel_model(epsilon_texts, file.c_str(), set, settings, model);
    destroy_kernel_matrix(set.kernel);
    std::string expected =
        "<WARPFOLD>\n\t<history>\n\t\t<item>creation time: TIME</item>\n"
        "\t\t<item>XML output file: '" + file + "'</item>\n"
        "\t\t<item>rows in original database: 2</item>\n"
        "\t\t<item>columns in original database: 2</item>\n\t</history>\n"
        "\t<initial_settings>\n\t\t<item>cachesize: 25</item>\n"
        "\t\t<item>kernel type: 1</item>\n\t\t<item>kernel parameter 1: 2.000000</item>\n"
        "\t\t<item>kernel parameter 2: 0.500000</item>\n"
        "\t\t<item>kernel parameter 3: 0.000000</item>\n"
        "\t\t<item>kernel parameter 4: 0.000000</item>\n"
        "\t\t<item>kernel parameter 5: -1.250000</item>\n"
        "\t\t<item>remaining feature number: 1</item>\n"
        "\t\t<item>epsilon for W matrix diagonal: 1.000000e-03</item>\n"
        "\t\t<item>epsilon for eigenvalue testing: 1.000000e-08</item>\n"
        "\t</initial_settings>\n\t<parameters>\n"
        "\t\t<row\n\t\t   value=\"2\"/>\n\t\t<column\n\t\t   value=\"2\"/>\n"
        "\t\t<newcolumn\n\t\t   value=\"1\"/>\n\t\t<kernel\n\t\t   value=\"1\"/>\n"
        "\t\t<kernel_param0\n\t\t   value=\"2\"/>\n\t\t<kernel_param1\n\t\t   value=\"0.5\"/>\n"
        "\t\t<kernel_param2\n\t\t   value=\"0\"/>\n\t\t<kernel_param3\n\t\t   value=\"0\"/>\n"
        "\t\t<kernel_param4\n\t\t   value=\"-1.25\"/>\n"
        "\t\t<X_0\n\t\t   value=\"1.5,-2\"/>\n\t\t<X_1\n\t\t   value=\"0.1,1e-20\"/>\n"
        "\t\t<V_0\n\t\t   value=\"0.123456789\"/>\n\t\t<V_1\n\t\t   value=\"-3\"/>\n"
        "\t</parameters>\n</WARPFOLD>";
    std::string text = read_text(file);
    EXPECT_EQ(mask_times(text), expected);
    std::string stamp = text.substr(text.find("creation time: ") + 15, 25);
    EXPECT_EQ(stamp.substr(24), "<");
    EXPECT_EQ(stamp[3], ' ');
}

// Projecting rows maps them to Kc(z, X) A: the training rows and new rows,
// against the kernel written out plainly; the label is copied and every
// projection adds one history item.
TEST(KernelFrame, ProjectionIsTheCentredKernelTimesTheCoefficients)
{
    struct Case {
        const char* options;
        int code;
        double p[5];
    } cases[] = {{"kernel=exp sigma=1.5 feanum=3", 2, {1.5, 0, 0, 0, 0}},
                 {"kernel=poly degree=2 feanum=2", 1, {2, 1, 0, 0, 0}},
                 {"feanum=2 cachesize=100", 0, {0, 0, 0, 0, 0}}};
    ScratchFolder folder;
    std::string file = folder.path("model.xml");
    auto train = kernel_data(10, 3, 2, 0.8, 5);
    auto fresh = kernel_data(4, 3, 3, 0.3, 6);
    fresh->values[3] = 2.5;  // a label the training rows do not have
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        EXPECT_EQ(train_quietly(compute_curvaxis, *train, file, c.options), "");
        std::string text = read_text(file);
        int m = static_cast<int>(stored_list(text, "newcolumn")[0]);
        std::vector<double> a;
        for (const auto& row : stored_rows(text, "V", 10))
            a.insert(a.end(), row.begin(), row.end());
        ASSERT_EQ(a.size(), size_t(10 * m));
        int executions = 0;
        for (TestDatabase* db : {train.get(), fresh.get()}) {
            std::string messages;
            DataMatrix* out = execute_quietly(execute_curvaxis, *db, file, &messages);
            ASSERT_NE(out, nullptr) << messages;
            ++executions;
            Rows z = features_of(*db);
            std::vector<double> expected = product(
                reference_new_row_kernel(z, features_of(*train), c.code, c.p), a, z.n, 10, m);
            ASSERT_EQ(out->rows, z.n);
            ASSERT_EQ(out->cols, m + 1);
            for (int i = 0; i < z.n; ++i) {
                for (int j = 0; j < m; ++j)
                    // The stored training rows carry 10 significant digits.
                    EXPECT_NEAR(out->data[i * (m + 1) + j], expected[i * m + j],
                                1e-8 * (1 + std::fabs(expected[i * m + j])));
                EXPECT_EQ(out->data[i * (m + 1) + m], db->values[i * 4 + 3]);
            }
            matrix_free(out);
            EXPECT_EQ(count_of(read_text(file), "executing at "), executions);
        }
    }
}

TEST(KernelFrame, ArgumentsAreCheckedInOrder)
{
    ScratchFolder folder;
    std::string file = folder.path("model.xml");
    TestDatabase good(3, 2, {1, 1, 2, 1, 4, 2}), no_features(3, 1, {1, 2, 3});
    for (const RefusalCase& c :
         compute_argument_refusals("CURVAXIS", "empty the input matrix", good, no_features, file))
        expect_refusal(compute_curvaxis, c, file);
    for (const RefusalCase& c : execute_argument_refusals("CURVAXIS", good, file))
        expect_refusal(execute_curvaxis, c, file);
}

TEST(KernelFrame, InconsistentModelFilesAreRefused)
{
    std::vector<BrokenModel> cases = broken_models("CURVAXIS", "Execute CURVAXIS", "V");
    ScratchFolder folder;
    std::string missing = folder.path("missing.xml");
    std::string messages;
    EXPECT_EQ(execute_quietly(execute_curvaxis, two_feature_database(), missing, &messages),
              nullptr);
    EXPECT_EQ(messages, "Can't parse the xml document.\n" + missing +
                            ": No such file or directory\n"
                            "Execute CURVAXIS: the XML file name is not valid!\n");
    EXPECT_FALSE(file_exists(missing));
    expect_broken_models_refused(execute_curvaxis, cases);
}

// Values that are not finite, in the rows or from the kernel, write nothing.
TEST(KernelFrame, ValuesThatAreNotFiniteAreRefused)
{
    expect_training_refusals(compute_curvaxis, {
        {3, 3, {1, 2, 1, NAN, 3, 1, 4, 5, 2}, nullptr,
         "CURVAXIS: the feature in row 2, column 1 is not a finite number\n"},
        {3, 3, {1, 2, 1, 3, 3, 1, 4, -INFINITY, 2}, "kernel=exp",
         "CURVAXIS: the feature in row 3, column 2 is not a finite number\n"},
        {3, 3, {1e10, 2, 1, 3, 3, 1, 4, 5, 2}, "kernel=poly degree=40",
         "CURVAXIS: the kernel gives a value that is not a finite number\n"},
        {3, 3, {1, 2, 1, 3, 3, 1, 4, 5, 2}, "kernel=exp sigma=0",
         "CURVAXIS: sigma gives the exponential kernel no width\n"},
        {3, 3, {1, 2, 1, 3, 3, 1, 4, 5, 2}, "kernel=user kernelparam4=abc",
         "CURVAXIS: the option kernelparam4 (\"abc\") is not a finite number\n"},
        {3, 3, {1, 2, 1, 3, 3, 1, 4, 5, 2}, "feanum=1.5",
         "CURVAXIS: feanum must be a whole number within the range of an int\n"},
    });
}

// A database value that is not finite would come back in the result: its
// projection is refused and the model keeps its history as it was.
TEST(KernelFrame, ProjectingValuesThatAreNotFiniteIsRefused)
{
    ScratchFolder folder;
    std::string file = folder.path("model.xml");
    TestDatabase train(4, 3, {1, 2, 1, 3, -1, 1, 0, 1, 2, 2, 2, 2});
    ASSERT_EQ(train_quietly(compute_curvaxis, train, file, nullptr), "");
    std::string model = read_text(file);
    struct Case {
        std::vector<double> data;  // two rows of two features and a label
        std::string message;
    } cases[] = {
        {{1, NAN, 1, 0, 1, 2}, "Execute CURVAXIS: the feature in row 1, column 2 is not a finite number\n"},
        {{1, 2, 1, -INFINITY, 1, 2}, "Execute CURVAXIS: the feature in row 2, column 1 is not a finite number\n"},
        {{1, 2, 1, 0, 1, NAN}, "Execute CURVAXIS: the class label in row 2 is not a finite number\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TestDatabase db(2, 3, c.data);
        std::string messages;
        EXPECT_EQ(execute_quietly(execute_curvaxis, db, file, &messages), nullptr);
        EXPECT_EQ(messages, c.message);
        EXPECT_EQ(read_text(file), model);
    }
}

// A model file the save could not replace or create is refused before the
// kernel is built or anything trains.
TEST(KernelFrame, UnwritableModelFileIsRefusedBeforeTraining)
{
    auto db = kernel_data(6, 2, 2, 0.5, 12);
    expect_outputs_refused(compute_curvaxis, *db, "kernel=exp", "CURVAXIS");
}
