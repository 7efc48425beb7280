// Reader of numeric text tables: one row per line, numbers separated by
// blanks, tabs or commas, blank lines and "#" lines skipped.
#ifndef TEXTDATA_READER_H
#define TEXTDATA_READER_H

#include <string>
#include <vector>

// A table read from text.
struct TextTable {
    std::vector<double> values;  // rows * cols reals, row by row
    int rows = 0;                // data lines
    int cols = 0;                // numbers on every data line
};

// Parses `text` (the whole file contents) into `table`. On failure returns
// false with `error` set to a message without prefix or line end. May throw
// std::bad_alloc.
bool parse_text_table(const std::string& text, TextTable& table, std::string& error);

// Reads and parses the file at `path`, as parse_text_table.
bool read_text_table(const char* path, TextTable& table, std::string& error);

#endif
