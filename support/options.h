// Reading one setting from an option string such as "kernel=poly degree=2".
#ifndef SUPPORT_OPTIONS_H
#define SUPPORT_OPTIONS_H

// The value of key as a new heap text owned by the caller (free it with
// free); "" when key occurs without a later "="; null when options is null,
// key does not occur, or the copy cannot be allocated.
char* get_option_value(const char* options, const char* key);

#endif
