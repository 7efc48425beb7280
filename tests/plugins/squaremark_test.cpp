// Least-squares machine: the solve against an independent elimination, the
// elimination rules on hand-worked systems, option reading, the model file
// and outputs of a whole training, and refused model files.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "plugins/squaremark/model.h"
#include "plugins/squaremark/solve.h"
#include "support/matrix.h"
#include "tests/plugins/kernel_classifier_test_helpers.h"
#include "tests/support/reference.h"

extern "C" void* train_squaremark(void** values, int* types, int count, int* resultType);
extern "C" void* test_squaremark(void** values, int* types, int count, int* resultType);

namespace {

// exp(-|x_i - x_j|^2 / 4) + I/gamma over n random points in 3 dimensions.
std::vector<double> kernel_system(int n, double gamma, unsigned seed)
{
    TestRandom random(seed);
    std::vector<double> x(n * 3);
    for (double& v : x)
        v = random.next() * 3.0;
    std::vector<double> a(n * n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            double d = 0.0;
            for (int f = 0; f < 3; f++)
                d += (x[i * 3 + f] - x[j * 3 + f]) * (x[i * 3 + f] - x[j * 3 + f]);
            a[i * n + j] = std::exp(-d / 4.0) + (i == j ? 1.0 / gamma : 0.0);
        }
    return a;
}

TEST(SquaremarkSolve, AgreesWithPivotedEliminationAcrossBlockEdges)
{
    for (int n : {1, 2, 7, 63, 64, 65, 130, 200}) {
        SCOPED_TRACE(n);
        const int c = 3;
        std::vector<double> a = kernel_system(n, 2.0, 7 + n);
        std::vector<double> v(n * c);
        TestRandom random(n);
        for (double& x : v)
            x = random.next() < 0.5 ? -1.0 : 1.0;
        std::vector<double> solved = v, work = a;
        solve_kernel_system(work.data(), n, solved.data(), c, 1e-5, false);
        for (int k = 0; k < c; k++) {
            std::vector<double> b(n);
            for (int i = 0; i < n; i++)
                b[i] = v[i * c + k];
            std::vector<double> x = solve_linear(a, b, n);
            for (int i = 0; i < n; i++)
                EXPECT_NEAR(solved[i * c + k], x[i], 1e-8 * (1.0 + std::fabs(x[i])));
        }
    }
}

// Systems on which some pivot falls below epsilon or is negative: the fast
// path must give up and match the step-by-step elimination exactly.
struct RuleCase {
    const char* name;
    int n;
    std::vector<double> a;
    std::vector<double> v;         // one right side
    std::vector<double> expected;  // hand-worked solution
};

TEST(SquaremarkSolve, EliminationRulesOnHandWorkedSystems)
{
    const RuleCase cases[] = {
        // Row 1 equals row 0: its pivot becomes 0 and its coefficient 0.
        {"repeated row", 2, {1, 1, 1, 1}, {3, 5}, {3, 0}},
        // A first pivot below epsilon zeroes row 0; row 1 is then solved alone.
        {"tiny first pivot", 2, {1e-9, 0, 0, 2}, {4, 4}, {0, 2}},
        // Row 1 has a negative diagonal, so pivot 0 leaves it alone: it
        // stays (1, -1 | 1). Its own pivot -1 makes it (0, 1 | -1), and row
        // 0, (1, 1 | 2) with diagonal 1, is eliminated with it: 2 - (-1).
        // (The system's true solution, (1.5, 0.5), is not what the rule gives.)
        {"skipped row", 2, {2, 2, 1, -1}, {4, 1}, {3, -1}},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> a = c.a, v = c.v, a2 = c.a, v2 = c.v;
        gauss_jordan_solve(a.data(), c.n, v.data(), 1, 1e-5, false);
        solve_kernel_system(a2.data(), c.n, v2.data(), 1, 1e-5, false);
        for (int i = 0; i < c.n; i++) {
            EXPECT_DOUBLE_EQ(v[i], c.expected[i]) << i;
            EXPECT_EQ(v2[i], v[i]) << i;
        }
    }
}

TEST(SquaremarkSolve, NegativePivotFollowsTheRowRule)
{
    // Pivot 0 is -2: row 0 becomes (1, -0.5 | 1); row 1's diagonal 3 > 0, so
    // it becomes (0, 3.5 | 3). Pivot 1 is 3.5: x1 = 3/3.5; row 0 has
    // diagonal 1 > 0: x0 = 1 + 0.5 * x1.
    std::vector<double> a = {-2, 1, 1, 3}, v = {-2, 4};
    solve_kernel_system(a.data(), 2, v.data(), 1, 1e-5, false);
    EXPECT_DOUBLE_EQ(v[1], 3.0 / 3.5);
    EXPECT_DOUBLE_EQ(v[0], 1.0 + 0.5 * (3.0 / 3.5));
}

struct OptionCase {
    const char* options;
    bool accepted;
    int kernel;
    double param0, param1, gamma, epsilon;
    int cache;
    std::string refusal = "";  // the message of a refused case, after "train_squaremark: "
};

TEST(SquaremarkSettings, OptionStrings)
{
    const OptionCase cases[] = {
        {nullptr, true, 0, 0, 0, 1.0, 1e-5, 0},
        {"kernel=polynomial", true, 1, 3.0, 1.0, 1.0, 1e-5, 0},
        {"kernel=exponential", true, 2, 2.0, 0, 1.0, 1e-5, 0},
        {"kernel=user", true, 3, 0, 0, 1.0, 1e-5, 0},
        {"kernel=gauss sigma=3", true, 0, 0, 0, 1.0, 1e-5, 0},
        {"kernelparam1=2 kernel=user", true, 0, 0, 0, 1.0, 1e-5, 0},
        {"kernel=poly degree=2 delta", false, 0, 0, 0, 0, 0, 0, "the option delta (\"\") is not a finite number\n"},
        {"gamma=0.5 epsilon=1e-9 cachesize=77", true, 0, 0, 0, 0.5, 1e-9, 77},
        {"cachesize=0x10", true, 0, 0, 0, 1.0, 1e-5, 16},
        {"cachesize=1e3", true, 0, 0, 0, 1.0, 1e-5, 1000},
        {"cachesize=-1", true, 0, 0, 0, 1.0, 1e-5, -1},
        {"cachesize=77.9", false, 0, 0, 0, 0, 0, 0, "cachesize must be a whole number within the range of an int\n"},
        {"cachesize=1e300", false, 0, 0, 0, 0, 0, 0, "cachesize must be a whole number within the range of an int\n"},
        {"kernel=poly degree=0.5", true, 1, 0.5, 1.0, 1.0, 1e-5, 0},
        {"kernel=exp sigma=0", false, 0, 0, 0, 0, 0, 0, "sigma gives the exponential kernel no width\n"},
        {"kernel=exp sigma=inf", false, 0, 0, 0, 0, 0, 0, "the option sigma (\"inf\") is not a finite number\n"},
        {"kernel=poly delta=nan", false, 0, 0, 0, 0, 0, 0, "the option delta (\"nan\") is not a finite number\n"},
        {"kernel=user kernelparam5=-inf", false, 0, 0, 0, 0, 0, 0, "the option kernelparam5 (\"-inf\") is not a finite number\n"},
        {"epsilon=inf", false, 0, 0, 0, 0, 0, 0, "the option epsilon (\"inf\") is not a finite number\n"},
        {"kernel=exp sigma=2 gamma=abc", false, 0, 0, 0, 0, 0, 0, "the option gamma (\"abc\") is not a finite number\n"},
        {"kernel=exp sigma=3abc", false, 0, 0, 0, 0, 0, 0, "the option sigma (\"3abc\") is not a finite number\n"},
        {"epsilon= 3", false, 0, 0, 0, 0, 0, 0, "the option epsilon (\"\") is not a finite number\n"},
        {"kernel=poly degree=0x3 gamma=1e3", true, 1, 3.0, 1.0, 1000.0, 1e-5, 0},
        {"gamma=2.9", true, 0, 0, 0, 2.9, 1e-5, 0},
        {"epsilon=0.5", true, 0, 0, 0, 1.0, 0.5, 0},
        {"epsilon=0", false, 0, 0, 0, 0, 0, 0},
        {"epsilon=-1", false, 0, 0, 0, 0, 0, 0},
        {"epsilon=nan", false, 0, 0, 0, 0, 0, 0},
        {"gamma=inf", false, 0, 0, 0, 0, 0, 0},
    };
    for (const OptionCase& c : cases) {
        SCOPED_TRACE(c.options ? c.options : "(none)");
        SquaremarkSettings s;
        testing::internal::CaptureStderr();
        bool accepted = read_squaremark_settings(c.options, &s);
        std::string printed = testing::internal::GetCapturedStderr();
        ASSERT_EQ(accepted, c.accepted);
        if (!accepted) {
            EXPECT_EQ(printed.rfind("train_squaremark: ", 0), 0u);
            if (!c.refusal.empty()) {
                EXPECT_EQ(printed, "train_squaremark: " + c.refusal);
            }
            continue;
        }
        EXPECT_EQ(s.kernel, c.kernel);
        EXPECT_EQ(s.param[0], c.param0);
        EXPECT_EQ(s.param[1], c.param1);
        EXPECT_EQ(s.gamma, c.gamma);
        EXPECT_EQ(s.epsilon, c.epsilon);
        EXPECT_EQ(s.cacheSize, c.cache);
    }
}

// Six rows in two classes (and a label 2.7 that counts as 2), 2 features.
TestDatabase& small_database()
{
    static TestDatabase db(6, 3, {0, 0, 1,   1, 0, 1,   0, 1, 1,
                                  3, 3, 2,   4, 3, 2.7, 3, 4, 2});
    return db;
}

TEST(SquaremarkTraining, ModelSolvesTheKernelSystemAndTestsReproduceIt)
{
    ScratchFolder folder;
    std::string file = folder.path("sq.xml");
    train_quietly(train_squaremark, small_database(), file, "kernel=exponential sigma=2 gamma=4");
    std::string text = read_text(file);
    ASSERT_NE(text, "");
    const int n = 6;
    std::vector<double> x(n * 2), alpha(n * 2);
    for (int i = 0; i < n; i++) {
        std::vector<double> row = stored_list(text, "X_" + std::to_string(i));
        std::vector<double> v = stored_list(text, "V_" + std::to_string(i));
        ASSERT_EQ(row.size(), 2u);
        ASSERT_EQ(v.size(), 2u);
        x[i * 2] = row[0], x[i * 2 + 1] = row[1];
        alpha[i * 2] = v[0], alpha[i * 2 + 1] = v[1];
    }
    EXPECT_EQ(stored_list(text, "V_6"), (std::vector<double>{0, 0}));
    EXPECT_NE(text.find("<item>gamma: 4</item>"), std::string::npos);
    // (K + I/4) alpha_c = y_c, y_c = +1 on class c's rows, else -1.
    std::vector<double> outputs(n * 2);
    for (int i = 0; i < n; i++)
        for (int c = 0; c < 2; c++) {
            double s = alpha[i * 2 + c] / 4.0;
            for (int j = 0; j < n; j++) {
                double d = std::pow(x[i * 2] - x[j * 2], 2) + std::pow(x[i * 2 + 1] - x[j * 2 + 1], 2);
                s += std::exp(-d / 4.0) * alpha[j * 2 + c];
            }
            double y = (i < 3) == (c == 0) ? 1.0 : -1.0;
            EXPECT_NEAR(s, y, 1e-8);
            outputs[i * 2 + c] = s - alpha[i * 2 + c] / 4.0;
        }
    int type;
    DataMatrix* out = static_cast<DataMatrix*>(call_script(
        test_squaremark, {matrix_argument(small_database()), string_argument(file)}, &type));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(type, VALUE_MATRIX);
    ASSERT_EQ(out->rows, n);
    ASSERT_EQ(out->cols, 3);
    for (int i = 0; i < n; i++) {
        EXPECT_NEAR(out->data[i * 3], outputs[i * 2], 1e-8);
        EXPECT_NEAR(out->data[i * 3 + 1], outputs[i * 2 + 1], 1e-8);
        EXPECT_EQ(out->data[i * 3 + 2], small_database().values[i * 3 + 2]);
    }
    EXPECT_EQ(count_of(read_text(file), "testing at "), 1);
    matrix_free(out);
}

TEST(SquaremarkTraining, RefusedDatabasesWriteNoFile)
{
    ScratchFolder folder;
    std::string file = folder.path("sq.xml");
    TestDatabase zeroLabel(2, 2, {1, 1, 2, 0});
    TestDatabase notFinite(2, 2, {NAN, 1, 2, 1});
    EXPECT_EQ(train_quietly(train_squaremark, zeroLabel, file, nullptr),
              "train_squaremark: the class label in row 2 is not a whole number of 1 or more\n");
    EXPECT_EQ(train_quietly(train_squaremark, notFinite, file, nullptr),
              "train_squaremark: the value in row 1, column 1 is not a finite number\n");
    // An epsilon below 1 is taken as it stands.
    EXPECT_NE(train_quietly(train_squaremark, small_database(), file, "epsilon=0.9e-0")
                  .find("Computing the solution\n"),
              std::string::npos);
    EXPECT_TRUE(file_exists(file));
    std::remove(file.c_str());
    EXPECT_EQ(train_quietly(train_squaremark, small_database(), file, "epsilon=0"),
              "train_squaremark: epsilon must be greater than 0\n");
    EXPECT_FALSE(file_exists(file));
    // (x.y)^0.5 of rows whose inner product is -0.75: no system, no file.
    TestDatabase opposed(2, 3, {0.5, 1, 1, -2, 0.25, 2});
    std::string printed = train_quietly(train_squaremark, opposed, file, "kernel=poly degree=0.5 delta=0");
    EXPECT_NE(printed.find("train_squaremark: the kernel gives a value that is not a finite number "
                           "for row 1\n"), std::string::npos);
    EXPECT_FALSE(file_exists(file));
}

// Options that cannot be used and outputs that could not be written are
// refused before anything is trained; an earlier model stays byte for
// byte, so test_squaremark still reads it.
TEST(SquaremarkTraining, RefusalsKeepTheEarlierModel)
{
    ScratchFolder folder;
    std::string file = folder.path("sq.xml");
    train_quietly(train_squaremark, small_database(), file, "kernel=exp sigma=2");
    std::string earlier = read_text(file);
    ASSERT_NE(earlier, "");
    for (const char* options : {"kernel=exp sigma=inf", "kernel=exp sigma=0", "cachesize=2.5"}) {
        SCOPED_TRACE(options);
        std::string printed = train_quietly(train_squaremark, small_database(), file, options);
        EXPECT_EQ(printed.rfind("train_squaremark: ", 0), 0u);
        EXPECT_EQ(printed.find("create main matrix"), std::string::npos);
        EXPECT_EQ(read_text(file), earlier);
    }
    for (const UnwritableOutput& o : unwritable_outputs(folder)) {
        SCOPED_TRACE(o.path);
        EXPECT_EQ(train_quietly(train_squaremark, small_database(), o.path, nullptr),
                  "train_squaremark: the model file '" + o.path + "' cannot be written: " + o.why +
                      "; nothing is trained\n");
        expect_output_untouched(o);
    }
    int type;
    testing::internal::CaptureStderr();
    DataMatrix* out = static_cast<DataMatrix*>(call_script(
        test_squaremark, {matrix_argument(small_database()), string_argument(file)}, &type));
    testing::internal::GetCapturedStderr();
    EXPECT_NE(out, nullptr);
    matrix_free(out);
}

// A model file of two training rows of one feature and one class, with the
// parameters given; the database to test has two columns.
std::string model_text(const std::string& sizes, const std::string& rows)
{
    return "<SQUAREMARK><history/><parameters>" + sizes + rows + "</parameters></SQUAREMARK>";
}

// text with the "value" of element name set to value.
std::string with_value(std::string text, const std::string& name, const std::string& value)
{
    size_t at = text.find("<" + name + " value=\"");
    size_t start = at + name.size() + 9, end = text.find('"', start);
    return text.replace(start, end - start, value);
}

struct ModelRefusal {
    const char* name;
    std::string text;
    std::string message;
};

TEST(SquaremarkTesting, InconsistentModelFilesAreRefused)
{
    const std::string sizes =
        "<row value=\"2\"/><column value=\"1\"/><classnumber value=\"1\"/>";
    const std::string rows = "<X_0 value=\"1\"/><V_0 value=\"0.5\"/><X_1 value=\"2\"/>"
                             "<V_1 value=\"0.25\"/><V_2 value=\"0\"/>";
    const std::string p = "test_squaremark: ";
    const std::string not_whole = " holds a value that is not a whole number\n";
    const ModelRefusal cases[] = {
        {"no parameters", "<SQUAREMARK/>",
         p + "the XML doesn't contain proper SQUAREMARK element\n"},
        {"zero rows", model_text("<row value=\"0\"/><column value=\"1\"/><classnumber value=\"1\"/>", rows),
         p + "problems with sizes in SQUAREMARK parameters\n"},
        {"negative classes", model_text("<row value=\"2\"/><column value=\"1\"/><classnumber value=\"-3\"/>", rows),
         p + "problems with sizes in SQUAREMARK parameters\n"},
        {"wrong width", model_text("<row value=\"2\"/><column value=\"2\"/><classnumber value=\"1\"/>", rows),
         p + "incompatible sizes - database and SQUAREMARK\n"},
        {"huge row count", model_text("<row value=\"2000000000\"/><column value=\"1\"/><classnumber value=\"1\"/>", rows),
         p + "error with row 3 in matrix X\n"},
        {"huge class count", model_text("<row value=\"2\"/><column value=\"1\"/><classnumber value=\"900000000\"/>", rows),
         p + "error with row 1 in matrix V\n"},
        {"short X row", model_text(sizes, "<X_0 value=\"\"/>" + rows.substr(17)),
         p + "error with row 1 in matrix X\n"},
        {"long V row", model_text(sizes, "<X_0 value=\"1\"/><V_0 value=\"0.5,1\"/>"),
         p + "error with row 1 in matrix V\n"},
        {"missing bias row", model_text(sizes, rows.substr(0, rows.size() - 16)),
         p + "error with row 2 in matrix V\n"},
        // Numbers that are not numbers, or not finite; and outputs that are
        // not finite, from (x X_0)^0.5 with X_0 = -1: no result, no stamp.
        {"X of nan", model_text(sizes, with_value(rows, "X_1", "nan")),
         p + "inconsistent file: \"value\" of \"X_1\" holds a value that is not a finite number\n"},
        {"V of text", model_text(sizes, with_value(rows, "V_0", "half")),
         p + "inconsistent file: \"value\" of \"V_0\" holds a value that is not a finite number\n"},
        {"bias of inf", model_text(sizes, with_value(rows, "V_2", "inf")),
         p + "inconsistent file: \"value\" of \"V_2\" holds a value that is not a finite number\n"},
        {"row count of text", model_text(with_value(sizes, "row", "two"), rows),
         p + "inconsistent file: \"value\" of \"row\"" + not_whole},
        // Whole numbers are read as the numbers their texts are: 1e1 rows
        // are 10, which the file does not hold; 1.5 and 1e300 are refused.
        {"row count of 1e1", model_text(with_value(sizes, "row", "1e1"), rows),
         p + "error with row 3 in matrix X\n"},
        {"column count of 1.5", model_text(with_value(sizes, "column", "1.5"), rows),
         p + "inconsistent file: \"value\" of \"column\"" + not_whole},
        {"class count of 1e300", model_text(with_value(sizes, "classnumber", "1e300"), rows),
         p + "inconsistent file: \"value\" of \"classnumber\"" + not_whole},
        {"row count of -1", model_text(with_value(sizes, "row", "-1"), rows),
         p + "problems with sizes in SQUAREMARK parameters\n"},
        // Kernels that cannot be used.
        {"kernel code 7", model_text(sizes + "<kernel value=\"7\"/>", rows),
         p + "inconsistent file: \"value\" of \"kernel\" names no kernel type\n"},
        {"kernel code 257", model_text(sizes + "<kernel value=\"257\"/>", rows),
         p + "inconsistent file: \"value\" of \"kernel\" names no kernel type\n"},
        {"kernel code of 1.5", model_text(sizes + "<kernel value=\"1.5\"/>", rows),
         p + "inconsistent file: \"value\" of \"kernel\"" + not_whole},
        {"exponential without a width", model_text(sizes + "<kernel value=\"2\"/>", rows),
         p + "inconsistent file: \"value\" of \"kernel_param0\" gives the exponential kernel no width\n"},
        {"exponential of width 1e-200",
         model_text(sizes + "<kernel value=\"2\"/><kernel_param0 value=\"1e-200\"/>", rows),
         p + "inconsistent file: \"value\" of \"kernel_param0\" gives the exponential kernel no width\n"},
        {"empty kernel parameter", model_text(sizes + "<kernel_param1 value=\"\"/>", rows),
         p + "inconsistent file: \"value\" of \"kernel_param1\" holds a value that is not a finite number\n"},
        {"kernel gives nan", model_text(sizes + "<kernel value=\"1\"/><kernel_param0 value=\"0.5\"/>",
                                        with_value(rows, "X_0", "-1")),
         p + "the kernel gives a value that is not a finite number for row 1\n"},
    };
    ScratchFolder folder;
    std::string file = folder.path("model.xml");
    TestDatabase db(3, 2, {1, 1, 2, 1, 3, 1});
    for (const ModelRefusal& c : cases) {
        SCOPED_TRACE(c.name);
        write_text(file, c.text);
        int type;
        testing::internal::CaptureStderr();
        void* out = call_script(test_squaremark, {matrix_argument(db), string_argument(file)}, &type);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(type, VALUE_EMPTY);
        EXPECT_EQ(read_text(file), c.text);
    }
    // The well-formed file, its sizes written as "0x2" and "1e0": outputs
    // b + sum k(x, X_i) V_i with the linear kernel (no kernel element):
    // x * (1 * 0.5 + 2 * 0.25) = x.
    write_text(file, model_text(with_value(with_value(sizes, "row", "0x2"), "classnumber", "1e0"), rows));
    int type;
    testing::internal::CaptureStderr();
    DataMatrix* out = static_cast<DataMatrix*>(
        call_script(test_squaremark, {matrix_argument(db), string_argument(file)}, &type));
    testing::internal::GetCapturedStderr();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->data[0], 1.0);
    EXPECT_EQ(out->data[4], 3.0);
    EXPECT_EQ(out->data[5], 1.0);
    matrix_free(out);
}

}  // namespace
