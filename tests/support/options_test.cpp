// Option lookup: plain substring match, the first "=" after it, separators.
#include <gtest/gtest.h>

#include <climits>
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

// Reals and whole numbers by one rule: the whole text one finite real; the
// target keeps its default where the key is absent or the text is refused.
TEST(Options, RealAndWholeValuesShareOneRule)
{
    const struct {
        const char* options;
        OptionRead real;  // read_real_option of "n", default 7.5
        double value;
        OptionRead whole;  // read_whole_option of "n"
    } cases[] = {
        {"n=-2.9", OptionRead::read, -2.9, OptionRead::refused},
        {"n=1e300", OptionRead::read, 1e300, OptionRead::refused},
        {"n=abc", OptionRead::refused, 7.5, OptionRead::refused},
        {"n=3abc", OptionRead::refused, 7.5, OptionRead::refused},
        {"n= 3", OptionRead::refused, 7.5, OptionRead::refused},
        {"n=", OptionRead::refused, 7.5, OptionRead::refused},
        {"n=inf", OptionRead::refused, 7.5, OptionRead::refused},
        {"n=1e999", OptionRead::refused, 7.5, OptionRead::refused},
        {"m=3", OptionRead::absent, 7.5, OptionRead::absent},
    };
    for (const auto& c : cases) {
        double value = 7.5;
        EXPECT_EQ(read_real_option(c.options, "n", &value), c.real) << c.options;
        EXPECT_EQ(value, c.value) << c.options;
        int whole = 7;
        EXPECT_EQ(read_whole_option(c.options, "n", &whole), c.whole) << c.options;
    }
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

}  // namespace
