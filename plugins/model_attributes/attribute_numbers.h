// Strict readers of the numeric attributes of a model file's current element:
// the whole value, or each item of a "," list, must be the number and nothing
// else, so that text, an empty item, nan or inf is refused instead of being
// read as 0 or carried into a model.
#ifndef MODEL_ATTRIBUTES_ATTRIBUTE_NUMBERS_H
#define MODEL_ATTRIBUTES_ATTRIBUTE_NUMBERS_H

#include <vector>

#include "xml/xml_functions.h"

// What a strict read found.
enum class AttributeRead {
    ok,          // the value was read
    absent,      // no such attribute; for a list, also one of another length
    not_number,  // present, but not a number of the kind asked for
};

// A list of count finite reals separated by ",". The item count is the XML
// library's (empty pieces are not counted), so that a list of the wrong
// length reads as absent, as the size checks have always reported it; a list
// of the right count with an empty piece is not_number.
AttributeRead read_finite_list(XMLParser** handle, const char* name, long long count,
                               std::vector<double>* out);

// One finite real.
AttributeRead read_finite_real(XMLParser** handle, const char* name, double* out);

// One whole number within the range of an int: a finite real with no
// fractional part ("0x10" is 16, "1e3" is 1000; "1.5" is refused).
AttributeRead read_whole_number(XMLParser** handle, const char* name, int* out);

#endif
