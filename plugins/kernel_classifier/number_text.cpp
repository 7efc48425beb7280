// Checking attribute texts that stand for numbers before they are read: the
// XML readers take "abc" as 0 and "nan" as NaN, which would flow into
// training, the outputs and saved files.
#include "plugins/kernel_classifier/number_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "xml/xml_functions.h"

namespace {

// The attribute's text; false when the current element lacks it.
bool attribute_text(XMLParser** h, const char* name, std::string* text)
{
    int size = XMLgetAttrValueSize(h, name);
    if (size < 0)
        return false;
    text->assign(static_cast<size_t>(size), '\0');
    if (size > 0)
        XMLgetAttrValue(h, name, &(*text)[0]);
    return true;
}

}  // namespace

bool is_finite_number_text(const char* text)
{
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text)
        return false;
    while (std::isspace(static_cast<unsigned char>(*end)))
        end++;
    return *end == '\0' && std::isfinite(value);
}

bool attribute_absent_or_finite(XMLParser** h, const char* name)
{
    std::string text;
    return !attribute_text(h, name, &text) || is_finite_number_text(text.c_str());
}

bool attribute_items_finite(XMLParser** h, const char* name, const char* separators)
{
    std::string text;
    if (!attribute_text(h, name, &text))
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
