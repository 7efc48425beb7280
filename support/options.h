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

#endif
