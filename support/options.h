// Reading one setting from an option string such as "kernel=poly degree=2".
#ifndef SUPPORT_OPTIONS_H
#define SUPPORT_OPTIONS_H

// The value of key as a new heap text owned by the caller (free it with
// free); "" when key occurs without a later "="; null when options is null,
// key does not occur, or the copy cannot be allocated.
char* get_option_value(const char* options, const char* key);

// How reading a numeric option went.
enum class OptionRead {
    absent,  // no options, or the key does not occur; target untouched
    read,    // the value was stored
    refused  // the text is not a number of the kind asked for; target untouched
};

// Every numeric setting is read by one rule: its whole text must be one
// finite real ("0x10" is 16, "1e3" is 1000; "", "abc", "3abc", "nan", "inf"
// and "1e999" are refused), so that the number checked is the number used.

// The value of key as a finite real.
OptionRead read_real_option(const char* options, const char* key, double* target);

// The value of key as a whole number within int ("1.5", "1e300" and
// "-2147483649" are refused too).
OptionRead read_whole_option(const char* options, const char* key, int* target);

// read_real_option for a training function's setting: true when the value
// was read or the key is absent (target then keeps its default); false after
// "<prefix>: the option <key> (\"<text>\") is not a finite number\n".
bool read_real_setting(const char* options, const char* key, double* target, const char* prefix);

#endif
