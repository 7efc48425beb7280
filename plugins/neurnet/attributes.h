// Attribute reading of any length through the exported XML functions.
#ifndef NEURNET_ATTRIBUTES_H
#define NEURNET_ATTRIBUTES_H

#include <string>
#include <vector>

#include "xml/xml_functions.h"

// The separators of neurnet's number lists: blank, tab, line feed, comma.
extern const char* const list_separators;

// The value of the current element's attribute; false when it is absent.
bool attribute_text(XMLParser** document, const char* name, std::string* value);

// True when the attribute is present and, lower-cased, begins with prefix.
bool attribute_begins(XMLParser** document, const char* name, const char* prefix);

// How an attribute that should hold numbers was found.
enum class NumberRead {
    absent,       // no such attribute
    read,         // every item a finite number
    not_a_number  // an item holds other text, nan or inf: the file is inconsistent
};

// The whole text, blanks around it aside, is one finite real.
bool finite_number_text(const char* text, double* value);

// The attribute read as one finite real; on not_a_number *text holds it.
NumberRead attribute_real(XMLParser** document, const char* name, double* value,
                          std::string* text);

// The number list of an attribute. On not_a_number, *position (1-based)
// and *item name the first item that is no finite real, or, for the int
// list, no whole number inside int.
NumberRead attribute_reals(XMLParser** document, const char* name, std::vector<double>* values,
                           int* position, std::string* item);
NumberRead attribute_ints(XMLParser** document, const char* name, std::vector<int>* values,
                          int* position, std::string* item);

// Changes ASCII A-Z to a-z in place; null stays null.
char* lowercase_in_place(char* text);

// The local time as the 24-character standard time text, no line end.
std::string time_text();

#endif
