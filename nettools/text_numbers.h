// Strict conversions of text fields: the whole field must be the number,
// with blanks, tabs and carriage returns allowed around it.
#ifndef NETTOOLS_TEXT_NUMBERS_H
#define NETTOOLS_TEXT_NUMBERS_H

#include <string>

// A finite real that also stays finite as a 32-bit float.
bool parse_real(const std::string& text, double* value);
// A whole number within the range of an int ("3" or "3.0").
bool parse_whole(const std::string& text, int* value);
// True when text holds nothing but blanks, tabs and carriage returns.
bool is_blank(const std::string& text);

#endif
