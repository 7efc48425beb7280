// Reading one setting from an option string such as "kernel=poly degree=2".
#ifndef SUPPORT_OPTIONS_H
#define SUPPORT_OPTIONS_H

// The value of key as a new heap text owned by the caller (free it with
// free); "" when key occurs without a later "="; null when options is null,
// key does not occur, or the copy cannot be allocated.
char* get_option_value(const char* options, const char* key);

// The real value of key in options (as by atof: a text that is no number
// gives 0), or fallback when options is null or the key does not occur.
double read_real_option(const char* options, const char* key, double fallback);

// A real truncated toward zero; values beyond the int range are clamped and
// NaN gives 0, so that no option or file text makes the conversion undefined.
int truncate_to_int(double value);

// The value of key read as a real and truncated as above; fallback when
// options is null or the key does not occur.
int read_int_option(const char* options, const char* key, int fallback);

// How reading a whole-number option went.
enum class OptionRead {
    absent,  // no options, or the key does not occur; target untouched
    read,    // the value was stored
    refused  // the text is not a whole number within int; target untouched
};

// The value of key as a whole number within int, read as the finite real
// its text is ("0x10" is 16, "1e3" is 1000; "", "3abc", "1.5", "1e300" and
// "-2147483649" are refused): the one rule of every count and integer
// setting, so that the number checked is the number used.
OptionRead read_whole_option(const char* options, const char* key, int* target);

#endif
