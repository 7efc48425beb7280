// Tests of the utility plug-in: the `write` formatter on its own, and the
// script functions through the built library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "plugins/toolbelt/format.h"
#include "scriptrun/plugin_api.h"

namespace {

// Argument arrays as the interpreter builds them. The literals live on the
// heap, shared by copies, so a copied Args still points at live values.
struct Args {
    std::vector<std::shared_ptr<void>> literals;
    std::vector<void*> values;
    std::vector<int> types;

    Args& num(double x)
    {
        auto value = std::make_shared<double>(x);
        literals.push_back(value);
        return add(value.get(), VALUE_NUMBER);
    }
    Args& str(const std::string& s)
    {
        auto value = std::make_shared<std::string>(s);
        literals.push_back(value);
        return add(&(*value)[0], VALUE_STRING);
    }
    Args& add(void* value, int type)
    {
        values.push_back(value);
        types.push_back(type);
        return *this;
    }
    int count() const { return static_cast<int>(values.size()); }
};

std::string expand(Args args)
{
    char output[WRITE_BUFFER_SIZE];
    int length = format_write(static_cast<const char*>(args.values[0]), args.values.data(),
                              args.types.data(), args.count(), output);
    EXPECT_EQ(output[length], '\0');
    return std::string(output, length);
}

const double kNaN = std::nan("");

struct FormatCase {
    const char* label;
    Args args;  // the format first
    std::string expected;
};

TEST(FormatWrite, ExpandsDirectivesEscapesAndMismatches)
{
    DataMatrix matrix = {1, 1, nullptr};
    const FormatCase cases[] = {
        {"plain text", Args().str("abc"), "abc"},
        {"line feed only", Args().str("\\n"), "\n"},
        {"escapes", Args().str("a\\tb\\rc\\\\d"), "a\tb\rc\\d"},
        {"unknown escape keeps backslash", Args().str("x\\qy"), "x\\qy"},
        {"trailing backslash", Args().str("end\\"), "end\\"},
        {"trailing percent", Args().str("50%"), "50%"},
        {"double percent", Args().str("%%d 100%%").num(1), "%d 100%"},
        {"int truncates up", Args().str("%d").num(2.9), "2"},
        {"int truncates toward zero", Args().str("%d").num(-2.9), "-2"},
        {"width", Args().str("[%5d]").num(42), "[   42]"},
        {"left flag", Args().str("[%-5d]").num(42), "[42   ]"},
        {"zero flag", Args().str("%05d").num(42), "00042"},
        {"plus and blank", Args().str("%+d % d").num(7).num(7), "+7  7"},
        {"hex octal", Args().str("%x %X %o %#x").num(255).num(255).num(8).num(255), "ff FF 10 0xff"},
        {"unsigned of negative", Args().str("%u").num(-1), "4294967295"},
        {"i and c", Args().str("%i%c%C").num(3).num(65).num(66), "3AB"},
        {"reals", Args().str("%f %.2f %e").num(1.5).num(1.5).num(12345.678), "1.500000 1.50 1.234568e+04"},
        {"g conversions", Args().str("%g %G %E").num(0.0001).num(1e-10).num(2), "0.0001 1E-10 2.000000E+00"},
        {"width precision", Args().str("[%8.3f]").num(3.14159), "[   3.142]"},
        {"dot without digits", Args().str("%.f").num(2.6), "3"},
        {"several dots", Args().str("%1..2f").num(3.14159), "3.14"},
        {"repeated flags", Args().str("[%--4d]").num(1), "[1   ]"},
        {"strings", Args().str("%s|%5s|%-4s|%.1s").str("hi").str("hi").str("hi").str("hello"), "hi|   hi|hi  |h"},
        {"wide string", Args().str("%S %ls").str("a").str("b"), "a b"},
        {"size characters dropped", Args().str("%ld %lld %Lx %hld").num(5).num(6).num(255).num(70000), "5 6 ff 70000"},
        {"short size keeps its narrowing", Args().str("%hd %hu %hx %hi").num(70000).num(-1).num(65537).num(32768), "4464 65535 1 -32768"},
        {"char size keeps its narrowing", Args().str("%hhd %hhu %hhx %hho").num(300).num(-1).num(255).num(264), "44 255 ff 10"},
        {"three h are dropped", Args().str("%hhhd").num(70000), "70000"},
        {"h before a real or string is dropped", Args().str("%hf %hs %hc").num(1.5).str("s").num(65), "1.500000 s A"},
        {"long double size", Args().str("%Lf %lf").num(1.5).num(2), "1.500000 2.000000"},
        {"wide char", Args().str("%lc").num(67), "C"},
        {"number as string", Args().str("%s").num(1), "?"},
        {"string as int", Args().str("%d").str("x"), "?"},
        {"string as real", Args().str("%f").str("x"), "?"},
        {"matrix", Args().str("%d %s %f").add(&matrix, VALUE_MATRIX).add(&matrix, VALUE_MATRIX).add(&matrix, VALUE_MATRIX), "? ? ?"},
        {"n never writes", Args().str("%n %n").num(1).str("x"), "? ?"},
        {"empty value", Args().str("%d").add(nullptr, VALUE_EMPTY), "?"},
        {"null string", Args().str("%s").add(nullptr, VALUE_STRING), "(null)"},
        {"mismatch uses argument", Args().str("%d %s").str("x").str("y"), "? y"},
        {"int limits", Args().str("%d %d %d").num(2147483647.9).num(-2147483648.0).num(-2147483648.9), "2147483647 -2147483648 -2147483648"},
        {"beyond 32 bits", Args().str("%d %d %u %x").num(2147483648.0).num(-2147483649.0).num(3e9).num(1e300), "? ? ? ?"},
        {"nan and inf as int", Args().str("%d %c %x").num(kNaN).num(INFINITY).num(-INFINITY), "? ? ?"},
        {"nan as real", Args().str("%f %g").num(kNaN).num(-INFINITY), "nan -inf"},
        {"surplus directives", Args().str("%d %d %5.2f!").num(1), "1 %d %5.2f!"},
        {"no arguments", Args().str("%s"), "%s"},
        {"no conversion", Args().str("%q %-q %5").num(1), "%q %-q %5"},
        {"sizes without conversion", Args().str("%lq").num(1), "%lq"},
        {"char zero keeps rest", Args().str("a%cb%d").num(0).num(7), std::string("a\0b7", 4)},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(expand(c.args), c.expected) << c.label;
}

TEST(FormatWrite, PointerConversionTakesAnyValue)
{
    std::string text = expand(Args().str("%p").str("x"));
    EXPECT_EQ(text.compare(0, 2, "0x"), 0) << text;
    EXPECT_EQ(expand(Args().str("%p").add(nullptr, VALUE_EMPTY)), "(nil)");
}

TEST(FormatWrite, OutputStopsAt8191Characters)
{
    const std::string long_text(10000, 'x');
    const std::string full(8191, 'a');
    struct {
        const char* label;
        Args args;
        std::string head;  // the text must start with this
        char last;         // and end with this at position 8190
    } cases[] = {
        {"format of 8191 characters", Args().str(full), full, 'a'},
        {"long string argument", Args().str("ab%s%d").str(long_text).num(5), "abxxx", 'x'},
        {"huge width", Args().str("%99999999999d").num(1), "   ", ' '},
        {"huge precision", Args().str("%.99999f").num(1e300), "1000000000", '0'},
        {"escape at the limit", Args().str(std::string(8190, 'a') + "\\n\\n"), "aaa", '\n'},
    };
    for (auto& c : cases) {
        std::string text = expand(c.args);
        ASSERT_EQ(text.size(), 8191u) << c.label;
        EXPECT_EQ(text.compare(0, c.head.size(), c.head), 0) << c.label;
        EXPECT_EQ(text.back(), c.last) << c.label;
    }
}

// The script functions, bound from the built plug-in as the interpreter does.
class Toolbelt : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        library = dlopen(TOOLBELT_PLUGIN, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
    }
    static void TearDownTestSuite() { dlclose(library); }

    // Calls `name` with `args`; the result type ends in `type`, preset empty.
    void* call(const char* name, Args& args)
    {
        auto f = reinterpret_cast<ScriptFunction>(dlsym(library, name));
        EXPECT_NE(f, nullptr) << name;
        type = VALUE_EMPTY;
        return f ? f(args.count() ? args.values.data() : nullptr,
                     args.count() ? args.types.data() : nullptr, args.count(), &type)
                 : nullptr;
    }
    // As call, capturing standard error into `err`.
    void* call_capturing(const char* name, Args& args)
    {
        testing::internal::CaptureStderr();
        void* result = call(name, args);
        err = testing::internal::GetCapturedStderr();
        return result;
    }

    static void* library;
    int type = VALUE_EMPTY;
    std::string err;
};

void* Toolbelt::library = nullptr;

TEST_F(Toolbelt, NumberCopiesItsArgument)
{
    Args args;
    args.num(-2.5).str("ignored");
    double* result = static_cast<double*>(call_capturing("number", args));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(*result, -2.5);
    EXPECT_NE(result, args.values[0]);
    EXPECT_EQ(type, VALUE_NUMBER);
    EXPECT_EQ(err, "");
    free(result);
}

TEST_F(Toolbelt, StringReturnsAFreshCopy)
{
    Args args;
    args.str("text");
    char* result = static_cast<char*>(call("string", args));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(type, VALUE_STRING);
    result[0] = 'n';
    EXPECT_STREQ(static_cast<char*>(args.values[0]), "text");
    free(result);
}

TEST_F(Toolbelt, NumberAndStringRefuseBadArgumentsWithEmptyResult)
{
    const struct {
        const char* function;
        Args args;
        const char* message;
    } cases[] = {
        {"number", Args(), "write: the 1st parameter must be a number\n"},
        {"number", Args().str("1"), "write: the 1st parameter must be a number\n"},
        {"number", Args().add(nullptr, VALUE_NUMBER), "write: the 1st parameter must be a number\n"},
        {"string", Args(), "write: the 1st parameter must be a string\n"},
        {"string", Args().num(1), "write: the 1st parameter must be a string\n"},
        {"string", Args().add(nullptr, VALUE_STRING), ""},
    };
    for (auto c : cases) {
        EXPECT_EQ(call_capturing(c.function, c.args), nullptr) << c.function;
        EXPECT_EQ(type, VALUE_EMPTY) << c.function << " " << c.message;
        EXPECT_EQ(err, c.message) << c.function;
    }
}

TEST_F(Toolbelt, WriteSendsTheTextToStandardError)
{
    const struct {
        Args args;
        std::string expected;
    } cases[] = {
        {Args().str("x=%d\\n").num(3), "x=3\n"},
        {Args().str("a%cb").num(0), std::string("a\0b", 3)},
        {Args().str(std::string(8191, 'w')), std::string(8191, 'w')},
        {Args(), ""},
        {Args().num(1), "write: the 1st parameter must be a string(format string)\n"},
        {Args().add(nullptr, VALUE_STRING), "write: the 1st parameter must be a string(format string)\n"},
        {Args().str(std::string(8192, 'w')), "write: too long format string\n"},
    };
    for (auto c : cases) {
        EXPECT_EQ(call_capturing("write", c.args), nullptr);
        EXPECT_EQ(type, VALUE_EMPTY);
        EXPECT_EQ(err, c.expected);
    }
}

// Scores of a 4-row matrix picking columns 0, 1, 1, 2; labels 1, 2, 3, 3.
std::vector<double> four_rows()
{
    return {0.9, 0.1, 0.0, 1,
            0.2, 0.7, 0.1, 2,
            0.3, 0.6, 0.1, 3,
            0.1, 0.2, 0.8, 3};
}

TEST_F(Toolbelt, LearningRateScoresRows)
{
    std::vector<double> scores = four_rows();
    std::vector<double> one_column = {-1, 0, -1, 2};
    // Ties as the +1/-1 outputs of the kernel classifiers give them: each
    // row is right only when the first of its equal largest values wins.
    std::vector<double> ties = {1, 1, -1, 1,
                                -1, 1, 1, 2,
                                1, 1, 1, 1};
    std::vector<double> second_label = {1, 1, -1, 2};
    DataMatrix four = {4, 4, scores.data()};
    DataMatrix single = {4, 1, one_column.data()};
    DataMatrix tied = {3, 4, ties.data()};
    DataMatrix tied_second = {1, 4, second_label.data()};
    const struct {
        const char* label;
        Args args;
        double expected;
    } cases[] = {
        {"offset 1", Args().add(&four, VALUE_MATRIX).num(1), 75},
        {"no offset", Args().add(&four, VALUE_MATRIX), 0},
        {"one column predicts -1", Args().add(&single, VALUE_MATRIX), 50},
        {"one column with offset", Args().add(&single, VALUE_MATRIX).num(1), 25},
        {"first of equal values wins", Args().add(&tied, VALUE_MATRIX).num(1), 100},
        {"a tie is no vote for the later column", Args().add(&tied_second, VALUE_MATRIX).num(1), 0},
        {"nan offset matches nothing", Args().add(&four, VALUE_MATRIX).num(kNaN), 0},
    };
    for (auto c : cases) {
        double* result = static_cast<double*>(call_capturing("learning_rate", c.args));
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(*result, c.expected) << c.label;
        EXPECT_EQ(type, VALUE_NUMBER);
        EXPECT_EQ(err, "") << c.label;
        free(result);
    }
}

TEST_F(Toolbelt, LearningRateGivesMinusOneOnBadArguments)
{
    std::vector<double> scores = four_rows();
    DataMatrix four = {4, 4, scores.data()};
    DataMatrix no_rows = {0, 4, scores.data()};
    DataMatrix no_cols = {4, 0, scores.data()};
    DataMatrix no_data = {4, 4, nullptr};
    const struct {
        Args args;
        const char* message;
    } cases[] = {
        {Args(), "learning rate: 1 or 2 parameters are required\n"},
        {Args().add(&four, VALUE_MATRIX).num(1).num(1), "learning rate: 1 or 2 parameters are required\n"},
        {Args().num(1), "learning rate: the 1st parameter must be a database matrix\n"},
        {Args().add(&four, VALUE_MATRIX).str("1"), "learning rate: the 2nd parameter must be a number\n"},
        {Args().add(nullptr, VALUE_MATRIX), "learning rate: empty parameter\n"},
        {Args().add(&no_rows, VALUE_MATRIX), ""},
        {Args().add(&no_cols, VALUE_MATRIX), ""},
        {Args().add(&no_data, VALUE_MATRIX), ""},
    };
    for (auto c : cases) {
        double* result = static_cast<double*>(call_capturing("learning_rate", c.args));
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(*result, -1.0) << c.message;
        EXPECT_EQ(type, VALUE_NUMBER);
        EXPECT_EQ(err, c.message);
        free(result);
    }
}

}  // namespace
