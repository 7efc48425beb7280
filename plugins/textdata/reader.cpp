// Text table reader. A data line is a run of numbers; a number is a decimal
// numeral (sign, digits, point, exponent) with a finite value, so "nan",
// "inf", hexadecimal and overflowing numerals are refused. A carriage return
// before a line feed (or at the end of the file) belongs to the line end.
#include "reader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Offending texts are quoted in messages up to this many characters.
constexpr size_t QUOTE_LIMIT = 40;

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ','; }

bool is_numeral_char(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
}

// Reads the number [begin, end) (followed by a character that no numeral
// holds, so strtod stops there); false when it is no number.
bool parse_number(const char* begin, const char* end, double* value)
{
    for (const char* p = begin; p < end; ++p)
        if (!is_numeral_char(*p))
            return false;
    char* stop = nullptr;
    *value = strtod(begin, &stop);
    return stop == end && std::isfinite(*value);
}

// Appends the numbers of the line [begin, end) to `values`; returns how many,
// or -1 with the offending text in `bad`.
int parse_line(const char* begin, const char* end, std::vector<double>& values, std::string& bad)
{
    int count = 0;
    const char* p = begin;
    while (true) {
        while (p < end && is_separator(*p))
            ++p;
        if (p == end)
            return count;
        const char* token = p;
        while (p < end && !is_separator(*p))
            ++p;
        double value;
        if (!parse_number(token, p, &value)) {
            bad.assign(token, std::min<size_t>(p - token, QUOTE_LIMIT));
            return -1;
        }
        values.push_back(value);
        ++count;
    }
}

// A line with nothing but separators, or whose first other character is "#".
bool is_skipped(const char* begin, const char* end)
{
    while (begin < end && is_separator(*begin))
        ++begin;
    return begin == end || *begin == '#';
}

// Adds one data line to the table; false with `error` set on a bad line.
bool add_line(const char* begin, const char* end, long line, TextTable& table, std::string& error)
{
    std::string bad;
    int count = parse_line(begin, end, table.values, bad);
    char message[128];
    if (count < 0) {
        snprintf(message, sizeof message, "line %ld: '", line);
        error = message + bad + "' is not a number";
        return false;
    }
    if (table.rows > 0 && count != table.cols) {
        snprintf(message, sizeof message, "line %ld has %d values, expected %d", line, count, table.cols);
        error = message;
        return false;
    }
    if (table.rows == INT_MAX || static_cast<long long>(table.rows + 1) * count > INT_MAX) {
        error = "too many values";
        return false;
    }
    table.cols = count;
    ++table.rows;
    return true;
}

}  // namespace

bool parse_text_table(const std::string& text, TextTable& table, std::string& error)
{
    const char* p = text.c_str();
    const char* stop = p + text.size();
    for (long line = 1; p < stop; ++line) {
        const char* newline = static_cast<const char*>(memchr(p, '\n', stop - p));
        const char* end = newline ? newline : stop;
        const char* line_end = (end > p && end[-1] == '\r') ? end - 1 : end;
        if (!is_skipped(p, line_end) && !add_line(p, line_end, line, table, error))
            return false;
        p = newline ? newline + 1 : stop;
    }
    if (table.rows == 0) {
        error = "no data";
        return false;
    }
    return true;
}

bool read_text_table(const char* path, TextTable& table, std::string& error)
{
    FILE* file = fopen(path, "rb");
    if (!file) {
        error = std::string("cannot open file '") + path + "'";
        return false;
    }
    std::string text;
    char chunk[1 << 16];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        error = std::string("cannot read file '") + path + "'";
        return false;
    }
    if (!parse_text_table(text, table, error)) {
        error = std::string("'") + path + "': " + error;
        return false;
    }
    return true;
}
