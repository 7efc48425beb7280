// Reading the text files: opening regular files only, whole lines, and
// whitespace-separated numbers, each checked as a whole.
#ifndef NETTOOLS_TOKEN_READER_H
#define NETTOOLS_TOKEN_READER_H

#include <cstdio>
#include <string>

// Opens path for reading when it is a regular file, under a shared lock
// held until the stream is closed, so that a save writing it in place is
// never read half-way. Null with refusal empty when nothing stands at path;
// null with refusal set to the reason when it is a FIFO, a device or a
// folder (never waited on), when it is there but cannot be opened (no
// permission, for one), or when another process kept it locked.
FILE* open_input(const std::string& path, std::string* refusal);

// Lines of any length, NUL bytes kept, without their line feed.
class LineReader {
public:
    explicit LineReader(FILE* file) : file_(file) {}
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    // False at the end of the file; a last line without line feed counts.
    bool next(std::string* line);

private:
    FILE* file_;            // borrowed, open for reading
    char* buffer_ = nullptr;  // getline's buffer
    size_t capacity_ = 0;   // its size
};

class TokenReader {
public:
    explicit TokenReader(FILE* file) : file_(file) {}
    // Each returns false at the end of the file or on a token that is not
    // the number asked for.
    bool read_int(int* value);
    bool read_float(float* value);

private:
    bool next(std::string* token);
    FILE* file_;  // borrowed, open for reading
};

// Size of an open file in bytes, or -1.
long long file_size(FILE* file);

#endif
