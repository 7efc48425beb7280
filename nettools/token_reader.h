// Whitespace-separated numbers from a text file, each checked as a whole.
#ifndef NETTOOLS_TOKEN_READER_H
#define NETTOOLS_TOKEN_READER_H

#include <cstdio>
#include <string>

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
