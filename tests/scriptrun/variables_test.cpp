// Variable store: the pointer list, set/clone/remove and the whos table.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scriptrun/plugin_api.h"
#include "scriptrun/variables.h"

namespace {

std::vector<std::string> names(Environment& environment)
{
    std::vector<std::string> result;
    environment.variables.seek(0);
    while (Variable* variable = environment.variables.next())
        result.push_back(variable->name());
    return result;
}

std::string whos_text(Environment& environment)
{
    testing::internal::CaptureStderr();
    environment.list_variables();
    return testing::internal::GetCapturedStderr();
}

const std::string kHeader =
    "\n-----------------------------------------------\n"
    "|   Variable name    |  type |      size      |\n"
    "-----------------------------------------------\n";
const std::string kDashes = "-----------------------------------------------\n";

TEST(PtrList, CursorWalksAndRemoval)
{
    Variable a("a", 0, nullptr), b("b", 0, nullptr), c("c", 0, nullptr);
    PtrList<Variable> list;
    EXPECT_EQ(list.seek(0), 0);
    EXPECT_EQ(list.next(), nullptr);
    list.append(&a);
    list.append(nullptr);
    list.append(&b);
    list.append(&c);

    EXPECT_EQ(list.seek(2), 1);
    EXPECT_EQ(list.next(), &b);
    EXPECT_EQ(list.next(), &c);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.seek(4), 0);
    EXPECT_EQ(list.seek(-1), 0);

    // Lookup by name skips null items; find_name leaves the cursor alone.
    EXPECT_EQ(list.find_name("b"), &b);
    EXPECT_EQ(list.find_name("B"), nullptr);
    list.seek(0);
    EXPECT_EQ(list.find_name("c"), &c);
    EXPECT_EQ(list.next(), &a);

    // Removal puts the cursor on the preceding node, or null at the head.
    ASSERT_EQ(list.seek_name("b"), 1);
    list.remove_current();
    EXPECT_EQ(list.next(), nullptr);  // the null item before b
    EXPECT_EQ(list.next(), &c);
    ASSERT_EQ(list.seek_name("a"), 1);
    list.remove_current();
    EXPECT_EQ(list.next(), nullptr);
    list.remove_current();  // no cursor: nothing happens
    list.seek(0);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(), &c);
    EXPECT_EQ(list.seek_name("zz"), 0);

    list.remove_all();
    EXPECT_EQ(list.seek(0), 0);
}

TEST(Environment, SetCloneAndRemove)
{
    double one = 1, two = 2;
    Environment environment;
    environment.set_variable("x", VALUE_NUMBER, &one);
    environment.set_variable("y", VALUE_NUMBER, &one);
    // An existing name keeps its place and takes the new type and value.
    environment.set_variable("x", VALUE_STRING, &two);
    EXPECT_EQ(names(environment), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(environment.find_variable("x")->value, &two);
    EXPECT_EQ(environment.find_variable("x")->type, VALUE_STRING);

    // A copy shares the value; copying into an existing name does not grow the list.
    EXPECT_EQ(environment.clone_variable("x", "z"), 1);
    EXPECT_EQ(environment.find_variable("z")->value, &two);
    EXPECT_EQ(environment.clone_variable("y", "z"), 1);
    EXPECT_EQ(environment.find_variable("z")->value, &one);
    EXPECT_EQ(environment.find_variable("z")->type, VALUE_NUMBER);
    EXPECT_EQ(names(environment), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(environment.clone_variable("nothing", "w"), 0);
    EXPECT_EQ(environment.find_variable("w"), nullptr);

    environment.remove_variable("y");
    environment.remove_variable("unknown");
    EXPECT_EQ(names(environment), (std::vector<std::string>{"x", "z"}));
    environment.remove_all_variables();
    EXPECT_TRUE(names(environment).empty());
}

TEST(Environment, WhosTable)
{
    Environment environment;
    EXPECT_EQ(whos_text(environment),
              kHeader + kDashes + "  Total 0 variable(s) with 0 byte(s)\n");

    double number = 3;
    char text[] = "abc";
    double cells[12] = {};
    DataMatrix matrix{3, 4, cells};
    environment.set_variable("e", VALUE_EMPTY, nullptr);
    environment.set_variable("s", VALUE_STRING, text);
    environment.set_variable("n", VALUE_NUMBER, &number);
    environment.set_variable("m", VALUE_MATRIX, &matrix);
    environment.set_variable("null_string", VALUE_STRING, nullptr);
    environment.set_variable("a_name_longer_than_twenty", 7, &number);
    EXPECT_EQ(whos_text(environment),
              kHeader +
              "|                   e   empty                0|\n"
              "|                   s  string                4|\n"
              "|                   n  number                8|\n"
              "|                   m  matrix              104|\n"
              "|         null_string  string                0|\n"
              "|a_name_longer_than_twenty                0|\n" +
              kDashes + "  Total 6 variable(s) with 116 byte(s)\n");
}

TEST(Environment, WhosSizesBeyond32Bits)
{
    // 100000 x 10000 reals: 8000000008 bytes, listed without wrapping.
    DataMatrix huge{100000, 10000, nullptr};
    Environment environment;
    environment.set_variable("big", VALUE_MATRIX, &huge);
    environment.set_variable("big2", VALUE_MATRIX, &huge);
    EXPECT_EQ(whos_text(environment),
              kHeader +
              "|                 big  matrix       8000000008|\n"
              "|                big2  matrix       8000000008|\n" +
              kDashes + "  Total 2 variable(s) with 16000000016 byte(s)\n");
}

// The index by name must give the same answers as a walk from the head: the
// first node of a name wins, and removing it uncovers the next of that name.
TEST(PtrList, IndexKeepsFirstOfEachNameThroughRemovals)
{
    Variable a1("a", 0, nullptr), b("b", 0, nullptr), a2("a", 0, nullptr), a3("a", 0, nullptr);
    PtrList<Variable> list;
    list.append(&a1);
    list.append(&b);
    list.append(&a2);
    list.append(nullptr);
    list.append(&a3);
    const struct {
        const char* remove;      // name whose first node is removed
        const Variable* then_a;  // what find_name("a") gives afterwards
        const Variable* then_b;
    } steps[] = {
        {nullptr, &a1, &b}, {"a", &a2, &b}, {"b", &a2, nullptr}, {"a", &a3, nullptr}, {"a", nullptr, nullptr},
    };
    for (const auto& step : steps) {
        if (step.remove) {
            ASSERT_EQ(list.seek_name(step.remove), 1) << step.remove;
            list.remove_current();
        }
        EXPECT_EQ(list.find_name("a"), step.then_a);
        EXPECT_EQ(list.find_name("b"), step.then_b);
    }
    // Only the null item is left, and appending after removals still links at the end.
    list.append(&b);
    list.seek(0);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(), &b);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.find_name("b"), &b);
    // Removing the last node moves the end back, so the next append follows the null item.
    ASSERT_EQ(list.seek_name("b"), 1);
    list.remove_current();
    list.append(&a1);
    EXPECT_EQ(list.seek(1), 1);
    EXPECT_EQ(list.next(), &a1);
}

// List nodes walked over to store `count` variables, find each, copy every
// tenth and remove every tenth by name.
size_t store_steps(int count)
{
    static double value = 1;
    Environment environment;
    for (int i = 0; i < count; ++i)
        environment.set_variable(("v" + std::to_string(i)).c_str(), VALUE_NUMBER, &value);
    for (int i = 0; i < count; ++i)
        EXPECT_NE(environment.find_variable(("v" + std::to_string(i)).c_str()), nullptr);
    for (int i = 0; i < count; i += 10)
        environment.clone_variable(("v" + std::to_string(i)).c_str(), ("c" + std::to_string(i)).c_str());
    for (int i = 0; i < count; i += 10)
        environment.remove_variable(("v" + std::to_string(i)).c_str());
    EXPECT_EQ(environment.find_variable("v0"), nullptr);
    EXPECT_EQ(environment.find_variable("c0")->value, &value);
    return environment.variables.steps();
}

// Scripts that make many variables: each store, lookup and removal costs
// constant time on average, so ten times the variables walk at most ten
// times as many nodes (a walk per operation would walk a hundred times as
// many). Counted rather than timed, so a busy machine cannot decide.
TEST(Environment, ManyVariablesCostLinearTime)
{
    size_t small = store_steps(5000);
    size_t large = store_steps(50000);
    EXPECT_LE(large, 10 * small + 10) << small << " steps for 5000, " << large << " for 50000";
}

}  // namespace
