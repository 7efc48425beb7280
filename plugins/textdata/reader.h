// Reader of numeric text tables: one row per line, numbers separated by
// blanks, tabs or commas, blank lines and "#" lines skipped. A comma
// separates two fields, so neither side of it may be empty.
#ifndef TEXTDATA_READER_H
#define TEXTDATA_READER_H

#include <cstddef>
#include <string>
#include <vector>

// A growing block of reals from malloc, so that the finished block becomes a
// database matrix without a copy.
class ValueBuffer {
public:
    ValueBuffer() = default;
    ~ValueBuffer();
    ValueBuffer(const ValueBuffer&) = delete;
    ValueBuffer& operator=(const ValueBuffer&) = delete;

    // Appends a value; false when no memory is left.
    bool push(double value);
    size_t size() const { return size_; }
    const double* data() const { return data_; }
    std::vector<double> to_vector() const { return std::vector<double>(data_, data_ + size_); }
    // Hands the block (shrunk to its size) to the caller, who frees it.
    double* release();

private:
    double* data_ = nullptr;  // size_ values, room for capacity_
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// A table read from text.
struct TextTable {
    ValueBuffer values;  // rows * cols reals, row by row
    int rows = 0;        // data lines
    int cols = 0;        // numbers on every data line
};

// Parses `text` (the whole file contents) into `table`. On failure returns
// false with `error` set to a message without prefix or line end, its
// non-printing bytes written as \xHH.
bool parse_text_table(const std::string& text, TextTable& table, std::string& error);

// Reads and parses the regular file at `path` piece by piece, stopping at the
// first bad line; anything else (a folder, a FIFO, a device) is refused
// without being read.
bool read_text_table(const char* path, TextTable& table, std::string& error);

#endif
