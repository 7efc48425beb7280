// Strict reading of numeric attribute values for the model loaders: a value
// counts only when its whole text is one finite number, unlike the lenient
// XMLgetAttr*Value functions, which read "abc" as 0 and "2x" as 2.
#ifndef XML_FINITE_VALUES_H
#define XML_FINITE_VALUES_H

#include <string>

class XMLParser;

// How reading an attribute of the current element went.
enum class ValueRead {
    read,     // the value was stored
    missing,  // no such attribute (or no document); target untouched
    refused   // the text is not what was asked for; target untouched
};

// The attribute's whole text into value; false when there is none.
bool read_attribute_text(XMLParser** handle, const char* name, std::string* value);

// A whole number within int, read as the finite real that its text is (so
// "0x10" is 16 and "1e3" is 1000, while "1.5" and "1e300" are refused): the
// one rule for every size, count and integer setting.
bool read_whole_text(const char* text, int* target);

// One finite real (no "nan", no "inf"), with optional blanks around it.
bool read_finite_text(const char* text, double* target);

// The attribute as a whole number or as a finite real.
ValueRead read_whole_attribute(XMLParser** handle, const char* name, int* target);
ValueRead read_finite_attribute(XMLParser** handle, const char* name, double* target);

// A list attribute that must hold exactly count items, cut at every
// character of separators, each a finite real (so an empty field, or a
// separator at either end, is refused); they go to out[0..count-1]. When
// refused, out may hold some of the items.
ValueRead read_finite_list(XMLParser** handle, const char* name, const char* separators,
                           double* out, int count);

#endif
