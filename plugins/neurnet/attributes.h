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

// The number list of an attribute; false when it is absent.
bool attribute_reals(XMLParser** document, const char* name, std::vector<double>* values);
bool attribute_ints(XMLParser** document, const char* name, std::vector<int>* values,
                    int fill);

// Changes ASCII A-Z to a-z in place; null stays null.
char* lowercase_in_place(char* text);

// The local time as the 24-character standard time text, no line end.
std::string time_text();

#endif
