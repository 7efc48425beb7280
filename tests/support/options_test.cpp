// Option lookup: plain substring match, the first "=" after it, separators.
#include <gtest/gtest.h>

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

}  // namespace
