// print_message and fatal_message: format, then write the text unchanged.
#include "messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Formats into a 4096-byte buffer, growing it when the text is longer, so a
// message is never cut. The text is written with fwrite, never re-read as a
// format, so a "%" in it stays a plain character.
int write_formatted(const char* format, va_list args)
{
    char buffer[4096];
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (length < 0)
        return length;
    if (static_cast<size_t>(length) < sizeof buffer)
        return static_cast<int>(fwrite(buffer, 1, length, stderr)) == length ? length : -1;
    std::vector<char> large(static_cast<size_t>(length) + 1);
    vsnprintf(large.data(), large.size(), format, args);
    return static_cast<int>(fwrite(large.data(), 1, length, stderr)) == length ? length : -1;
}

}  // namespace

int print_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int written = write_formatted(format, args);
    va_end(args);
    return written;
}

void fatal_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    write_formatted(format, args);
    va_end(args);
    exit(1);
}
