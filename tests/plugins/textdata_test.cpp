// Tests of the data-reading plug-in: the text table reader and the script
// function load_database with files in a temporary folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugins/textdata/reader.h"
#include "scriptrun/plugin_api.h"

PLUGIN_EXPORT void* load_database(void** values, int* types, int count, int* resultType);

namespace {

TEST(ParseTextTable, ReadsRowsAcrossSeparatorsCommentsAndLineEnds)
{
    const struct {
        const char* label;
        std::string text;
        int rows, cols;
        std::vector<double> values;
    } cases[] = {
        {"blanks", "1 2 3\n4 5 6\n", 2, 3, {1, 2, 3, 4, 5, 6}},
        {"commas with carriage returns", "1,2\r\n3,4\r", 2, 2, {1, 2, 3, 4}},
        {"mixed separators", "  1\t2, 3 \n", 1, 3, {1, 2, 3}},
        {"skipped lines, no final line feed", "# head\n\n1 2\n \t\n  # x\n,,\n3 4", 2, 2, {1, 2, 3, 4}},
        {"numerals", "-1.5e3 +2 .5 1E-2 7.\n", 1, 5, {-1500, 2, 0.5, 0.01, 7}},
        {"one column", "1\n2\n3\n", 3, 1, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        TextTable table;
        std::string error;
        ASSERT_TRUE(parse_text_table(c.text, table, error)) << c.label << ": " << error;
        EXPECT_EQ(table.rows, c.rows) << c.label;
        EXPECT_EQ(table.cols, c.cols) << c.label;
        EXPECT_EQ(table.values, c.values) << c.label;
    }
}

TEST(ParseTextTable, RefusesMalformedText)
{
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"1 2\n3\n", "line 2 has 1 values, expected 2"},
        {"# c\n\n1 2\n3 4 5\n", "line 4 has 3 values, expected 2"},
        {"1 x\n", "line 1: 'x' is not a number"},
        {"1\nnan\n", "line 2: 'nan' is not a number"},
        {"inf 1\n", "line 1: 'inf' is not a number"},
        {"-inf 1\n", "line 1: '-inf' is not a number"},
        {"0x10\n", "line 1: '0x10' is not a number"},
        {"1e999\n", "line 1: '1e999' is not a number"},
        {"1-2 3\n", "line 1: '1-2' is not a number"},
        {"1.2.3\n", "line 1: '1.2.3' is not a number"},
        {"1e\n", "line 1: '1e' is not a number"},
        {"1 2\r3 4\n", "line 1: '2\r3' is not a number"},
        {std::string("1 \0 2\n", 6), std::string("line 1: '\0' is not a number", 27)},
        {"1 " + std::string(100, '9') + "z\n", "line 1: '" + std::string(40, '9') + "' is not a number"},
        {"", "no data"},
        {"# only comments\n\n", "no data"},
    };
    for (const auto& c : cases) {
        TextTable table;
        std::string error;
        EXPECT_FALSE(parse_text_table(c.text, table, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

// A file in the test's temporary folder, removed afterwards.
struct TempFile {
    std::string path;
    explicit TempFile(const std::string& name, const std::string& contents = "")
        : path(testing::TempDir() + "textdata_" + name)
    {
        FILE* file = fopen(path.c_str(), "wb");
        fwrite(contents.data(), 1, contents.size(), file);
        fclose(file);
    }
    ~TempFile() { remove(path.c_str()); }
};

// Calls load_database with the given arguments, capturing standard error.
struct Call {
    DataMatrix* result = nullptr;
    int type = VALUE_EMPTY;
    std::string err;

    Call(std::vector<void*> values, std::vector<int> types)
    {
        testing::internal::CaptureStderr();
        result = static_cast<DataMatrix*>(load_database(
            values.empty() ? nullptr : values.data(), types.empty() ? nullptr : types.data(),
            static_cast<int>(values.size()), &type));
        err = testing::internal::GetCapturedStderr();
    }
    ~Call()
    {
        if (result)
            free(result->data);
        free(result);
    }
};

TEST(LoadDatabase, ReturnsAMatrixOfTheFile)
{
    TempFile file("good.txt", "# x y label\n1.5,2,1\n-3 4e1 2\n");
    Call call({&file.path[0]}, {VALUE_STRING});
    ASSERT_NE(call.result, nullptr) << call.err;
    EXPECT_EQ(call.type, VALUE_MATRIX);
    EXPECT_EQ(call.err, "");
    ASSERT_EQ(call.result->rows, 2);
    ASSERT_EQ(call.result->cols, 3);
    std::vector<double> data(call.result->data, call.result->data + 6);
    EXPECT_EQ(data, (std::vector<double>{1.5, 2, 1, -3, 40, 2}));
}

TEST(LoadDatabase, ReportsErrorsAndLeavesTheResultEmpty)
{
    TempFile ragged("ragged.txt", "1 2\n3 4\n5\n");
    TempFile empty("empty.txt");
    TempFile word("word.txt", "1 2\nNaN 4\n");
    std::string missing = testing::TempDir() + "textdata_missing.txt";
    std::string folder = testing::TempDir();
    double number = 1;
    const struct {
        std::vector<void*> values;
        std::vector<int> types;
        std::string message;
    } cases[] = {
        {{}, {}, "load_database: 1 parameter is required\n"},
        {{&ragged.path[0], &ragged.path[0]}, {VALUE_STRING, VALUE_STRING}, "load_database: 1 parameter is required\n"},
        {{&number}, {VALUE_NUMBER}, "load_database: the 1st parameter must be a file name\n"},
        {{nullptr}, {VALUE_STRING}, "load_database: the 1st parameter must be a file name\n"},
        {{&missing[0]}, {VALUE_STRING}, "load_database: cannot open file '" + missing + "'\n"},
        {{&folder[0]}, {VALUE_STRING}, "load_database: cannot read file '" + folder + "'\n"},
        {{&ragged.path[0]}, {VALUE_STRING}, "load_database: '" + ragged.path + "': line 3 has 1 values, expected 2\n"},
        {{&empty.path[0]}, {VALUE_STRING}, "load_database: '" + empty.path + "': no data\n"},
        {{&word.path[0]}, {VALUE_STRING}, "load_database: '" + word.path + "': line 2: 'NaN' is not a number\n"},
    };
    for (const auto& c : cases) {
        Call call(c.values, c.types);
        EXPECT_EQ(call.result, nullptr) << c.message;
        EXPECT_EQ(call.type, VALUE_EMPTY) << c.message;
        EXPECT_EQ(call.err, c.message);
    }
}

// Rows of the timing check; the sanitizer build may lower it through the
// environment variable TEXTDATA_PERF_ROWS.
int perf_rows()
{
    const char* text = getenv("TEXTDATA_PERF_ROWS");
    return text ? atoi(text) : 1000000;
}

TEST(LoadDatabase, LoadsAMillionRowsInSeconds)
{
    const int rows = perf_rows();
    std::string text;
    text.reserve(static_cast<size_t>(rows) * 40);
    char line[96];
    for (int r = 0; r < rows; ++r) {
        snprintf(line, sizeof line, "%d.25,%d,-%d.5e-3\t%.6f %d\n", r, r % 97, r % 13, r / 7.0, r % 3 + 1);
        text += line;
    }
    TempFile file("large.txt", text);
    auto start = std::chrono::steady_clock::now();
    Call call({&file.path[0]}, {VALUE_STRING});
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_NE(call.result, nullptr) << call.err;
    EXPECT_EQ(call.result->rows, rows);
    EXPECT_EQ(call.result->cols, 5);
    EXPECT_EQ(call.result->data[5 * (rows - 1)], rows - 1 + 0.25);
    EXPECT_LT(seconds, 10.0);
}

}  // namespace
