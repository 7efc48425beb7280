// Smooth support vector machine: the smooth plus function at its edges, the
// gradient against finite differences, the hit count's strict rule, one
// training iteration computed independently (step cap included), and the
// init file's random start.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "plugins/glidemark/model.h"
#include "plugins/glidemark/smooth_svm.h"
#include "support/matrix.h"
#include "support/random.h"
#include "tests/plugins/kernel_classifier_test_helpers.h"

extern "C" void* GLIDEMARKMakeInit(void** values, int* types, int count, int* resultType);
extern "C" void* GLIDEMARKLearn(void** values, int* types, int count, int* resultType);
extern "C" void* GLIDEMARKEvaluate(void** values, int* types, int count, int* resultType);

namespace {

TEST(Glidemark, SmoothPlusAtItsEdges)
{
    struct Case { double x, alpha, value, slope; };
    const Case cases[] = {
        {0.0, 10.0, std::log(2.0) / 10.0, 0.5},
        {-5.0, 10.0, 0.0, 0.0},        // e^50 + 1 rounds to e^50
        {5.0, 10.0, 5.0, 1.0},         // e^-50 + 1 rounds to 1
        {1.0, 1.0, 1.0 + std::log(1.0 + std::exp(-1.0)), 1.0 / (1.0 + std::exp(-1.0))},
        {-1e6, 1.0, 0.0, 0.0},         // e^x is infinite
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_DOUBLE_EQ(smooth_plus(c.x, c.alpha), c.value);
        EXPECT_DOUBLE_EQ(smooth_plus_derivative(c.x, c.alpha), c.slope);
    }
    EXPECT_EQ(smooth_plus(5.0, 10.0), 5.0);
}

TEST(Glidemark, GradientMatchesCentralDifferences)
{
    struct Case { int kernel; double p0, p1, nu, alpha; };
    for (const Case& c : {Case{2, 0.9, 0, 1.0, 10.0}, Case{1, 2.0, 1.0, 3.0, 2.0}}) {
        SCOPED_TRACE(c.kernel);
        HandModel m(8, 2, c.kernel, c.p0, c.p1, 5 + c.kernel);
        ASSERT_EQ(glidemark_alloc_work(8), 1);
        std::vector<double> v = {0.3};
        v.insert(v.end(), m.coefficients.begin(), m.coefficients.end());
        std::vector<double> g(9);
        glidemark_gradient(v[0], v.data() + 1, c.nu, c.alpha, m.cls, g.data());
        for (int k = 0; k < 9; k++) {
            double h = 1e-6;
            std::vector<double> up = v, down = v;
            up[k] += h;
            down[k] -= h;
            double fd = (glidemark_objective(up[0], up.data() + 1, c.nu, c.alpha, m.cls) -
                         glidemark_objective(down[0], down.data() + 1, c.nu, c.alpha, m.cls)) /
                        (2 * h);
            EXPECT_NEAR(g[k], fd, 1e-6 * (1.0 + std::fabs(fd))) << k;
        }
        glidemark_free_work();
    }
}

TEST(Glidemark, HitsCountOnlyRowsStrictlyOnTheirSide)
{
    HandModel m(10, 2, 2, 1.0, 0, 3);
    ASSERT_EQ(glidemark_alloc_work(10), 1);
    std::vector<double> zero(10, 0.0);
    int positives = 0;
    for (double y : m.labels)
        positives += y > 0;
    EXPECT_EQ(glidemark_count_hits(0.0, zero.data(), m.cls), 0);  // every decision value 0
    EXPECT_EQ(glidemark_count_hits(-1.0, zero.data(), m.cls), positives);
    EXPECT_EQ(glidemark_count_hits(1.0, zero.data(), m.cls), 10 - positives);
    glidemark_free_work();
}

TestDatabase& six_rows()
{
    static TestDatabase db(6, 3, {0.5, 1, 1,   1, 0.2, 1,   0.1, 0.9, 1,
                                  -1, -0.5, 2, -0.7, -1, 2.7, -0.2, -0.8, 2});
    return db;
}

std::string make_init(const std::string& file, TestDatabase& db)
{
    int type;
    void* done = call_script(GLIDEMARKMakeInit, {matrix_argument(db), string_argument(file)}, &type);
    EXPECT_EQ(done, reinterpret_cast<void*>(1));
    return read_text(file);
}

// f(gamma, u) of the objective, written out plainly.
double reference_objective(const std::vector<double>& v, const std::vector<double>& K,
                           const std::vector<double>& y)
{
    int n = static_cast<int>(y.size());
    double loss = 0.0, norm = v[0] * v[0];
    for (int i = 0; i < n; i++) {
        double s = 0.0;
        for (int j = 0; j < n; j++)
            s += K[i * n + j] * y[j] * v[j + 1];
        double r = 1.0 - y[i] * (s - v[0]);
        double p = r + std::log(1.0 + std::exp(-10.0 * r)) / 10.0;
        loss += p * p;
        norm += v[i + 1] * v[i + 1];
    }
    return 0.5 * (loss + norm);
}

// The gradient by central differences of the reference objective.
std::vector<double> reference_gradient(const std::vector<double>& v, const std::vector<double>& K,
                                       const std::vector<double>& y)
{
    std::vector<double> g(v.size());
    for (size_t k = 0; k < v.size(); k++) {
        std::vector<double> up = v, down = v;
        up[k] += 1e-6;
        down[k] -= 1e-6;
        g[k] = (reference_objective(up, K, y) - reference_objective(down, K, y)) / 2e-6;
    }
    return g;
}

TEST(Glidemark, FirstIterationMatchesAnIndependentStep)
{
    ScratchFolder folder;
    std::string init = folder.path("init.xml"), model = folder.path("model.xml");
    std::string text = with_attribute(make_init(init, six_rows()), "max_iter_num", "1");
    write_text(init, text);
    int type;
    testing::internal::CaptureStderr();
    void* done = call_script(GLIDEMARKLearn, {string_argument(init), string_argument(model),
                                              string_argument("kernel=exponential sigma=0.7")},
                             &type);
    std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_EQ(done, reinterpret_cast<void*>(1));
    std::string result = read_text(model);
    const std::vector<double>& db = six_rows().values;
    const int n = 6;
    std::vector<double> K(n * n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            K[i * n + j] = test_kernel(&db[i * 3], &db[j * 3], 2, 2, 0.7, 0);
    for (int c = 1; c <= 2; c++) {
        SCOPED_TRACE(c);
        std::vector<double> y(n), v = {1.0};
        for (int i = 0; i < n; i++)
            y[i] = static_cast<int>(db[i * 3 + 2]) == c ? 1.0 : -1.0;
        for (double u : numbers_of(attribute_of(text, "GLIDEMARK", c, "u")))
            v.push_back(u);
        ASSERT_EQ(v.size(), 7u);
        std::vector<double> g = reference_gradient(v, K, y), d(7);
        double largest = 0.0, slope = 0.0;
        for (int k = 0; k < 7; k++)
            largest = std::max(largest, std::fabs(g[k]));
        for (int k = 0; k < 7; k++) {
            d[k] = -g[k] * (largest > 1.0 ? 1.0 / largest : 1.0);
            slope += 0.1 * d[k] * g[k];
        }
        double f0 = reference_objective(v, K, y), lambda = 1.0;
        std::vector<double> trial(7);
        for (int t = 1;; t++, lambda *= 0.4) {
            for (int k = 0; k < 7; k++)
                trial[k] = v[k] + lambda * d[k];
            if (t == 10 || f0 + lambda * slope >= reference_objective(trial, K, y))
                break;
        }
        EXPECT_NEAR(std::stod(attribute_of(result, "GLIDEMARK", c, "gamma")), trial[0], 1e-7);
        std::vector<double> u = numbers_of(attribute_of(result, "GLIDEMARK", c, "u"));
        ASSERT_EQ(u.size(), 6u);
        for (int k = 0; k < n; k++)
            EXPECT_NEAR(u[k], trial[k + 1], 1e-7) << k;
    }
    EXPECT_EQ(count_of(printed, "(0) fnew="), 2);
    EXPECT_NE(printed.find(", hits: "), std::string::npos);
}

TEST(Glidemark, InitFileStartsFromTheGeneratorsSequence)
{
    ScratchFolder folder;
    seed_random15(1);
    std::string first = make_init(folder.path("a.xml"), six_rows());
    std::string second = make_init(folder.path("b.xml"), six_rows());
    seed_random15(1);
    std::string again = make_init(folder.path("c.xml"), six_rows());
    std::string u = attribute_of(first, "GLIDEMARK", 1, "u");
    EXPECT_EQ(u, attribute_of(again, "GLIDEMARK", 1, "u"));
    EXPECT_EQ(u, attribute_of(first, "GLIDEMARK", 2, "u"));
    EXPECT_NE(u, attribute_of(second, "GLIDEMARK", 1, "u"));
    EXPECT_TRUE(std::regex_match(u, std::regex("(-?[0-9]\\.[0-9]{10} ){6}")));
    for (double x : numbers_of(u)) {
        EXPECT_GE(x, -0.5);
        EXPECT_LE(x, 0.5);
    }
    EXPECT_EQ(attribute_of(first, "GLIDEMARK", 1, "gamma"), "1");
    EXPECT_EQ(attribute_of(first, "learning", 1, "max_iter_num"), "500");
    EXPECT_EQ(attribute_of(first, "learning", 1, "grad_threshold"), "0.01");
}

// The whole init file, its time and drawn coefficients set aside: the
// names, the settings' texts and "gamma" between "u" and the kernel.
TEST(Glidemark, InitFileIsExact)
{
    ScratchFolder folder;
    TestDatabase db(3, 3, {0.5, 1, 1, -2, 0.25, 2.7, 3, 4, 2});
    std::string text = make_init(folder.path("init.xml"), db);
    text = with_attribute(with_attribute(text, "creation_time", "TIME"), "u", "U");
    std::string kernel = "\t\t\t\t<kernel\n\t\t\t\t   function=\"polynomial\"\n\t\t\t\t   degree=\"3\"/>\n";
    auto element = [&](int c) {
        return "\t\t\t<GLIDEMARK\n\t\t\t   classID=\"" + std::to_string(c) +
               "\"\n\t\t\t   u=\"U\"\n\t\t\t   gamma=\"1\">\n" + kernel + "\t\t\t</GLIDEMARK>\n";
    };
    std::string expected =
        "<glidemark_classifier>\n\t<history>\n\t\t<item\n\t\t   creation_time=\"TIME\"/>\n"
        "\t</history>\n\t<initial_settings>\n\t\t<learning\n\t\t   nu=\"1.00\"\n"
        "\t\t   alpha=\"10.0\"\n\t\t   max_iter_num=\"500\"\n\t\t   max_armijo_iter_num=\"10\"\n"
        "\t\t   armijo_multiplier=\"0.4\"\n\t\t   armijo_delta=\"0.1\"\n\t\t   max_step_size=\"1\"\n"
        "\t\t   m_for_lbfgs=\"7\"\n\t\t   grad_threshold=\"0.01\"/>\n\t</initial_settings>\n"
        "\t<parameters>\n\t\t<GLIDEMARK_definition\n\t\t   dimension=\"2\"\n"
        "\t\t   num_of_classes=\"2\"\n\t\t   rows_in_database=\"3\">\n" + element(1) + element(2) +
        "\t\t</GLIDEMARK_definition>\n\t\t<A>\n"
        "\t\t\t<row\n\t\t\t   ID=\"1\"\n\t\t\t   data=\"0.5 1\"\n\t\t\t   classID=\"1\"/>\n"
        "\t\t\t<row\n\t\t\t   ID=\"2\"\n\t\t\t   data=\"-2 0.25\"\n\t\t\t   classID=\"2\"/>\n"
        "\t\t\t<row\n\t\t\t   ID=\"3\"\n\t\t\t   data=\"3 4\"\n\t\t\t   classID=\"2\"/>\n"
        "\t\t</A>\n\t</parameters>\n</glidemark_classifier>";
    EXPECT_EQ(text, expected);
}

TEST(Glidemark, EvaluateAfterTraining)
{
    ScratchFolder folder;
    std::string init = folder.path("init.xml"), model = folder.path("model.xml");
    make_init(init, six_rows());
    int type;
    void* result;
    call_captured(GLIDEMARKLearn, {string_argument(init), string_argument(model),
                                   string_argument("kernel=exponential sigma=1")},
                  &result, &type);
    ASSERT_EQ(result, reinterpret_cast<void*>(1));
    call_captured(GLIDEMARKEvaluate, {string_argument(model), matrix_argument(six_rows())},
                  &result, &type);
    DataMatrix* out = static_cast<DataMatrix*>(result);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(type, VALUE_MATRIX);
    ASSERT_EQ(out->rows, 6);
    ASSERT_EQ(out->cols, 3);
    for (int i = 0; i < 6; i++) {
        double own = i < 3 ? 1.0 : -1.0;
        EXPECT_EQ(out->data[i * 3], own) << i;
        EXPECT_EQ(out->data[i * 3 + 1], -own) << i;
        EXPECT_EQ(out->data[i * 3 + 2], six_rows().values[i * 3 + 2]);
    }
    matrix_free(out);
}

// Values that are not finite numbers in the file, a kernel that gives
// none, and a memory of no correction pairs, which is plain steepest
// descent and trains.
TEST(Glidemark, FileValuesKernelValuesAndSettings)
{
    struct Case {
        const char* name;
        const char* attribute;  // every such attribute of the init file...
        const char* value;      // ...gets this value
        bool learn;             // Learn (else Evaluate of the init file)
        std::string message;    // the last line printed; "" for a trained model
    };
    const std::string refused = " holds a value that is not a finite number\n";
    const Case cases[] = {
        {"gamma", "gamma", "nan", true,
         "GLIDEMARKLearn: inconsistent file: \"gamma\" of \"GLIDEMARK\" 1" + refused},
        {"u", "u", "0 0 0 0 0 -inf", true,
         "GLIDEMARKLearn: inconsistent file: \"u\" of \"GLIDEMARK\" 1" + refused},
        {"u, evaluated", "u", "0 0 0 0 0 x", false,
         "GLIDEMARKEvaluate: inconsistent file: \"u\" of \"GLIDEMARK\" 1" + refused},
        {"degree", "degree", "0.5", false,
         "GLIDEMARKEvaluate: the kernel gives a value that is not a finite number for row 1\n"},
        {"no correction pairs", "m_for_lbfgs", "0", true, ""},
        {"class of 1.5", "classID", "1.5", true,
         "GLIDEMARKLearn: inconsistent file: \"classID\" of \"row\" 1 of \"A\" holds a value that "
         "is not a whole number\n"},
        {"unknown kernel", "function", "gauss", true,
         "GLIDEMARKLearn: inconsistent file: \"function\" of the \"kernel\" of \"GLIDEMARK\" 1 "
         "names no kernel type\n"},
        {"exponential without a width", "function", "exponential", false,
         "GLIDEMARKEvaluate: inconsistent file: \"sigma\" of the \"kernel\" of \"GLIDEMARK\" 1 "
         "gives the exponential kernel no width\n"},
        // A negative nu rewards the loss without bound; steps of 0 or less
        // go nowhere.
        {"negative nu", "nu", "-1", true,
         "GLIDEMARKLearn: \"nu\" of \"learning\" must be 0 or more\n"},
        {"no step", "max_step_size", "0", true,
         "GLIDEMARKLearn: \"max_step_size\" of \"learning\" must be greater than 0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder folder;
        std::string init = folder.path("init.xml"), model = folder.path("model.xml");
        std::string text = make_init(init, six_rows());
        text = with_attribute(with_attribute(text, c.attribute, c.value), "max_iter_num", "3");
        write_text(init, text);
        int type;
        void* result;
        std::string printed =
            c.learn ? call_captured(GLIDEMARKLearn, {string_argument(init), string_argument(model)},
                                    &result, &type)
                    : call_captured(GLIDEMARKEvaluate,
                                    {string_argument(init), matrix_argument(six_rows())}, &result,
                                    &type);
        EXPECT_EQ(read_text(init), text);
        if (c.message.empty()) {
            EXPECT_EQ(result, reinterpret_cast<void*>(1));
            EXPECT_EQ(count_of(printed, "out of memory"), 0);
            EXPECT_EQ(numbers_of(attribute_of(read_text(model), "GLIDEMARK", 2, "u")).size(), 6u);
            continue;
        }
        EXPECT_EQ(result, nullptr);
        EXPECT_FALSE(file_exists(model));
        ASSERT_GE(printed.size(), c.message.size());
        EXPECT_EQ(printed.substr(printed.size() - c.message.size()), c.message);
    }
}

// An init or model file that could not be written is refused before
// anything is drawn or trained: a refused MakeInit leaves the generator
// where it was.
TEST(Glidemark, UnwritableOutputsAreRefusedFirst)
{
    ScratchFolder folder;
    std::string init = folder.path("init.xml");
    seed_random15(1);
    std::string first = make_init(init, six_rows());
    for (const UnwritableOutput& o : unwritable_outputs(folder)) {
        SCOPED_TRACE(o.path);
        void* result;
        int type;
        seed_random15(1);
        EXPECT_EQ(call_captured(GLIDEMARKMakeInit, {matrix_argument(six_rows()), string_argument(o.path)},
                                &result, &type),
                  "GLIDEMARKMakeInit: the init file '" + o.path + "' cannot be written: " + o.why + "\n");
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(attribute_of(make_init(folder.path("again.xml"), six_rows()), "GLIDEMARK", 1, "u"),
                  attribute_of(first, "GLIDEMARK", 1, "u"));
        EXPECT_EQ(call_captured(GLIDEMARKLearn, {string_argument(init), string_argument(o.path)},
                                &result, &type),
                  "GLIDEMARKLearn: the model file '" + o.path + "' cannot be written: " + o.why +
                      "; nothing is trained\n");
        EXPECT_EQ(result, nullptr);
        expect_output_untouched(o);
    }
}

const ModelRoutines glidemark_routines = {glidemark_load_model, glidemark_save_model,
                                          glidemark_free_model, &glidemark_training_rows};

TEST(Glidemark, ModelLoadsTheRowsOnceForEveryClass)
{
    ScratchFolder folder;
    std::string init = folder.path("init.xml");
    make_init(init, six_rows());
    expect_model_loaded(glidemark_routines, init, six_rows(), 2);
}

TEST(Glidemark, SavedBiasAndCoefficientsLoadAgain)
{
    ScratchFolder folder;
    std::string init = folder.path("init.xml");
    make_init(init, six_rows());
    expect_model_round_trip(glidemark_routines, init, folder.path("model.xml"), "GLIDEMARK", 2,
                            true);
}

TEST(Glidemark, LoadRefusedForSamplesOfAnotherWidthHoldsNothing)
{
    ScratchFolder folder;
    std::string init = folder.path("init.xml");
    make_init(init, six_rows());
    expect_refused_load(glidemark_routines, init, 2);
}

}  // namespace
