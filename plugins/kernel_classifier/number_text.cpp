// Checking attribute texts that stand for numbers before they are read: the
// XML readers take "abc" as 0 and "nan" as NaN, which would flow into
// training, the outputs and saved files.
#include "plugins/kernel_classifier/number_text.h"

#include <cstring>
#include <string>

#include "xml/finite_values.h"

bool is_finite_number_text(const char* text)
{
    double value;
    return read_finite_text(text, &value);
}

bool attribute_items_finite(XMLParser** h, const char* name, const char* separators)
{
    std::string text;
    if (!read_attribute_text(h, name, &text))
        return true;
    // Cut in place: each separator becomes the end of the item before it.
    for (char& c : text)
        if (std::strchr(separators, c) != nullptr)
            c = '\0';
    for (size_t at = 0; at < text.size(); at += std::strlen(text.c_str() + at) + 1)
        if (text[at] != '\0' && !is_finite_number_text(text.c_str() + at))
            return false;
    return true;
}
