// Strict number reading for the model loaders: whole texts only, finite
// reals only, lists of an exact length with no empty field.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/xml/xml_test_util.h"
#include "xml/finite_values.h"

TEST(FiniteValues, OnlyAWholeFiniteNumberIsRead)
{
    struct Case {
        const char* text;
        bool whole;     // read_whole_text accepts it
        bool finite;    // read_finite_text accepts it
        double value;   // the value read (as a real)
    } cases[] = {
        {"3", true, true, 3},       {" -12 ", true, true, -12},   {"+7\n", true, true, 7},
        {"2.5", false, true, 2.5},  {"1e-3", false, true, 0.001}, {"2x", false, false, 0},
        {"abc", false, false, 0},   {"", false, false, 0},        {"  ", false, false, 0},
        {"nan", false, false, 0},   {"-inf", false, false, 0},    {"1e999", false, false, 0},
        {"3 4", false, false, 0},   {"99999999999", false, true, 99999999999.0},
        // A whole number is the real that was validated, not a second reading.
        {"0x10", true, true, 16},   {"1e3", true, true, 1000},    {"2.5e1", true, true, 25},
        {"1e300", false, true, 1e300}, {"-2147483648", true, true, -2147483648.0},
        {"2147483648", false, true, 2147483648.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int whole = -99;
        double real = -99;
        EXPECT_EQ(read_whole_text(c.text, &whole), c.whole);
        EXPECT_EQ(whole, c.whole ? static_cast<int>(c.value) : -99);
        EXPECT_EQ(read_finite_text(c.text, &real), c.finite);
        EXPECT_EQ(real, c.finite ? c.value : -99);
    }
}

// The loaders' own tests cover text and "nan" items; here the list's count
// and its empty fields.
TEST(FiniteValues, ListsHoldExactlyTheirCountOfItems)
{
    Handle h;
    ASSERT_EQ(XMLcreateNewDoc(&h, "M"), 1);
    XMLchangeElement(&h, "/M");
    XMLchangeOrAddAttribute(&h, "good", "1.5,-2,3e2");
    XMLchangeOrAddAttribute(&h, "gap", "1,,2");
    XMLchangeOrAddAttribute(&h, "tail", "1,2,");
    double out[4] = {0, 0, 0, 0};
    EXPECT_EQ(read_finite_list(&h, "good", ",", out, 3), ValueRead::read);
    EXPECT_EQ(out[0], 1.5);
    EXPECT_EQ(out[1], -2);
    EXPECT_EQ(out[2], 300);
    EXPECT_EQ(read_finite_list(&h, "good", ",", out, 2), ValueRead::refused);
    EXPECT_EQ(read_finite_list(&h, "good", ",", out, 4), ValueRead::refused);
    EXPECT_EQ(read_finite_list(&h, "gap", ",", out, 2), ValueRead::refused);
    EXPECT_EQ(read_finite_list(&h, "tail", ",", out, 2), ValueRead::refused);
    EXPECT_EQ(read_finite_list(&h, "absent", ",", out, 1), ValueRead::missing);
}
