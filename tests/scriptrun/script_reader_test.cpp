// Script reader: statements cut at ";" with blanks and comments removed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "scriptrun/script_reader.h"
#include "tests/scriptrun/test_helpers.h"

namespace {

const int kSize = 16384;
const std::string kTooLong = "ERROR: statement too long: a statement holds at most 16383 "
                             "characters; what follows is read as the next statement\n";

// Every statement up to and including the first empty one.
std::vector<std::string> read_all(const std::string& text, int limit = 10)
{
    MemoryReader reader(text);
    Interpreter interpreter(&reader, false);
    std::vector<std::string> statements;
    std::vector<char> buffer(kSize);
    for (int i = 0; i < limit; ++i) {
        int length = interpreter.read_statement(buffer.data(), kSize);
        statements.emplace_back(buffer.data(), length);
        if (length == 0)
            break;
    }
    return statements;
}

struct ReaderCase {
    const char* name;                       // what the case shows
    std::string script;                     // file contents
    std::vector<std::string> statements;    // expected, ending in ""
};

TEST(ScriptReader, CutsStatementsAndDropsBlanksAndComments)
{
    const std::vector<ReaderCase> cases = {
        {"two statements on a line", " a = f( x ) ;  b=g(1, 2);\n", {"a=f(x)", "b=g(1,2)", ""}},
        {"string keeps its text", "w('a; b % c # d /* e');", {"w('a; b % c # d /* e')", ""}},
        {"empty statement ends", "f(); ;g();", {"f()", ""}},
        {"comment between statements ends", "f();/* c */;g();", {"f()", ""}},
        {"percent comment hides ;", "f(a, % x ; y\n b);", {"f(a,b)", ""}},
        {"hash comment", "# head ; line\nf();", {"f()", ""}},
        {"block comment in arguments", "f(a,/* c ; d */b);", {"f(a,b)", ""}},
        {"slash star slash is whole", "a/*/b;", {"ab", ""}},
        {"blanks inside the opener", "a/ *x*/b;", {"ab", ""}},
        {"star star slash", "a/**/b;", {"ab", ""}},
        {"apostrophe closed by quote", "f('a\"b);", {"f('a\"b)", ""}},
        {"CR LF outside strings", "f(a,\r\nb);\r\ng();\r\n", {"f(a,b)", "g()", ""}},
        {"CR LF inside a string", "w('x\r\ny');", {"w('x\ny')", ""}},
        {"lone CR inside a string", "w('x\ry');", {"w('x\ry')", ""}},
        {"line comment at the end", "f() % end", {"f()", ""}},
        {"last statement without ;", "f()", {"f()", ""}},
        {"NUL ends a statement", std::string("a\0b;", 4), {"a", "b", ""}},
        {"NUL inside a string is kept", std::string("'a\0b';", 6), {std::string("'a\0b'", 5), ""}},
        {"empty file", "", {""}},
    };
    for (const ReaderCase& c : cases)
        EXPECT_EQ(read_all(c.script), c.statements) << c.name;
}

TEST(ScriptReader, LongTextsAndTheLimit)
{
    std::string long_run(20000, 'x');
    testing::internal::CaptureStderr();
    std::vector<std::string> parts = read_all(long_run + ";");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kTooLong);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0], std::string(16383, 'x'));
    EXPECT_EQ(parts[1], std::string(20000 - 16383, 'x'));

    // A comment's text does not count toward the limit.
    EXPECT_EQ(read_all("/*" + long_run + "*/f();"), (std::vector<std::string>{"f()", ""}));

    // A buffer of one byte reads nothing.
    MemoryReader reader("f();");
    Interpreter interpreter(&reader, false);
    char small[1] = {'z'};
    EXPECT_EQ(interpreter.read_statement(small, 1), 0);
    EXPECT_EQ(small[0], '\0');
}

TEST(ScriptReaderDeathTest, UnterminatedStringOrComment)
{
    struct FatalCase {
        std::string script;   // file contents
        std::string message;  // text on standard error
    };
    const std::vector<FatalCase> cases = {
        {"f('abc", "ERROR: not terminated string constant"},
        {"f(/* abc", "ERROR: not terminated comment"},
        {"f('a/* b", "ERROR: not terminated string constant"},
        {"'" + std::string(20000, 'a') + "'", kTooLong + "ERROR: not terminated string constant"},
        {std::string(16381, 'a') + "/*x*/", kTooLong + "ERROR: not terminated comment"},
    };
    for (const FatalCase& c : cases)
        EXPECT_EXIT(read_all(c.script), testing::ExitedWithCode(1),
                    literal_pattern(c.message) + "$") << c.script.substr(0, 20);
}

TEST(ScriptReader, FileReaderAndOpenScript)
{
    char path[] = "/tmp/script_reader_testXXXXXX";
    int descriptor = mkstemp(path);
    ASSERT_GE(descriptor, 0);
    FILE* file = fdopen(descriptor, "w");
    fputs("first line\nf(1); g(2)", file);
    fclose(file);

    std::unique_ptr<Interpreter> interpreter(open_script(path));
    ASSERT_NE(interpreter->reader(), nullptr);
    EXPECT_TRUE(interpreter->reader()->has_file());
    char line[64];
    EXPECT_EQ(interpreter->reader()->read_line(line, sizeof line), 11);
    EXPECT_STREQ(line, "first line\n");
    char buffer[kSize];
    EXPECT_EQ(interpreter->read_statement(buffer, kSize), 4);
    EXPECT_STREQ(buffer, "f(1)");
    EXPECT_EQ(interpreter->read_statement(buffer, kSize), 4);
    EXPECT_STREQ(buffer, "g(2)");
    // The first read past the end gave -1; every later one gives 0.
    EXPECT_EQ(interpreter->reader()->read_char(), 0);
    EXPECT_EQ(interpreter->reader()->read_line(line, sizeof line), 0);
    EXPECT_EQ(interpreter->read_statement(buffer, kSize), 0);
    remove(path);
}

TEST(ScriptReader, UnreadableScriptGivesNoStatements)
{
    for (const char* path : {"/nonexistent/script", "/tmp"}) {
        testing::internal::CaptureStderr();
        std::unique_ptr<Interpreter> interpreter(open_script(path));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "File: not found '" + std::string(path) + "'");
        EXPECT_FALSE(interpreter->reader()->has_file());
        EXPECT_EQ(interpreter->reader()->read_char(), 0);
        char buffer[16] = "stale";
        EXPECT_EQ(interpreter->read_statement(buffer, sizeof buffer), 0);
        EXPECT_STREQ(buffer, "");
    }
}

}  // namespace
