// Tests of the data-reading plug-in: the text table reader and the script
// function load_database with files in a temporary folder.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
        {"skipped lines, no final line feed", "# head\n\n1 2\n \t\n  # x\n3 4", 2, 2, {1, 2, 3, 4}},
        {"blanks around commas", "1 , 2\t,3\n4,5 6\n", 2, 3, {1, 2, 3, 4, 5, 6}},
        {"numerals", "-1.5e3 +2 .5 1E-2 7.\n", 1, 5, {-1500, 2, 0.5, 0.01, 7}},
        {"one column", "1\n2\n3\n", 3, 1, {1, 2, 3}},
        {"a number of 1024 characters", std::string(1023, '0') + "7\n", 1, 1, {7}},
    };
    for (const auto& c : cases) {
        TextTable table;
        std::string error;
        ASSERT_TRUE(parse_text_table(c.text, table, error)) << c.label << ": " << error;
        EXPECT_EQ(table.rows, c.rows) << c.label;
        EXPECT_EQ(table.cols, c.cols) << c.label;
        EXPECT_EQ(table.values.to_vector(), c.values) << c.label;
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
        {"1 2\r3 4\n", "line 1: '2\\x0d3' is not a number"},
        {std::string("1 \0 2\n", 6), "line 1: '\\x00' is not a number"},
        {"1 2\n3 4 # note\n", "line 2: '#' is not a number"},
        {"1 2#3\n", "line 1: '2#3' is not a number"},
        {"1 " + std::string(40, 'x') + "\n", "line 1: '" + std::string(40, 'x') + "' is not a number"},
        {"1 " + std::string(100, '9') + "z\n", "line 1: '" + std::string(40, '9') + "'... is not a number"},
        {std::string(1024, '0') + "7\n",
         "line 1: '" + std::string(40, '0') + "'... is not a number (more than 1024 characters)"},
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

// Prefix of this process's scratch files: test programs of several builds
// may run at the same time.
std::string scratch_prefix()
{
    return testing::TempDir() + "textdata_" + std::to_string(getpid()) + "_";
}

// A file in the test's temporary folder, removed afterwards.
struct TempFile {
    std::string path;
    explicit TempFile(const std::string& name, const std::string& contents = "")
        : path(scratch_prefix() + name)
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
    std::string missing = scratch_prefix() + "missing.txt";
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
        {{&missing[0]}, {VALUE_STRING}, "load_database: cannot open file '" + missing + "': No such file or directory\n"},
        {{&folder[0]}, {VALUE_STRING}, "load_database: cannot open file '" + folder + "': Is a directory\n"},
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

// Rows of the large-file check; the sanitizer build may lower it through the
// environment variable TEXTDATA_PERF_ROWS.
int perf_rows()
{
    const char* text = getenv("TEXTDATA_PERF_ROWS");
    return text ? atoi(text) : 1000000;
}

TEST(LoadDatabase, LoadsAMillionRows)
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
    Call call({&file.path[0]}, {VALUE_STRING});
    ASSERT_NE(call.result, nullptr) << call.err;
    ASSERT_EQ(call.result->rows, rows);
    ASSERT_EQ(call.result->cols, 5);
    EXPECT_EQ(call.result->data[5 * (rows - 1)], rows - 1 + 0.25);
}

// A comma separates two fields, each of which must hold a number, so a
// missing value can no longer shift the columns of a row that still fits.
TEST(ParseTextTable, RefusesEmptyFieldsAroundCommas)
{
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"1,,2\n", "line 1: empty field"},
        {"1,2,3\n4,,5,6\n", "line 2: empty field"},
        {",1,2\n", "line 1: empty field"},
        {"  ,1\n", "line 1: empty field"},
        {"1,2,\n", "line 1: empty field"},
        {"1,2\n3,4,\r\n", "line 2: empty field"},
        {"1,2\n3,4, \t", "line 2: empty field"},
        {"1, ,2\n", "line 1: empty field"},
        {"# head\n,,\n", "line 2: empty field"},
        {"1 2\n3,\n", "line 2: empty field"},
    };
    for (const auto& c : cases) {
        TextTable table;
        std::string error;
        EXPECT_FALSE(parse_text_table(c.text, table, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

// A NUL or control byte in a bad value is shown as \xHH and the message goes
// on to its end.
TEST(LoadDatabase, PrintsTheWholeMessageWithNonPrintingBytesEscaped)
{
    const struct {
        std::string contents;
        std::string tail;  // the message after the file name
    } cases[] = {
        {std::string("1 2\nab\0c 4\n", 11), "line 2: 'ab\\x00c' is not a number"},
        {"1 2\n3 \x1b[2J\n", "line 2: '\\x1b[2J' is not a number"},
        {"1 \xff\xfe\n", "line 1: '\\xff\\xfe' is not a number"},
        {"1 \\x41\n", "line 1: '\\x41' is not a number"},
    };
    int n = 0;
    for (const auto& c : cases) {
        TempFile file("bytes" + std::to_string(n++) + ".txt", c.contents);
        Call call({&file.path[0]}, {VALUE_STRING});
        EXPECT_EQ(call.result, nullptr);
        EXPECT_EQ(call.err, "load_database: '" + file.path + "': " + c.tail + "\n");
    }
}

// Runs read_text_table on path in a child process that an alarm ends after
// a few seconds, so a read that blocks or never ends fails the test instead
// of hanging it. Returns the error text, or "<killed>" / "<read>".
std::string bounded_read_error(const std::string& path)
{
    int channel[2];
    if (pipe(channel) != 0)
        return "<pipe>";
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        alarm(30);
        TextTable table;
        std::string error;
        if (read_text_table(path.c_str(), table, error))
            error = "<read>";
        ssize_t written = write(channel[1], error.data(), error.size());
        _exit(written == static_cast<ssize_t>(error.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string error;
    char piece[256];
    ssize_t got;
    while ((got = read(channel[0], piece, sizeof piece)) > 0)
        error.append(piece, static_cast<size_t>(got));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? error : "<killed>";
}

TEST(ReadTextTable, RefusesWhatIsNotARegularFileAndSaysWhy)
{
    std::string fifo = scratch_prefix() + "fifo";
    remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TempFile locked("locked.txt", "1 2\n");
    chmod(locked.path.c_str(), 0);
    std::string folder = testing::TempDir();
    const struct {
        std::string path;
        std::string error;
    } cases[] = {
        {fifo, "cannot open file '" + fifo + "': not a regular file"},
        {"/dev/zero", "cannot open file '/dev/zero': not a regular file"},
        {"/dev/null", "cannot open file '/dev/null': not a regular file"},
        {folder, "cannot open file '" + folder + "': Is a directory"},
        {folder + "missing/x.txt", "cannot open file '" + folder + "missing/x.txt': No such file or directory"},
        {locked.path, geteuid() == 0 ? "<read>" : "cannot open file '" + locked.path + "': Permission denied"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bounded_read_error(c.path), c.error);
    remove(fifo.c_str());
}

// A file of 4 GiB whose second line is all NUL bytes (a sparse file, so it
// costs no disk): the read stops inside that line, without holding the file.
TEST(ReadTextTable, StopsReadingAtTheFirstBadLine)
{
    TempFile file("sparse.txt", "1 2\n");
    int fd = open(file.path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t{1} << 32), 0);
    close(fd);
    std::string nuls;
    for (int i = 0; i < 40; ++i)
        nuls += "\\x00";
    EXPECT_EQ(bounded_read_error(file.path), "'" + file.path + "': line 2: '" + nuls +
                                                 "'... is not a number (more than 1024 characters)");
}

}  // namespace

namespace {

// The file is read in pieces of 64 KiB: a line end, a number, a comma field
// or a comment cut by a piece boundary must read exactly as in one piece.
TEST(ReadTextTable, PieceBoundariesChangeNothing)
{
    const size_t piece = 1 << 16;
    const struct {
        const char* label;
        std::string tail;  // text placed so that the boundary falls after `split` of its bytes
        size_t split;
    } cases[] = {
        {"between CR and LF", "1,2\r\n3,4\n", 4},
        {"before a lone CR", "1 2\r3 4\n", 3},
        {"inside a number", "12345.678 9\n1 2\n", 3},
        {"after a comma", "1,2\n3,4\n", 6},
        {"before an empty field", "1,2\n3,,4\n", 6},
        {"inside a comment", "# a comment\n5 6\n", 5},
        {"final CR", "7 8\r", 3},
    };
    for (const auto& c : cases) {
        // A first line of the same width, padded with blanks up to the boundary.
        std::string text = "0 0";
        text += std::string(piece - c.split - text.size() - 1, ' ') + "\n" + c.tail;
        ASSERT_EQ(text.size() - c.tail.size() + c.split, piece) << c.label;
        TextTable whole, pieces;
        std::string whole_error, pieces_error;
        bool whole_ok = parse_text_table(text, whole, whole_error);
        TempFile file("pieces.txt", text);
        bool pieces_ok = read_text_table(file.path.c_str(), pieces, pieces_error);
        EXPECT_EQ(pieces_ok, whole_ok) << c.label;
        EXPECT_EQ(pieces.values.to_vector(), whole.values.to_vector()) << c.label;
        if (!whole_ok) {
            EXPECT_EQ(pieces_error, "'" + file.path + "': " + whole_error) << c.label;
        }
    }
}

}  // namespace
