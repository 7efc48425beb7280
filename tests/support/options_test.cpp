// Option lookup: plain substring match, the first "=" after it, separators.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

#include "support/options.h"

namespace {

TEST(Options, Lookup)
{
    struct Case {
        const char* options;
        const char* key;
        const char* expected;  // null: the key is absent
    } cases[] = {
        {"kernel=poly,degree=2", "degree", "2"},
        {"kernel=poly,degree=2", "kernel", "poly"},
        {"kernelparam1=5 kernel=rbf", "kernel", "5"},
        {"kernel poly=3", "kernel", "3"},
        {"degree= 3", "degree", ""},
        {"epsilon=1 spring", "spring", ""},
        {"a=x=y b=2", "a", "x=y"},
        {"a=1\tb=2", "b", "2"},
        {"a=1\tb=2", "a", "1"},
        {"antispring=3 spring=4", "spring", "3"},
        {"Kernel=poly", "kernel", nullptr},
        {"kernel=poly", "degree", nullptr},
        {"", "degree", nullptr},
    };
    for (const Case& c : cases) {
        char* value = get_option_value(c.options, c.key);
        if (c.expected) {
            ASSERT_NE(value, nullptr) << c.options << " / " << c.key;
            EXPECT_EQ(std::string(value), c.expected) << c.options << " / " << c.key;
        } else {
            EXPECT_EQ(value, nullptr) << c.options << " / " << c.key;
        }
        std::free(value);
    }
    EXPECT_EQ(get_option_value(nullptr, "kernel"), nullptr);
}

// Reals as atof reads them; ints truncated toward zero and held within int
// range; the fallback only where the key is absent.
TEST(Options, RealAndIntValues)
{
    struct Case {
        const char* options;
        const char* key;
        double real;  // read_real_option with fallback 7.5
        int whole;    // read_int_option with fallback 7
    } cases[] = {
        {"epsilon=0.25", "epsilon", 0.25, 0},
        {"gamma=2.9", "gamma", 2.9, 2},
        {"gamma=-2.9", "gamma", -2.9, -2},
        {"degree=3e2x", "degree", 300.0, 300},
        {"degree=abc", "degree", 0.0, 0},
        {"degree=", "degree", 0.0, 0},
        {"maxiter=1e300", "maxiter", 1e300, INT_MAX},
        {"maxiter=-1e300", "maxiter", -1e300, INT_MIN},
        {"feanum=2147483647.5", "feanum", 2147483647.5, INT_MAX},
        {"antispring=3 spring=4", "spring", 3.0, 3},
        {"kernel=poly", "degree", 7.5, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read_real_option(c.options, c.key, 7.5), c.real) << c.options;
        EXPECT_EQ(read_int_option(c.options, c.key, 7), c.whole) << c.options;
    }
    EXPECT_EQ(read_real_option(nullptr, "gamma", -1.0), -1.0);
    EXPECT_EQ(read_int_option(nullptr, "feanum", 12), 12);
    EXPECT_EQ(read_int_option("feanum=nan", "feanum", 12), 0);
    EXPECT_TRUE(std::isnan(read_real_option("feanum=nan", "feanum", 12.0)));
}

// Counts and integer settings: the number validated is the number used.
TEST(Options, WholeOptionsAreReadAsTheirValidatedNumber)
{
    const struct {
        const char* options;
        OptionRead read;
        int value;
    } cases[] = {
        {"n=12", OptionRead::read, 12},        {"n=0x10", OptionRead::read, 16},
        {"n=1e3", OptionRead::read, 1000},     {"n=-1", OptionRead::read, -1},
        {"n=2147483647", OptionRead::read, INT_MAX},
        {"n=1.5", OptionRead::refused, 7},     {"n=1e300", OptionRead::refused, 7},
        {"n=-2147483649", OptionRead::refused, 7}, {"n=3abc", OptionRead::refused, 7},
        {"n=", OptionRead::refused, 7},        {"n", OptionRead::refused, 7},
        {"n=nan", OptionRead::refused, 7},     {"m=3", OptionRead::absent, 7},
    };
    for (const auto& c : cases) {
        int value = 7;
        EXPECT_EQ(read_whole_option(c.options, "n", &value), c.read) << c.options;
        EXPECT_EQ(value, c.value) << c.options;
    }
    int value = 7;
    EXPECT_EQ(read_whole_option(nullptr, "n", &value), OptionRead::absent);
}

TEST(Options, Truncation)
{
    const struct {
        double value;
        int expected;
    } cases[] = {{0.0, 0}, {-0.5, 0}, {1.999, 1}, {-1.999, -1},
                 {2147483646.9, 2147483646}, {2147483647.0, INT_MAX},
                 {-2147483648.0, INT_MIN}, {-2147483647.9, -2147483647},
                 {INFINITY, INT_MAX}, {-INFINITY, INT_MIN}, {NAN, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(truncate_to_int(c.value), c.expected) << c.value;
}

}  // namespace
