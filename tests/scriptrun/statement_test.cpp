// Statement execution with a stub lookup: commands, calls, copies and every
// fatal message.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "scriptrun/statement.h"
#include "tests/scriptrun/test_helpers.h"

namespace {

// What the stub script function saw on its last call.
struct CallRecord {
    int calls = 0;                      // times called
    int count = -1;                     // argument count
    bool null_arrays = false;           // both arrays null
    int preset_type = -1;               // result type on entry
    std::vector<std::string> arguments; // "type:value" per argument
};

CallRecord last_call;
void* stub_result = nullptr;
int stub_result_type = VALUE_EMPTY;
Environment* current = nullptr;

// A literal is shown by its value; a variable's own pointer by "@name".
std::string describe(void* value, int type)
{
    if (value == nullptr)
        return std::to_string(type) + ":null";
    current->variables.seek(0);
    while (Variable* variable = current->variables.next())
        if (variable->value == value)
            return std::to_string(type) + ":@" + variable->name();
    char text[64];
    if (type == VALUE_NUMBER) {
        snprintf(text, sizeof text, "%g", *static_cast<double*>(value));
        return std::to_string(type) + ":" + text;
    }
    if (type == VALUE_STRING)
        return std::to_string(type) + ":" + static_cast<char*>(value);
    return std::to_string(type) + ":?";
}

void* stub_function(void** values, int* types, int count, int* result_type)
{
    last_call.calls++;
    last_call.count = count;
    last_call.null_arrays = values == nullptr && types == nullptr;
    last_call.preset_type = *result_type;
    last_call.arguments.clear();
    for (int i = 0; i < count; ++i)
        last_call.arguments.push_back(describe(values[i], types[i]));
    *result_type = stub_result_type;
    return stub_result;
}

// Binds "f" and "g" only.
ScriptFunction stub_lookup(const char* name)
{
    return strcmp(name, "f") == 0 || strcmp(name, "g") == 0 ? stub_function : nullptr;
}

class StatementTest : public testing::Test {
protected:
    void SetUp() override
    {
        current = &environment;
        last_call = CallRecord();
        stub_result = &result_value;
        stub_result_type = VALUE_NUMBER;
        environment.set_variable("db", VALUE_MATRIX, &matrix);
        environment.set_variable("e", VALUE_EMPTY, nullptr);
    }

    void run(const std::string& statement)
    {
        std::vector<char> text(statement.begin(), statement.end());
        text.push_back('\0');
        execute_statement(text.data(), environment, stub_lookup);
    }

    std::vector<std::string> names()
    {
        std::vector<std::string> result;
        environment.variables.seek(0);
        while (Variable* variable = environment.variables.next())
            result.push_back(variable->name());
        return result;
    }

    double result_value = 42;
    double cells[4] = {1, 2, 3, 4};
    DataMatrix matrix{2, 2, cells};
    Environment environment;
};

TEST_F(StatementTest, CallArguments)
{
    struct CallCase {
        const char* statement;               // after the reader
        std::vector<std::string> arguments;  // as the function sees them
    };
    const std::vector<CallCase> cases = {
        {"m=f(db,'model.xml','kernel=poly')", {"3:@db", "1:model.xml", "1:kernel=poly"}},
        {"f('a,b',\"c\")", {"1:a,b", "1:c"}},
        {"f('x)',\"y(\")", {"1:x)", "1:y("}},
        {"f(1,,2)", {"2:1", "2:0", "2:2"}},
        {"f(,1)", {"2:0", "2:1"}},
        {"f(-1.5e2,12abc,0,+.5,1e,'',e)", {"2:-150", "2:12", "2:0", "2:0.5", "2:1", "1:", "0:null"}},
        {"f('mixed\")", {"1:mixed"}},
        {"f(1)ignored(2)", {"2:1"}},
        {"f(1e999,1e-999)", {"2:inf", "2:0"}},
        {"f(0x10,inf,-Infinity,info,0x1p-2)", {"2:16", "2:inf", "2:-inf", "2:inf", "2:0.25"}},
    };
    for (const CallCase& c : cases) {
        last_call = CallRecord();
        run(c.statement);
        EXPECT_EQ(last_call.calls, 1) << c.statement;
        EXPECT_EQ(last_call.preset_type, VALUE_EMPTY) << c.statement;
        EXPECT_EQ(last_call.count, static_cast<int>(c.arguments.size())) << c.statement;
        EXPECT_EQ(last_call.arguments, c.arguments) << c.statement;
    }
}

TEST_F(StatementTest, EmptyArgumentListPassesNullArrays)
{
    run("f()");
    EXPECT_EQ(last_call.count, 0);
    EXPECT_TRUE(last_call.null_arrays);
}

TEST_F(StatementTest, ResultsAndCopies)
{
    // Without a target the result is dropped.
    run("f(1)");
    EXPECT_EQ(names(), (std::vector<std::string>{"db", "e"}));

    // A target is created at the end; an existing one keeps its place.
    run("m=f(db,'opt=1')");
    run("=f()");
    stub_result_type = VALUE_STRING;
    run("db=f()");
    EXPECT_EQ(names(), (std::vector<std::string>{"db", "e", "m", ""}));
    EXPECT_EQ(environment.find_variable("m")->value, &result_value);
    EXPECT_EQ(environment.find_variable("m")->type, VALUE_NUMBER);
    EXPECT_EQ(environment.find_variable("")->type, VALUE_NUMBER);
    EXPECT_EQ(environment.find_variable("db")->type, VALUE_STRING);

    // A copy shares the value; a bare existing name does nothing.
    run("copy=m");
    EXPECT_EQ(environment.find_variable("copy")->value, &result_value);
    run("copy");
    EXPECT_EQ(names(), (std::vector<std::string>{"db", "e", "m", "", "copy"}));
}

TEST_F(StatementTest, ClearCommand)
{
    struct ClearCase {
        const char* statement;            // the clear command
        std::vector<std::string> remain;  // variables left of a, b, c, d
    };
    const std::vector<ClearCase> cases = {
        {"clear", {}},
        {"cleara,c", {"b", "d"}},
        {"clearzz,b", {"a", "c", "d"}},
        {"cleara,,d", {"b", "c"}},
        {"clearb,", {"a", "c", "d"}},
        {"clear'a,b',c", {"a", "b", "d"}},
    };
    for (const ClearCase& c : cases) {
        environment.remove_all_variables();
        for (const char* name : {"a", "b", "c", "d"})
            environment.set_variable(name, VALUE_EMPTY, nullptr);
        environment.set_variable("", VALUE_EMPTY, nullptr);
        std::vector<std::string> expected = c.remain;
        if (strcmp(c.statement, "clear") != 0)
            expected.push_back("");  // an empty piece removes nothing
        run(c.statement);
        EXPECT_EQ(names(), expected) << c.statement;
    }
}

TEST_F(StatementTest, CommandsAreRecognisedByTheirFirstLetters)
{
    ASSERT_NE(freopen("/dev/null", "r", stdin), nullptr);
    struct CommandCase {
        std::string statement;  // after the reader
        std::string output;     // on standard error
    };
    const std::vector<CommandCase> cases = {
        {"pause", ""},
        {"pause'hello world'", "hello world"},
        {"pause\"mixed'", "mixed"},
        {"pausenow", "now"},
        {"pause'", ""},
        {"pause''", ""},
        {"pause'100%d'", "100%d"},
        {"whosx=f()", "\n"},
        // Messages are written whole, also beyond the 4096-byte buffer.
        {"pause'" + std::string(6000, 'p') + "'", std::string(6000, 'p')},
    };
    for (const CommandCase& c : cases) {
        testing::internal::CaptureStderr();
        run(c.statement);
        std::string output = testing::internal::GetCapturedStderr();
        EXPECT_EQ(output.substr(0, c.output.size()), c.output) << c.statement;
        if (c.output != "\n") {
            EXPECT_EQ(output, c.output) << c.statement;
        }
    }
    EXPECT_EQ(last_call.calls, 0);
    EXPECT_EQ(environment.find_variable("x"), nullptr);
}

TEST_F(StatementTest, ClassifyArgument)
{
    struct ClassCase {
        const char* text;  // one argument
        int type;          // expected class
    };
    const std::vector<ClassCase> cases = {
        {"'s'", VALUE_STRING}, {"\"\"", VALUE_STRING}, {"'", 0},
        {"", VALUE_NUMBER}, {"0", VALUE_NUMBER}, {"-0", VALUE_NUMBER}, {"12abc", VALUE_NUMBER},
        {"1.", VALUE_NUMBER}, {"-2.5E+3", VALUE_NUMBER},
        {"\f", 0}, {"\v0", VALUE_NUMBER}, {"\f5", VALUE_NUMBER},
        {"0abc", 0}, {"0x", 0}, {".", 0}, {"-", 0}, {" ", 0},
        {"info", VALUE_NUMBER}, {"nan", VALUE_NUMBER}, {"inf", VALUE_NUMBER},
        {"0x10", VALUE_NUMBER}, {"-0x0", VALUE_NUMBER},
        {"db", VALUE_NAME}, {"e", VALUE_NAME}, {"DB", 0},
    };
    for (const ClassCase& c : cases)
        EXPECT_EQ(classify_argument(c.text, environment), c.type) << c.text;
}

TEST_F(StatementTest, FatalMessages)
{
    struct FatalCase {
        const char* statement;  // after the reader
        const char* message;    // the whole of standard error
    };
    const std::vector<FatalCase> cases = {
        {"f(a", "ERROR: missing ')'\n"},
        {"x=f(')'", "ERROR: missing ')'\n"},
        {"f(1,)", "ERROR: cannot determine parameter type: (null)\n"},
        {"f(,)", "ERROR: cannot determine parameter type: (null)\n"},
        {"f(zz)", "ERROR: cannot determine parameter type: zz\n"},
        {"f(0x)", "ERROR: cannot determine parameter type: 0x\n"},
        {"f(0abc)", "ERROR: cannot determine parameter type: 0abc\n"},
        {"f(g(1))", "ERROR: cannot determine parameter type: g(1\n"},
        {"f(%s)", "ERROR: cannot determine parameter type: %s\n"},
        {"h(1)", "ERROR: no function h\n"},
        {"x=F()", "ERROR: no function F\n"},
        {"h(zz)", "ERROR: cannot determine parameter type: zz\n"},
        {"a=zz", "ERROR: cannot clone variable zz to a\n"},
        {"x=5", "ERROR: cannot clone variable 5 to x\n"},
        {"zz", "ERROR: cannot clone variable zz to \n"},
        {"", "ERROR: cannot clone variable  to \n"},
    };
    for (const FatalCase& c : cases)
        EXPECT_EXIT(run(c.statement), testing::ExitedWithCode(1),
                    "^" + literal_pattern(c.message) + "$") << c.statement;
}

}  // namespace
