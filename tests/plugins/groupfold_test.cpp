// Pair-weighted discriminant plug-in: the pair scatter against the plain pair
// loop, the transformation against a Jacobi eigen-solution, exact model
// files, projection and refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "plugins/groupfold/pair_scatter.h"
#include "support/matrix.h"
#include "tests/plugins/discriminant_test_helpers.h"

extern "C" void* compute_groupfold(void** values, int* types, int count, int* resultType);
extern "C" void* execute_groupfold(void** values, int* types, int count, int* resultType);

namespace {

// The definition itself: every ordered pair, labels compared as reals.
std::vector<double> pair_loop(const TestDatabase& db, PairWeights weights)
{
    int n = db.matrix.rows, cols = db.matrix.cols, d = cols - 1;
    std::vector<double> s(d * d, 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double* xi = &db.values[i * cols];
            const double* xj = &db.values[j * cols];
            double w = xi[d] == xj[d] ? weights.spring : weights.antispring;
            for (int k = 0; k < d; ++k)
                for (int l = 0; l < d; ++l)
                    s[k * d + l] += w * (xi[k] - xj[k]) * (xi[l] - xj[l]);
        }
    return s;
}

// The scatter the plug-in's own routine computes for a database.
std::vector<double> fast_scatter(const TestDatabase& db, PairWeights weights)
{
    int n = db.matrix.rows, d = db.matrix.cols - 1;
    DataMatrix* x = matrix_alloc(1, 1);
    DataMatrix* y = matrix_alloc(1, 1);
    DataMatrix* s = matrix_alloc(d, d);
    split_features_labels(&db.matrix, x, y);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(pair_scatter(x, y, weights, s));
    std::string progress = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_of(progress, "\r"), n);
    std::vector<double> out(s->data, s->data + d * d);
    matrix_free(x);
    matrix_free(y);
    matrix_free(s);
    return out;
}

// n rows of d features around an offset, labels drawn from the given set.
std::unique_ptr<TestDatabase> pair_data(int n, int d, double offset,
                                        const std::vector<double>& labels, unsigned seed)
{
    TestRandom random(seed);
    std::vector<double> data;
    for (int r = 0; r < n; ++r) {
        double label = labels[r % labels.size()];
        for (int i = 0; i < d; ++i)
            data.push_back(offset + (i + 1) * random.normal() + 2.0 * label * (i % 2));
        data.push_back(label);
    }
    return std::make_unique<TestDatabase>(n, d + 1, data);
}

std::string compute(TestDatabase& db, const std::string& file, const char* options = nullptr)
{
    return train_quietly(compute_groupfold, db, file, options);
}

std::string progress_lines(int rows)
{
    std::string text;
    for (int r = 0; r < rows; ++r) {
        char line[16];
        snprintf(line, sizeof line, "%5d\r", r);
        text += line;
    }
    return text + "\n";
}

}  // namespace

// The O(n d^2) scatter matches the pair loop to 1e-9 relative, also far from
// the origin and with labels that differ only after the decimal point.
TEST(GroupfoldPairScatter, MatchesThePairLoop)
{
    struct Case {
        const char* name;
        int n, d;
        double offset;
        std::vector<double> labels;
        PairWeights weights;
    } cases[] = {
        {"defaults", 40, 3, 0.0, {1, 2, 3}, {-1, 1}},
        {"uncentred", 50, 4, 1e4, {1, 2}, {-1, 1}},
        {"far uncentred, other weights", 30, 2, -3e6, {2, 1, 1}, {0.5, 2}},
        {"real labels", 36, 3, 7.0, {1, 1.5, 2.5, 2.7}, {-2, 0.25}},
        {"one class", 20, 3, 100.0, {4}, {-1, 1}},
        {"one row", 1, 3, 5.0, {1}, {-1, 1}},
        {"one feature", 25, 1, 2.0, {1, 2}, {3, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto db = pair_data(c.n, c.d, c.offset, c.labels, 31u + c.n);
        std::vector<double> expected = pair_loop(*db, c.weights);
        std::vector<double> actual = fast_scatter(*db, c.weights);
        double scale = 0.0;
        for (double v : expected)
            scale = std::max(scale, std::fabs(v));
        for (size_t k = 0; k < expected.size(); ++k)
            EXPECT_NEAR(actual[k], expected[k], 1e-9 * scale) << "entry " << k;
    }
}

// Two rows: the pair adds (or, in one class, subtracts) the outer product of
// its difference twice, once per order.
TEST(GroupfoldPairScatter, TwoRowsByHand)
{
    TestDatabase apart(2, 3, {1, 2, 1, 4, 6, 2});
    TestDatabase together(2, 3, {1, 2, 1, 4, 6, 1});
    std::vector<double> outer = {9, 12, 12, 16};
    for (int k = 0; k < 4; ++k) {
        EXPECT_DOUBLE_EQ(fast_scatter(apart, {-1, 1})[k], 2 * outer[k]);
        EXPECT_DOUBLE_EQ(fast_scatter(together, {-1, 1})[k], -2 * outer[k]);
    }
}

// "spring" is looked up first and also matches inside "antispring".
TEST(GroupfoldOptions, WeightsFromTheOptionString)
{
    struct Case {
        const char* options;
        double spring, antispring;
    } cases[] = {{nullptr, -1, 1},
                 {"", -1, 1},
                 {"spring=2", 2, 1},
                 {"spring=2 antispring=5", 2, 5},
                 {"antispring=3", 3, 3},
                 {"antispring=5,spring=2", 5, 5},
                 {"spring=1e-3 antispring=0x2", 1e-3, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options ? c.options : "(none)");
        PairWeights w;
        ASSERT_TRUE(read_pair_weights(c.options, "GROUPFOLD", &w));
        EXPECT_EQ(w.spring, c.spring);
        EXPECT_EQ(w.antispring, c.antispring);
    }
    PairWeights w;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(read_pair_weights("spring=2 antispring=x", "GROUPFOLD", &w));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "GROUPFOLD: the option antispring (\"x\") is not a finite number\n");
}

// The stored columns are the unit eigenvectors of the pair scatter in
// decreasing order of their eigenvalues; the options reach the scatter.
TEST(GroupfoldTransform, EigenvectorsOfThePairScatter)
{
    struct Case {
        int n, d;
        const char* options;
        PairWeights weights;
    } cases[] = {{30, 3, nullptr, {-1, 1}}, {24, 4, "spring=-0.5 antispring=2", {-0.5, 2}},
                 {20, 2, "antispring=3", {3, 3}}};
    ScratchFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options ? c.options : "(defaults)");
        auto db = pair_data(c.n, c.d, 50.0, {1, 2, 3}, 7u * c.d);
        std::string file = folder.path("gf.xml");
        EXPECT_EQ(compute(*db, file, c.options), progress_lines(c.n));
        std::vector<double> values, vectors;
        jacobi_eigen(pair_loop(*db, c.weights), c.d, &values, &vectors);
        std::vector<double> stored = stored_list(read_text(file), "transformation");
        ASSERT_EQ(stored.size(), size_t(c.d * c.d));
        for (size_t k = 0; k < stored.size(); ++k)
            EXPECT_NEAR(stored[k], vectors[k], 1e-7) << "entry " << k;
    }
}

// One feature: Q is exactly 1, so the whole file is known; each execution
// adds one history item and returns rows x 2.
TEST(GroupfoldModelFile, ExactFileAndExecutionHistory)
{
    ScratchFolder folder;
    std::string file = folder.path("one.xml");
    TestDatabase db(3, 2, {1, 1, 2, 2, 4, 2});
    EXPECT_EQ(compute(db, file, "antispring=3"), progress_lines(3));
    std::string expected =
        "<GROUPFOLD>\n\t<history>\n\t\t<item>creation time: TIME</item>\n"
        "\t\t<item>XML output file: '" + file + "'</item>\n"
        "\t\t<item>rows in original database: 3</item>\n"
        "\t\t<item>columns in original database: 1</item>\n\t</history>\n"
        "\t<initial_settings/>\n\t<parameters>\n\t\t<feature_number\n\t\t   value=\"1\"/>\n"
        "\t\t<transformation\n\t\t   value=\"1\"/>\n\t</parameters>\n</GROUPFOLD>";
    EXPECT_EQ(mask_times(read_text(file)), expected);
    int type;
    for (int run = 1; run <= 2; ++run) {
        auto* result = static_cast<DataMatrix*>(
            call_script(execute_groupfold, {matrix_argument(db), string_argument(file)}, &type));
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(type, VALUE_MATRIX);
        ASSERT_EQ(result->rows, 3);
        ASSERT_EQ(result->cols, 2);
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(result->data[k], db.values[k]);
        matrix_free(result);
        EXPECT_EQ(count_of(read_text(file), "<item>executing at "), run);
    }
    EXPECT_EQ(stored_list(read_text(file), "transformation"), std::vector<double>{1.0});
}

// feature_number counts the OUTPUT features: 3 with 6 items takes 2 inputs.
TEST(GroupfoldExecute, FeatureNumberCountsOutputs)
{
    ScratchFolder folder;
    std::string file = folder.path("wide.xml");
    write_text(file, handmade_model("GROUPFOLD", stored_parameters("3", "1,2,3,4,5,6")));
    TestDatabase db(2, 3, {1, 1, 7, 2, -1, 8});
    int type;
    auto* result = static_cast<DataMatrix*>(
        call_script(execute_groupfold, {matrix_argument(db), string_argument(file)}, &type));
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->cols, 4);
    std::vector<double> expected = {5, 7, 9, 7, -2, -1, 0, 8};
    EXPECT_EQ(std::vector<double>(result->data, result->data + 8), expected);
    matrix_free(result);
    EXPECT_EQ(count_of(read_text(file), "<item>executing at "), 1);
}

// Refusals print their message and leave the file as it was.
TEST(GroupfoldRefusals, LeaveTheFileUntouched)
{
    ScratchFolder folder;
    std::string file = folder.path("kept.xml");
    TestDatabase good(4, 3, {0, 0, 1, 1, 0, 1, 0, 1, 2, 1, 1, 2});
    TestDatabase no_features(2, 1, {1, 2});
    TestDatabase label_nan(2, 2, {1, 1, 2, NAN});
    TestDatabase label_low(2, 2, {1, 0.99, 2, 1});
    TestDatabase feature_nan(2, 3, {1, 1, 1, 2, NAN, 2});
    TestArgument name = string_argument(file);
    std::vector<RefusalCase> compute_cases = compute_argument_refusals(
        "GROUPFOLD", "empty the input matrix", good, no_features, file);
    compute_cases.push_back({"label NaN", {matrix_argument(label_nan), name},
                             "compute_groupfold: the class label in row 2 is not a whole "
                             "number of 1 or more\n"});
    compute_cases.push_back({"label below 1", {matrix_argument(label_low), name},
                             "compute_groupfold: the class label in row 1 is not a whole "
                             "number of 1 or more\n"});
    compute_cases.push_back({"feature NaN", {matrix_argument(feature_nan), name},
                             "compute_groupfold: the feature in row 2, column 2 is not a "
                             "finite number\n"});
    for (const RefusalCase& c : compute_cases)
        expect_refusal(compute_groupfold, c, file);

    std::vector<RefusalCase> execute_cases = execute_argument_refusals("GROUPFOLD", good, file);
    std::string prefix = "Execute GROUPFOLD: ";
    execute_cases.push_back({"missing file", {matrix_argument(good), name},
                             "Can't parse the xml document.\n" + file +
                                 ": No such file or directory\n" + prefix +
                                 "the XML file name is not valid!\n",
                             ""});
    execute_cases.push_back({"not a groupfold model", {matrix_argument(good), name},
                             prefix + "the XML doesn't contain proper GROUPFOLD element\n",
                             handmade_model("FLATDISC", stored_parameters("2", "1,0,0,1"))});
    execute_cases.push_back({"sizes", {matrix_argument(good), name},
                             prefix + "problems with sizes in GROUPFOLD parameters\n",
                             handmade_model("GROUPFOLD", stored_parameters("4", "1,0,0,1,1"))});
    execute_cases.push_back({"columns", {matrix_argument(good), name},
                             prefix + "incompatible sizes - matrix and GROUPFOLD\n",
                             handmade_model("GROUPFOLD", stored_parameters("1", "1,0,0"))});
    // Row 4, (1, 1), is the first whose projection 2e308 overflows.
    for (RefusalCase& c : finite_value_refusals("GROUPFOLD", good, 4, file))
        execute_cases.push_back(c);
    for (const RefusalCase& c : execute_cases)
        expect_refusal(execute_groupfold, c, file);
}


// A model file the save could not replace or create is refused before the
// pair scatter starts counting rows.
TEST(GroupfoldRefusals, UnwritableModelFileIsRefusedBeforeTraining)
{
    TestDatabase good(4, 3, {0, 0, 1, 1, 0, 1, 0, 1, 2, 1, 1, 2});
    expect_outputs_refused(compute_groupfold, good, nullptr, "GROUPFOLD");
}
