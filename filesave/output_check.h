// Refusing, before a long job starts, an output file that the save could
// not replace or create.
#ifndef XML_OUTPUT_CHECK_H
#define XML_OUTPUT_CHECK_H

// True when a save could replace or create file now. Otherwise prints
// "<prefix>: the <what> '<file>' cannot be written: <why>; nothing is
// trained" and returns false.
bool output_writable(const char* prefix, const char* what, const char* file);

#endif
