// Exponential-loss classifier and the init-file classifiers' shared code:
// the loss at its edge values, the gradient against finite differences, one
// training iteration computed independently, the exact init file, kernel
// rewriting by options, loader refusals, evaluation, and a descent that ends
// on any settings.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "plugins/edgemark/exp_loss.h"
#include "plugins/edgemark/model.h"
#include "plugins/kernel_classifier/descent.h"
#include "plugins/kernel_classifier/training_kernel.h"
#include "support/matrix.h"
#include "tests/plugins/kernel_classifier_test_helpers.h"

extern "C" void* EDGEMARKMakeInit(void** values, int* types, int count, int* resultType);
extern "C" void* EDGEMARKLearn(void** values, int* types, int count, int* resultType);
extern "C" void* EDGEMARKEvaluate(void** values, int* types, int count, int* resultType);

namespace {

TEST(Edgemark, ExpLossAtItsEdges)
{
    struct Case { double z, loss; };
    const Case cases[] = {
        {0.0, 1.0},
        {2.0, std::exp(-2.0)},
        {-30.0, std::exp(30.0)},          // e^30 + 1 is still above e^30
        {-36.7, std::exp(36.7)},          // just below 2^53
        {-36.75, 1e8},                    // just above 2^53: 1 no longer counts
        {-40.0, 1e8},
        {-1e6, 1e8},                      // e^z is infinite
        {800.0, 0.0},                     // e^-800 underflows to 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.z);
        EXPECT_EQ(exp_loss(c.z), c.loss);
        EXPECT_EQ(exp_loss_derivative(c.z), -c.loss);
    }
}

TEST(Edgemark, GradientMatchesCentralDifferences)
{
    struct Case { int kernel; double p0, p1; };
    for (const Case& c : {Case{1, 2.0, 1.0}, Case{2, 0.8, 0.0}, Case{1, 3.0, 0.5}}) {
        SCOPED_TRACE(c.kernel);
        HandModel m(9, 3, c.kernel, c.p0, c.p1, 11 + c.kernel);
        ASSERT_EQ(edgemark_alloc_work(9), 1);
        std::vector<double> u = m.coefficients, g(9);
        edgemark_gradient(u.data(), 10.0, m.cls, g.data());
        for (int k = 0; k < 9; k++) {
            double h = 1e-6;
            std::vector<double> up = u, down = u;
            up[k] += h;
            down[k] -= h;
            double fd = (edgemark_objective(up.data(), 10.0, m.cls) -
                         edgemark_objective(down.data(), 10.0, m.cls)) / (2 * h);
            EXPECT_NEAR(g[k], fd, 1e-6 * (1.0 + std::fabs(fd))) << k;
        }
        edgemark_free_work();
    }
}

// Six rows, two features, two classes (the label 2.7 counts as 2).
TestDatabase& six_rows()
{
    static TestDatabase db(6, 3, {0.5, 1, 1,   1, 0.2, 1,   0.1, 0.9, 1,
                                  -1, -0.5, 2, -0.7, -1, 2.7, -0.2, -0.8, 2});
    return db;
}

// Writes an init file of db, changes its settings, and returns its path.
std::string init_file(ScratchFolder& folder, TestDatabase& db,
                      const std::vector<std::pair<std::string, std::string>>& settings)
{
    std::string file = folder.path("init.xml");
    int type;
    void* done = call_script(EDGEMARKMakeInit, {matrix_argument(db), string_argument(file)}, &type);
    EXPECT_EQ(done, reinterpret_cast<void*>(1));
    std::string text = read_text(file);
    for (const auto& s : settings)
        text = with_attribute(text, s.first, s.second);
    write_text(file, text);
    return file;
}

std::string learn(const std::string& init, const std::string& model, const char* options,
                  void** result)
{
    std::vector<TestArgument> args = {string_argument(init), string_argument(model)};
    if (options)
        args.push_back(string_argument(options));
    int type = VALUE_EMPTY;
    return call_captured(EDGEMARKLearn, args, result, &type);
}

// The first iteration from u = 0 done by hand: g_k = -sum_j K(j, k) y_j, d =
// -g, trial steps 1, 1/2, 1/4, ... until f(0) + lambda * 0.1 * d.g >= f(lambda d).
TEST(Edgemark, FirstIterationMatchesAnIndependentStep)
{
    ScratchFolder folder;
    std::string init = init_file(folder, six_rows(),
                                 {{"max_iter_num", "1"}, {"max_armijo_iter_num", "0"},
                                  {"armijo_multiplier", "0.5"}});
    std::string model = folder.path("model.xml");
    void* result;
    std::string printed = learn(init, model, "kernel=exponential sigma=0.7", &result);
    ASSERT_EQ(result, reinterpret_cast<void*>(1)) << printed;
    std::string text = read_text(model);
    const std::vector<double>& v = six_rows().values;
    const int n = 6;
    for (int c = 1; c <= 2; c++) {
        SCOPED_TRACE(c);
        std::vector<double> y(n), d(n, 0.0);
        for (int i = 0; i < n; i++)
            y[i] = static_cast<int>(v[i * 3 + 2]) == c ? 1.0 : -1.0;
        auto K = [&](int i, int j) { return test_kernel(&v[i * 3], &v[j * 3], 2, 2, 0.7, 0); };
        for (int k = 0; k < n; k++)
            for (int j = 0; j < n; j++)
                d[k] += K(j, k) * y[j];
        double slope = 0.0;
        for (int k = 0; k < n; k++)
            slope -= 0.1 * d[k] * d[k];
        auto f = [&](double lambda) {
            double sum = 0.0;
            for (int i = 0; i < n; i++) {
                double s = 0.0;
                for (int j = 0; j < n; j++)
                    s += K(i, j) * lambda * d[j];
                sum += std::exp(-y[i] * s);
            }
            return sum;
        };
        double lambda = 1.0;
        while (n + lambda * slope < f(lambda))
            lambda *= 0.5;
        std::vector<double> u = numbers_of(attribute_of(text, "edgemark", c, "u"));
        ASSERT_EQ(u.size(), 6u);
        for (int k = 0; k < n; k++)
            EXPECT_NEAR(u[k], lambda * d[k], 1e-9 * (1 + std::fabs(d[k])));
    }
    EXPECT_EQ(count_of(printed, "(0) fnew="), 2);
    EXPECT_EQ(count_of(printed, "(1) fnew="), 0);
}

// The whole kernel matrix kept, or asked of the kernel record with a cache
// of any size: the same trained numbers, to the last digit written.
TEST(Edgemark, KeptKernelAndCacheGiveTheSameModel)
{
    ScratchFolder folder;
    std::string init = init_file(folder, six_rows(), {{"max_iter_num", "20"}});
    auto model_text = [&](long long budget, const char* options) {
        set_kept_kernel_budget(budget);
        std::string model = folder.path("model.xml");
        void* result;
        learn(init, model, options, &result);
        set_kept_kernel_budget(1LL << 30);
        EXPECT_EQ(result, reinterpret_cast<void*>(1));
        return read_text(model);
    };
    std::string kept = model_text(1LL << 30, "kernel=exponential sigma=0.8");
    for (const char* cache : {"", " cachesize=-1", " cachesize=7", " cachesize=36", " cachesize=1000"}) {
        SCOPED_TRACE(cache);
        std::string options = std::string("kernel=exponential sigma=0.8") + cache;
        EXPECT_EQ(model_text(0, options.c_str()), kept);
    }
    EXPECT_NE(model_text(0, "kernel=exponential sigma=0.9"), kept);
}

TEST(Edgemark, InitFileIsExact)
{
    ScratchFolder folder;
    TestDatabase db(3, 3, {0.5, 1, 1, -2, 0.25, 2.7, 3, 4, 2});
    std::string text = read_text(init_file(folder, db, {}));
    std::string kernel = "\t\t\t\t<kernel\n\t\t\t\t   function=\"polynomial\"\n\t\t\t\t   degree=\"3\"/>\n";
    std::string expected =
        "<edgemark_classifier>\n\t<history>\n\t\t<item\n\t\t   creation_time=\"TIME\"/>\n"
        "\t</history>\n\t<initial_settings>\n\t\t<learning\n\t\t   nu=\"1.00\"\n"
        "\t\t   alpha=\"10.0\"\n\t\t   max_iter_num=\"100\"\n\t\t   max_armijo_iter_num=\"50\"\n"
        "\t\t   armijo_multiplier=\"0.1\"\n\t\t   armijo_delta=\"0.1\"\n\t\t   max_step_size=\"2\"\n"
        "\t\t   m_for_lbfgs=\"100\"\n\t\t   grad_threshold=\"1e-6\"/>\n\t</initial_settings>\n"
        "\t<parameters>\n\t\t<edgemark_definition\n\t\t   dimension=\"2\"\n"
        "\t\t   num_of_classes=\"2\"\n\t\t   rows_in_database=\"3\">\n"
        "\t\t\t<edgemark\n\t\t\t   classID=\"1\"\n\t\t\t   u=\"0 0 0 \">\n" + kernel +
        "\t\t\t</edgemark>\n\t\t\t<edgemark\n\t\t\t   classID=\"2\"\n\t\t\t   u=\"0 0 0 \">\n" +
        kernel + "\t\t\t</edgemark>\n\t\t</edgemark_definition>\n\t\t<A>\n"
        "\t\t\t<row\n\t\t\t   ID=\"1\"\n\t\t\t   data=\"0.5 1\"\n\t\t\t   classID=\"1\"/>\n"
        "\t\t\t<row\n\t\t\t   ID=\"2\"\n\t\t\t   data=\"-2 0.25\"\n\t\t\t   classID=\"2\"/>\n"
        "\t\t\t<row\n\t\t\t   ID=\"3\"\n\t\t\t   data=\"3 4\"\n\t\t\t   classID=\"2\"/>\n"
        "\t\t</A>\n\t</parameters>\n</edgemark_classifier>";
    EXPECT_EQ(with_attribute(text, "creation_time", "TIME"), expected);
}

TEST(Edgemark, OptionsRewriteEveryKernelElement)
{
    struct Case { const char* options; std::string kernel; };
    const std::string untouched = "function=\"polynomial\" degree=\"3\"";
    const Case cases[] = {
        {"kernel=poly", "function=\"polynomial\" degree=\"3\" delta=\"1\""},
        {"kernel=exponential sigma=0.5", "function=\"exponential\" sigma=\"0.5\""},
        {"kernel=linear cachesize=40", "function=\"linear\""},
        {"kernel=user kernelparam3=7", "function=\"user\" param1=\"0\" param2=\"0\" "
                                       "param3=\"7\" param4=\"0\" param5=\"0\""},
        {"kernel=rbf", untouched},
        {"kernelparam1=2 kernel=user", untouched},
        {"cachesize=100000", untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        ScratchFolder folder;
        std::string init = init_file(folder, six_rows(), {{"max_iter_num", "1"}});
        std::string model = folder.path("model.xml");
        void* result;
        learn(init, model, c.options, &result);
        ASSERT_EQ(result, reinterpret_cast<void*>(1));
        EXPECT_EQ(kernel_elements(read_text(model)), c.kernel + "\n" + c.kernel + "\n");
        EXPECT_EQ(kernel_elements(read_text(init)), untouched + "\n" + untouched + "\n");
    }
}

struct LoaderCase {
    const char* name;
    std::string from, to;  // one replacement in the init file's text
    std::string message;   // the last line printed
    bool fatal;
    const char* options = nullptr;  // Learn's option string
    std::string from2 = "", to2 = "";  // a second replacement, when not empty
};

TEST(Edgemark, LoaderRefusesInconsistentFiles)
{
    const std::string not_whole = " holds a value that is not a whole number\n";
    const std::string not_finite = " holds a value that is not a finite number\n";
    const LoaderCase cases[] = {
        {"short u", "u=\"0 0 0 0 0 0 \">", "u=\"0 0 0 0 0 \">", "Error setting u, class 1\n", false},
        {"missing class", "num_of_classes=\"2\"", "num_of_classes=\"3\"", "Error setting u, class 3\n", false},
        {"classes claimed by the billion", "num_of_classes=\"2\"", "num_of_classes=\"2000000000\"",
         "Error setting u, class 3\n", false, "kernel=linear"},
        {"no classes", "num_of_classes=\"2\"", "num_of_classes=\"0\"", "error with the number of classes.", true},
        {"negative classes", "num_of_classes=\"2\"", "num_of_classes=\"-2\"", "error with the number of classes.", true},
        {"zero dimension", "dimension=\"2\"", "dimension=\"0x0\"", "bad dimension", true},
        {"negative rows", "rows_in_database=\"6\"", "rows_in_database=\"-6\"", "number of vectors in the database:bad number", true},
        {"long row", "data=\"1 0.2\"", "data=\"1 0.2 3\"", "Error setting A, row 1\n", true},
        {"rows missing", "rows_in_database=\"6\"", "rows_in_database=\"600000000\"", "Error setting A, row 6\n", true},
        {"class out of range", "data=\"0.1 0.9\"\n\t\t\t   classID=\"1\"", "data=\"0.1 0.9\"\n\t\t\t   classID=\"3\"", "Error setting A, row 2\n", true},
        {"class zero", "data=\"0.1 0.9\"\n\t\t\t   classID=\"1\"", "data=\"0.1 0.9\"\n\t\t\t   classID=\"0\"", "Error setting A, row 2\n", true},
        // Two faults: the one met first in reading order decides.
        {"missing class, no dimension", "num_of_classes=\"2\"", "num_of_classes=\"3\"", "bad dimension", true,
         nullptr, "dimension=\"2\"", "dimension=\"0\""},
        {"missing class, no rows", "num_of_classes=\"2\"", "num_of_classes=\"3\"", "number of vectors in the database:bad number", true,
         nullptr, "rows_in_database=\"6\"", "rows_in_database=\"0\""},
        {"missing class, long row", "num_of_classes=\"2\"", "num_of_classes=\"3\"", "Error setting A, row 1\n", true,
         nullptr, "data=\"1 0.2\"", "data=\"1 0.2 3\""},
        {"short u, then a missing class", "num_of_classes=\"2\"", "num_of_classes=\"3\"", "Error setting u, class 1\n", false,
         nullptr, "u=\"0 0 0 0 0 0 \">", "u=\"0 0 0 0 0 \">"},
        {"long row, then rows missing", "rows_in_database=\"6\"", "rows_in_database=\"600000000\"", "Error setting A, row 1\n", true,
         nullptr, "data=\"1 0.2\"", "data=\"1 0.2 3\""},
        // Numbers that are not numbers, or not finite: refused, naming the
        // element, before anything is trained.
        {"u of nan", "u=\"0 0 0 0 0 0 \">", "u=\"nan 0 0 0 0 0\">",
         "edgemarkLearn: inconsistent file: \"u\" of \"edgemark\" 1 holds a value that is not a finite number\n", false},
        {"u of text", "u=\"0 0 0 0 0 0 \">", "u=\"0 0 0 abc 0 0\">",
         "edgemarkLearn: inconsistent file: \"u\" of \"edgemark\" 1 holds a value that is not a finite number\n", false},
        {"u of a number and text", "u=\"0 0 0 0 0 0 \">", "u=\"0 0 0 0 0 1x\">",
         "edgemarkLearn: inconsistent file: \"u\" of \"edgemark\" 1 holds a value that is not a finite number\n", false},
        {"data of inf", "data=\"1 0.2\"", "data=\"1 inf\"",
         "edgemarkLearn: inconsistent file: \"data\" of \"row\" 2 of \"A\" holds a value that is not a finite number\n", false},
        {"data of 1e999", "data=\"1 0.2\"", "data=\"1e999 0.2\"",
         "edgemarkLearn: inconsistent file: \"data\" of \"row\" 2 of \"A\" holds a value that is not a finite number\n", false},
        {"classID of text", "data=\"0.1 0.9\"\n\t\t\t   classID=\"1\"", "data=\"0.1 0.9\"\n\t\t\t   classID=\"one\"",
         "edgemarkLearn: inconsistent file: \"classID\" of \"row\" 3 of \"A\"" + not_whole, false},
        {"dimension of text", "dimension=\"2\"", "dimension=\"two\"",
         "edgemarkLearn: inconsistent file: \"dimension\" of \"edgemark_definition\"" + not_whole, false},
        {"empty class count", "num_of_classes=\"2\"", "num_of_classes=\"\"",
         "edgemarkLearn: inconsistent file: \"num_of_classes\" of \"edgemark_definition\"" + not_whole, false},
        // Whole numbers are read as the numbers their texts are, and only
        // they: "0x10" is 16 and "1e3" is 1000 (too many classes for the
        // file), "1.5" and "1e300" are refused.
        {"classes of 0x3", "num_of_classes=\"2\"", "num_of_classes=\"0x3\"", "Error setting u, class 3\n", false},
        {"classes of 1e3", "num_of_classes=\"2\"", "num_of_classes=\"1e3\"", "Error setting u, class 3\n", false},
        {"dimension of 1.5", "dimension=\"2\"", "dimension=\"1.5\"",
         "edgemarkLearn: inconsistent file: \"dimension\" of \"edgemark_definition\"" + not_whole, false},
        {"rows of 1e300", "rows_in_database=\"6\"", "rows_in_database=\"1e300\"",
         "edgemarkLearn: inconsistent file: \"rows_in_database\" of \"edgemark_definition\"" + not_whole, false},
        {"classID of 1.5", "data=\"0.1 0.9\"\n\t\t\t   classID=\"1\"", "data=\"0.1 0.9\"\n\t\t\t   classID=\"1.5\"",
         "edgemarkLearn: inconsistent file: \"classID\" of \"row\" 3 of \"A\"" + not_whole, false},
        {"classID of 0x3", "data=\"0.1 0.9\"\n\t\t\t   classID=\"1\"", "data=\"0.1 0.9\"\n\t\t\t   classID=\"0x3\"", "Error setting A, row 2\n", true},
        // Kernels that cannot be used; a missing kernel child is linear.
        {"unknown kernel name", "function=\"polynomial\"", "function=\"gauss\"",
         "edgemarkLearn: inconsistent file: \"function\" of the \"kernel\" of \"edgemark\" 1 names no kernel type\n", false},
        {"empty kernel name", "function=\"polynomial\"", "function=\"\"",
         "edgemarkLearn: inconsistent file: \"function\" of the \"kernel\" of \"edgemark\" 1 names no kernel type\n", false},
        {"exponential without a width", "function=\"polynomial\"", "function=\"exponential\"",
         "edgemarkLearn: inconsistent file: \"sigma\" of the \"kernel\" of \"edgemark\" 1 gives the exponential kernel no width\n", false},
        {"exponential of width 1e-200", "function=\"polynomial\"", "function=\"exponential\"",
         "edgemarkLearn: inconsistent file: \"sigma\" of the \"kernel\" of \"edgemark\" 1 gives the exponential kernel no width\n", false,
         nullptr, "degree=\"3\"", "sigma=\"1e-200\""},
        {"degree of inf", "degree=\"3\"", "degree=\"inf\"",
         "edgemarkLearn: inconsistent file: \"degree\" of the \"kernel\" of \"edgemark\" 1" + not_finite, false},
        {"degree of nan", "degree=\"3\"", "degree=\"nan\"",
         "edgemarkLearn: inconsistent file: \"degree\" of the \"kernel\" of \"edgemark\" 1 holds a value that is not a finite number\n", false},
        {"setting of text", "max_iter_num=\"1\"", "max_iter_num=\"many\"",
         "edgemarkLearn: inconsistent file: \"max_iter_num\" of \"learning\"" + not_whole, false},
        {"setting of inf", "armijo_delta=\"0.1\"", "armijo_delta=\"-inf\"",
         "edgemarkLearn: inconsistent file: \"armijo_delta\" of \"learning\" holds a value that is not a finite number\n", false},
    };
    for (const LoaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder folder;
        std::string init = init_file(folder, six_rows(), {{"max_iter_num", "1"}});
        std::string text = read_text(init);
        size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, c.from.size(), c.to);
        if (!c.from2.empty()) {
            at = text.find(c.from2);
            ASSERT_NE(at, std::string::npos);
            text.replace(at, c.from2.size(), c.to2);
        }
        write_text(init, text);
        std::string model = folder.path("model.xml");
        void* result;
        if (c.fatal) {
            std::string pattern = c.message.substr(0, c.message.find('\n'));
            EXPECT_EXIT(
                {
                    int t;
                    call_script(EDGEMARKLearn, {string_argument(init), string_argument(model)}, &t);
                },
                testing::ExitedWithCode(1), pattern);
        } else {
            std::string printed = learn(init, model, c.options, &result);
            EXPECT_EQ(result, nullptr);
            EXPECT_EQ(printed.substr(printed.size() - c.message.size()), c.message);
        }
        EXPECT_FALSE(file_exists(model));
    }
}

// The learning settings: whole numbers read as their texts are, and each
// setting within its range, or the call is refused before anything is
// loaded or trained. iterations: each class's iterations when trained.
TEST(Edgemark, LearningSettingsAreCheckedBeforeTraining)
{
    struct Case { const char* attribute; const char* value; int iterations; std::string message; };
    const std::string setting = "edgemarkLearn: \"";
    const std::string not_whole = "\" of \"learning\" holds a value that is not a whole number\n";
    const Case cases[] = {
        {"max_iter_num", "0x2", 2, ""},
        {"max_iter_num", "3e0", 3, ""},
        {"m_for_lbfgs", "1e1", 2, ""},
        {"max_iter_num", "1.5", 0, "edgemarkLearn: inconsistent file: \"max_iter_num" + not_whole},
        {"max_armijo_iter_num", "1e300", 0,
         "edgemarkLearn: inconsistent file: \"max_armijo_iter_num" + not_whole},
        {"max_iter_num", "-1", 0, setting + "max_iter_num\" of \"learning\" must be 0 or more\n"},
        {"max_armijo_iter_num", "-1", 0,
         setting + "max_armijo_iter_num\" of \"learning\" must be 0 or more\n"},
        {"m_for_lbfgs", "-1", 0, setting + "m_for_lbfgs\" of \"learning\" must be 0 or more\n"},
        {"armijo_multiplier", "0", 0,
         setting + "armijo_multiplier\" of \"learning\" must be greater than 0 and less than 1\n"},
        {"armijo_multiplier", "1", 0,
         setting + "armijo_multiplier\" of \"learning\" must be greater than 0 and less than 1\n"},
        {"armijo_multiplier", "2", 0,
         setting + "armijo_multiplier\" of \"learning\" must be greater than 0 and less than 1\n"},
        {"armijo_delta", "0", 0,
         setting + "armijo_delta\" of \"learning\" must be greater than 0 and less than 1\n"},
        {"armijo_delta", "1", 0,
         setting + "armijo_delta\" of \"learning\" must be greater than 0 and less than 1\n"},
        {"nu", "-1", 0, setting + "nu\" of \"learning\" must be 0 or more\n"},
        {"alpha", "0", 0, setting + "alpha\" of \"learning\" must be greater than 0\n"},
        {"max_step_size", "0", 0, setting + "max_step_size\" of \"learning\" must be greater than 0\n"},
        {"max_step_size", "-1", 0, setting + "max_step_size\" of \"learning\" must be greater than 0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.attribute) + "=" + c.value);
        ScratchFolder folder;
        std::string init = init_file(folder, six_rows(), {{"max_iter_num", "2"}, {c.attribute, c.value}});
        std::string model = folder.path("model.xml");
        void* result;
        std::string printed = learn(init, model, nullptr, &result);
        if (!c.message.empty()) {
            EXPECT_EQ(printed, c.message);
            EXPECT_EQ(result, nullptr);
            EXPECT_FALSE(file_exists(model));
            continue;
        }
        EXPECT_EQ(result, reinterpret_cast<void*>(1));
        std::string last = "(" + std::to_string(c.iterations - 1) + ") fnew=";
        EXPECT_EQ(count_of(printed, last), 2);
        EXPECT_EQ(count_of(printed, "(" + std::to_string(c.iterations) + ") fnew="), 0);
    }
}

// Learn refuses, before it reads or trains anything, options it cannot use
// and a model file it could not write; an earlier model stays as it was.
TEST(Edgemark, LearnRefusesBeforeTraining)
{
    ScratchFolder folder;
    std::string init = init_file(folder, six_rows(), {{"max_iter_num", "1"}});
    std::string model = folder.path("model.xml");
    write_text(model, "<earlier/>");
    const std::string p = "edgemarkLearn: ";
    struct Case { const char* options; std::string message; };
    const Case cases[] = {
        {"kernel=exp sigma=0", p + "sigma gives the exponential kernel no width\n"},
        {"kernel=exponential sigma=1e-170", p + "sigma gives the exponential kernel no width\n"},
        {"kernel=poly degree=inf", p + "the option degree (\"inf\") is not a finite number\n"},
        {"kernel=user kernelparam2=nan", p + "the option kernelparam2 (\"nan\") is not a finite number\n"},
        {"kernel=poly degree", p + "the option degree (\"\") is not a finite number\n"},
        {"kernel=exp sigma=abc", p + "the option sigma (\"abc\") is not a finite number\n"},
        {"cachesize=1.5", p + "cachesize must be a whole number within the range of an int\n"},
        {"kernel=lin cachesize=1e300", p + "cachesize must be a whole number within the range of an int\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        void* result;
        EXPECT_EQ(learn(init, model, c.options, &result), c.message);
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(read_text(model), "<earlier/>");
    }
    for (const UnwritableOutput& o : unwritable_outputs(folder)) {
        SCOPED_TRACE(o.path);
        void* result;
        EXPECT_EQ(learn(init, o.path, nullptr, &result),
                  p + "the model file '" + o.path + "' cannot be written: " + o.why +
                      "; nothing is trained\n");
        EXPECT_EQ(result, nullptr);
        expect_output_untouched(o);
    }
    // Accepted forms of the same options train.
    void* result;
    learn(init, model, "kernel=exp sigma=-0.5 cachesize=0x10", &result);
    EXPECT_EQ(result, reinterpret_cast<void*>(1));
    EXPECT_NE(read_text(model).find("sigma=\"-0.5\""), std::string::npos);
}

TEST(Edgemark, EvaluateGivesSignsAndLabels)
{
    ScratchFolder folder;
    std::string init = init_file(folder, six_rows(), {});
    int type;
    void* result;
    // Zero coefficients: every decision value is 0, which counts as +1.
    DataMatrix* out = static_cast<DataMatrix*>(call_script(
        EDGEMARKEvaluate, {string_argument(init), matrix_argument(six_rows())}, &type));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(type, VALUE_MATRIX);
    ASSERT_EQ(out->rows, 6);
    ASSERT_EQ(out->cols, 3);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(out->data[i * 3], 1.0);
        EXPECT_EQ(out->data[i * 3 + 1], 1.0);
        EXPECT_EQ(out->data[i * 3 + 2], six_rows().values[i * 3 + 2]);
    }
    matrix_free(out);
    // Trained: the two well separated groups are told apart.
    std::string model = folder.path("model.xml");
    learn(init, model, "kernel=exponential sigma=1", &result);
    out = static_cast<DataMatrix*>(call_script(
        EDGEMARKEvaluate, {string_argument(model), matrix_argument(six_rows())}, &type));
    ASSERT_NE(out, nullptr);
    for (int i = 0; i < 6; i++) {
        double own = i < 3 ? 1.0 : -1.0;
        EXPECT_EQ(out->data[i * 3], own) << i;
        EXPECT_EQ(out->data[i * 3 + 1], -own) << i;
    }
    matrix_free(out);
    // A database of another width: a message naming both counts, no result.
    TestDatabase wide(2, 4, {1, 2, 3, 1, 4, 5, 6, 2});
    std::string printed = call_captured(
        EDGEMARKEvaluate, {string_argument(model), matrix_argument(wide)}, &result, &type);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(type, VALUE_EMPTY);
    EXPECT_NE(printed.find("edgemarkEvaluate: the database has 3 feature columns, the model's "
                           "dimension is 2\n"), std::string::npos);
}

// A result that would hold a value that is not finite is no result: the
// kernel (x.y)^0.5 of rows with a negative inner product (row 1 with row
// 4), coefficients that are not finite, or a database row that is not.
TEST(Edgemark, ValuesThatAreNotFiniteGiveNoResult)
{
    struct Case {
        const char* name;
        std::string from, to;  // one replacement in the init file's text
        bool learn;            // Learn (else Evaluate of the init file itself)
        double feature;        // row 2's first feature in the evaluated database
        std::string message;   // the last line printed
    };
    const std::string degree = "degree=\"3\"", half = "degree=\"0.5\"";
    const Case cases[] = {
        {"Learn, kernel", degree, half, true, 1.0,
         "edgemarkLearn: class 1 is not trained: no model file is written\n"},
        {"Evaluate, kernel", degree, half, false, 1.0,
         "edgemarkEvaluate: the kernel gives a value that is not a finite number for row 1\n"},
        {"Evaluate, u", "u=\"0 0 0 0 0 0 \">", "u=\"0 0 0 0 0 inf\">", false, 1.0,
         "edgemarkEvaluate: inconsistent file: \"u\" of \"edgemark\" 1 holds a value that is not "
         "a finite number\n"},
        {"Evaluate, database", degree, degree, false, NAN,
         "edgemarkEvaluate: the kernel gives a value that is not a finite number for row 2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder folder;
        std::string init = init_file(folder, six_rows(), {{"max_iter_num", "2"}});
        std::string text = read_text(init);
        text.replace(text.find(c.from), c.from.size(), c.to);
        write_text(init, text);
        std::string model = folder.path("model.xml");
        void* result = nullptr;
        int type = VALUE_EMPTY;
        std::string printed;
        if (c.learn) {
            printed = learn(init, model, nullptr, &result);
        } else {
            TestDatabase db(6, 3, six_rows().values);
            db.values[3] = c.feature;
            printed = call_captured(EDGEMARKEvaluate, {string_argument(init), matrix_argument(db)},
                                    &result, &type);
            EXPECT_EQ(type, VALUE_EMPTY);
        }
        EXPECT_EQ(result, nullptr);
        EXPECT_FALSE(file_exists(model));
        EXPECT_EQ(read_text(init), text);
        ASSERT_GE(printed.size(), c.message.size());
        EXPECT_EQ(printed.substr(printed.size() - c.message.size()), c.message);
    }
}

// A database of another width is refused only once the file itself has
// been read: a fault of the file is reported as without the database.
TEST(Edgemark, EvaluateOfAnotherWidthAfterTheFilesOwnFaults)
{
    TestDatabase wide(2, 4, {1, 2, 3, 1, 4, 5, 6, 2});
    struct Case { std::string from, to, message; bool fatal; };
    const Case cases[] = {
        {"u=\"0 0 0 0 0 0 \">", "u=\"0 0 0 0 0 \">", "Error setting u, class 1\n", false},
        {"data=\"1 0.2\"", "data=\"1 0.2 3\"", "Error setting A, row 1", true},
        {"data=\"0.1 0.9\"\n\t\t\t   classID=\"1\"", "data=\"0.1 0.9\"\n\t\t\t   classID=\"5\"",
         "Error setting A, row 2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ScratchFolder folder;
        std::string init = init_file(folder, six_rows(), {});
        std::string text = read_text(init);
        size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos);
        write_text(init, text.replace(at, c.from.size(), c.to));
        if (c.fatal) {
            EXPECT_EXIT(
                {
                    int t;
                    call_script(EDGEMARKEvaluate, {string_argument(init), matrix_argument(wide)}, &t);
                },
                testing::ExitedWithCode(1), c.message);
            continue;
        }
        void* result;
        int type;
        std::string printed = call_captured(
            EDGEMARKEvaluate, {string_argument(init), matrix_argument(wide)}, &result, &type);
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(printed.substr(printed.size() - c.message.size()), c.message);
        EXPECT_EQ(printed.find("feature columns"), std::string::npos);
    }
}

TEST(Edgemark, MakeInitRefusals)
{
    ScratchFolder folder;
    std::string file = folder.path("init.xml");
    TestDatabase nan(2, 3, {1, NAN, 1, 2, 2, 2});
    TestDatabase zero(2, 3, {1, 1, 1, 2, 2, 0});
    TestDatabase narrow(2, 1, {1, 2});
    struct Case { std::vector<TestArgument> args; std::string message; };
    const Case cases[] = {
        {{matrix_argument(six_rows())}, "edgemarkakeInit: there must be at least 2 parameters\n"},
        {{string_argument(file), string_argument(file)},
         "edgemarkMakeInit: 1st parameter must be a Matrix (a database matrix)\n"},
        {{matrix_argument(six_rows()), matrix_argument(six_rows())},
         "edgemarkMakeInit: 2nd parameter must be a String (initfile name)\n"},
        {{matrix_argument(six_rows()), string_argument(file), number_argument()},
         "edgemarkMakeInit: 3nd parameter must be a String (parameter name = value)\n"},
        {{matrix_argument(nan), string_argument(file)},
         "edgemarkMakeInit: the value in row 1, column 2 is not a finite number\n"},
        {{matrix_argument(zero), string_argument(file)},
         "edgemarkMakeInit: the class label in row 2 is not a whole number of 1 or more\n"},
        {{matrix_argument(narrow), string_argument(file)},
         "edgemarkMakeInit: the database matrix has no feature column\n"},
    };
    for (const Case& c : cases) {
        void* result;
        int type;
        EXPECT_EQ(call_captured(EDGEMARKMakeInit, c.args, &result, &type), c.message);
        EXPECT_EQ(result, nullptr);
        EXPECT_FALSE(file_exists(file));
    }    for (const UnwritableOutput& o : unwritable_outputs(folder)) {
        void* result;
        int type;
        EXPECT_EQ(call_captured(EDGEMARKMakeInit, {matrix_argument(six_rows()), string_argument(o.path)},
                                &result, &type),
                  "edgemarkMakeInit: the init file '" + o.path + "' cannot be written: " + o.why + "\n");
        EXPECT_EQ(result, nullptr);
        expect_output_untouched(o);
    }
}

// f(v) = sum_i (i + 1) v_i^2 from v = (1, 1, 1): a descent that must end
// whatever the line-search settings, also without any iteration limit.
double bowl(const double* v, void*)
{
    return v[0] * v[0] + 2 * v[1] * v[1] + 3 * v[2] * v[2];
}

void bowl_gradient(const double* v, double* g, void*)
{
    for (int i = 0; i < 3; i++)
        g[i] = 2 * (i + 1) * v[i];
}

void quiet_report(const double*, double, void*) {}

TEST(Descent, EndsOnAnyLineSearchSettings)
{
    struct Case { double multiplier; int maxIter; double threshold; bool converges; };
    const Case cases[] = {
        {0.5, 0, 0.0, true},     // no limits: ends once a step changes nothing
        {0.4, 200, 1e-9, true},
        {1.0, 0, 0.0, false},    // lambda never shrinks
        {2.0, 0, 0.0, false},    // lambda grows
        {0.0, 0, 0.0, false},    // lambda is 1/0, then NaN
        {NAN, 0, 0.0, false},
        {-1.0, 0, 0.0, false},   // lambda flips sign without shrinking
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.multiplier);
        std::vector<double> v = {1, 1, 1};
        DescentProblem p = {3, v.data(), bowl, bowl_gradient, quiet_report, nullptr, 1.0, false};
        LearningSettings s;
        s.armijoMultiplier = c.multiplier;
        s.maxIter = c.maxIter;
        s.gradThreshold = c.threshold;
        s.m = 5;
        testing::internal::CaptureStderr();
        EXPECT_EQ(descend(p, s), 1);
        testing::internal::GetCapturedStderr();
        if (c.converges) {
            EXPECT_LT(bowl(v.data(), nullptr), 1e-12);
        }
    }
}

// With a trial budget every trial step is taken in turn, whether lambda
// shrinks or not: v^2 from 1 along d = -2 fails the decrease test at every
// step below, so the search runs to its budget and keeps the last trial.
TEST(Descent, ATrialBudgetTakesEveryStepItAllows)
{
    auto f = [](const double* v, void*) { return v[0] * v[0]; };
    auto g = [](const double* v, double* out, void*) { out[0] = 2 * v[0]; };
    struct Case { double multiplier; int trials; const char* lambdas; double last; };
    const Case cases[] = {
        {2.0, 3, "Lambda:1.000000\nLambda:2.000000\nLambda:4.000000\n", 1.0 - 4 * 2},
        {1.0, 3, "Lambda:1.000000\nLambda:1.000000\nLambda:1.000000\n", 1.0 - 2},
        {-1.0, 2, "Lambda:1.000000\nLambda:-1.000000\n", 1.0 + 2},
        {4.0, 1, "Lambda:1.000000\n", 1.0 - 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.multiplier);
        std::vector<double> v = {1.0};
        DescentProblem p = {1, v.data(), f, g, quiet_report, nullptr, 1.0, false};
        LearningSettings s;
        s.armijoMultiplier = c.multiplier;
        s.maxArmijoIter = c.trials;
        s.maxIter = 1;
        testing::internal::CaptureStderr();
        EXPECT_EQ(descend(p, s), 1);
        std::string printed = testing::internal::GetCapturedStderr();
        std::string lambdas;
        for (size_t at = printed.find("Lambda:"); at != std::string::npos;
             at = printed.find("Lambda:", at + 1))
            lambdas += printed.substr(at, printed.find('\n', at) + 1 - at);
        EXPECT_EQ(lambdas, c.lambdas);
        EXPECT_EQ(v[0], c.last);
    }
}

// Runs descend, expects its result and returns what it printed.
std::string descend_printing(const DescentProblem& p, const LearningSettings& s, int expected)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(descend(p, s), expected);
    return testing::internal::GetCapturedStderr();
}

// One variable from start, one trial step per search, at most maxIter
// iterations, m correction pairs; *end gets the point left. Returns what
// descend printed.
std::string descend_one_trial(double (*f)(const double*, void*),
                              void (*g)(const double*, double*, void*), double start,
                              int maxIter, double* end, int m = 7)
{
    std::vector<double> v = {start};
    DescentProblem p = {1, v.data(), f, g, quiet_report, nullptr, 1.0, false};
    LearningSettings s;
    s.maxArmijoIter = 1;
    s.maxIter = maxIter;
    s.m = m;
    std::string printed = descend_printing(p, s, 1);
    *end = v[0];
    return printed;
}

// v^2, NaN below -1. The first step from 1.5 (lambda 1 along -3) lands on
// -1.5, whose objective is not finite: that point is never taken, also when
// it ends the last iteration (max_iter_num 1), and the class stays at 1.5.
TEST(Descent, NonFiniteObjectiveKeepsTheLastFinitePoint)
{
    auto f = [](const double* v, void*) { return v[0] < -1.0 ? NAN : v[0] * v[0]; };
    auto g = [](const double* v, double* out, void*) { out[0] = 2 * v[0]; };
    for (int maxIter : {1, 10}) {
        SCOPED_TRACE(maxIter);
        double end;
        std::string printed = descend_one_trial(f, g, 1.5, maxIter, &end);
        EXPECT_EQ(count_of(printed, "keeps its last finite coefficients"), 1);
        EXPECT_EQ(count_of(printed, "Lambda:"), 1);
        EXPECT_EQ(end, 1.5);
    }
}

// v^2 from 1 with one trial step per search: the first step, taken
// whatever it gives, lands on -1 with the same objective; the second (the
// pair s = -2, y = -4 scales the gradient -2 by 1/2) lands on 0, where the
// gradient vanishes. A step that does not lower the objective is no reason
// to stop, with or without an iteration limit.
TEST(Descent, AStepThatDoesNotLowerTheObjectiveGoesOn)
{
    auto f = [](const double* v, void*) { return v[0] * v[0]; };
    auto g = [](const double* v, double* out, void*) { out[0] = 2 * v[0]; };
    for (int maxIter : {0, 3}) {
        SCOPED_TRACE(maxIter);
        double end;
        std::string printed = descend_one_trial(f, g, 1.0, maxIter, &end);
        EXPECT_EQ(end, 0.0);
        EXPECT_EQ(count_of(printed, "(1) fnew=0.000"), 1);
    }
}

// Plain steepest descent on v^2 with full steps cycles between 1 and -1 for
// ever; without an iteration limit, 100 steps in a row that go no lower
// than the starting objective end the class.
TEST(Descent, ACycleWithoutAnIterationLimitEnds)
{
    auto f = [](const double* v, void*) { return v[0] * v[0]; };
    auto g = [](const double* v, double* out, void*) { out[0] = 2 * v[0]; };
    double end;
    std::string printed = descend_one_trial(f, g, 1.0, 0, &end, 0);
    EXPECT_EQ(count_of(printed, "Lambda:"), 100);
    EXPECT_EQ(count_of(printed, "no new lowest value in 100 steps"), 1);
    EXPECT_EQ(std::fabs(end), 1.0);
}

// v^2 from 1 along a "gradient" that first throws the point to 100 and then
// pulls it toward 2 by 1% a step: every step after the first lowers the
// objective, but none below the start's 1, so the class ends after 100
// steps, the first included (measured from the first step's 10000 it
// would go on for thousands of steps).
TEST(Descent, TheLowestObjectiveStartsAtTheStartingPoint)
{
    auto f = [](const double* v, void*) { return v[0] * v[0]; };
    auto g = [](const double* v, double* out, void*) {
        out[0] = v[0] < 1.5 ? -99.0 : 0.01 * (v[0] - 2.0);
    };
    double end;
    std::string printed = descend_one_trial(f, g, 1.0, 0, &end, 0);
    EXPECT_EQ(count_of(printed, "Lambda:"), 100);
    EXPECT_EQ(count_of(printed, "no new lowest value in 100 steps"), 1);
    EXPECT_NEAR(end, 2.0 + 98.0 * std::pow(0.99, 99), 1e-9);
}

// m_for_lbfgs 0 keeps no correction pair: each direction is the gradient.
// f = v0^2 + 2 v1^2 from (1, 1) with one trial step: (1, 1) - (2, 4) =
// (-1, -3), then (-1, -3) - (-2, -12) = (1, 9).
TEST(Descent, NoCorrectionPairsIsSteepestDescent)
{
    auto f = [](const double* v, void*) { return v[0] * v[0] + 2 * v[1] * v[1]; };
    auto g = [](const double* v, double* out, void*) {
        out[0] = 2 * v[0];
        out[1] = 4 * v[1];
    };
    std::vector<double> v = {1.0, 1.0};
    DescentProblem p = {2, v.data(), f, g, quiet_report, nullptr, 1.0, false};
    LearningSettings s;
    s.m = 0;
    s.maxArmijoIter = 1;
    s.maxIter = 2;
    std::string printed = descend_printing(p, s, 1);
    EXPECT_EQ(v, (std::vector<double>{1.0, 9.0}));
    EXPECT_EQ(count_of(printed, "out of memory"), 0);
}

// The first start without a finite objective trains nothing: the class
// fails with its coefficients as they were.
TEST(Descent, NonFiniteFirstStartFails)
{
    auto f = [](const double*, void*) -> double { return NAN; };
    auto g = [](const double* v, double* out, void*) { out[0] = 2 * v[0]; };
    std::vector<double> v = {1.0};
    DescentProblem p = {1, v.data(), f, g, quiet_report, nullptr, 1.0, false};
    LearningSettings s;
    std::string printed = descend_printing(p, s, 0);
    EXPECT_NE(printed.find("not finite at the starting coefficients"), std::string::npos);
    EXPECT_EQ(count_of(printed, "Lambda:"), 0);
    EXPECT_EQ(v[0], 1.0);
}

TEST(Descent, StepCapScalesTheLargestComponent)
{
    std::vector<double> d = {4.0, -2.0, 1.0};
    EXPECT_TRUE(cap_direction(d.data(), 3, 1.0));
    EXPECT_EQ(d, (std::vector<double>{1.0, -0.5, 0.25}));
    std::vector<double> small = {1.0, -1.0, 0.5};
    EXPECT_FALSE(cap_direction(small.data(), 3, 1.0));
    EXPECT_EQ(small, (std::vector<double>{1.0, -1.0, 0.5}));
}

// The script functions load with no kernel cache.
int load_edgemark(XMLParser** document, KernelClassModel** classes, const DataMatrix* samples)
{
    return edgemark_load_model(document, classes, samples, 0);
}

const ModelRoutines edgemark_routines = {load_edgemark, edgemark_save_model,
                                         edgemark_free_model, &edgemark_training_rows};

TEST(Edgemark, ModelLoadsTheRowsOnceForEveryClass)
{
    ScratchFolder folder;
    expect_model_loaded(edgemark_routines, init_file(folder, six_rows(), {}), six_rows(), 2);
}

TEST(Edgemark, SavedCoefficientsLoadAgainWithoutABias)
{
    ScratchFolder folder;
    expect_model_round_trip(edgemark_routines, init_file(folder, six_rows(), {}),
                            folder.path("model.xml"), "edgemark", 2, false);
}

TEST(Edgemark, LoadRefusedForSamplesOfAnotherWidthHoldsNothing)
{
    ScratchFolder folder;
    expect_refused_load(edgemark_routines, init_file(folder, six_rows(), {}), 2);
}

}  // namespace
