// The formatter behind the script function `write`: expands a format text
// with script values into a fixed buffer.
#ifndef TOOLBELT_FORMAT_H
#define TOOLBELT_FORMAT_H

// Size of every buffer of the formatter; texts hold at most one less.
constexpr int WRITE_BUFFER_SIZE = 8192;

// Expands `format` (at most WRITE_BUFFER_SIZE - 1 characters) with the
// arguments values[1..count-1] (types in `types`) into `output`, which holds
// WRITE_BUFFER_SIZE bytes. Returns the length of the text, which may contain
// NUL bytes (from "%c" with 0); output[length] is a NUL.
int format_write(const char* format, void** values, const int* types,
                 int count, char* output);

#endif
