// Strict number texts and the attribute readers built on them.
#include "xml/finite_values.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

#include "xml/xml_functions.h"

namespace {

// Nothing but blanks from text on.
bool only_blanks(const char* text)
{
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r')
        ++text;
    return *text == '\0';
}

}  // namespace

bool read_attribute_text(XMLParser** handle, const char* name, std::string* value)
{
    int size = XMLgetAttrValueSize(handle, name);
    if (size < 0)
        return false;
    value->assign(static_cast<size_t>(size) + 1, '\0');
    if (XMLgetAttrValue(handle, name, &(*value)[0]) == nullptr)
        return false;
    value->resize(static_cast<size_t>(size));
    return true;
}

bool read_whole_text(const char* text, int* target)
{
    double value;
    if (!read_finite_text(text, &value) || value != std::trunc(value) ||
        value < static_cast<double>(INT_MIN) || value > static_cast<double>(INT_MAX))
        return false;
    *target = static_cast<int>(value);
    return true;
}

bool read_finite_text(const char* text, double* target)
{
    char* end;
    double value = strtod(text, &end);
    if (end == text || !only_blanks(end) || !std::isfinite(value))
        return false;
    *target = value;
    return true;
}

ValueRead read_whole_attribute(XMLParser** handle, const char* name, int* target)
{
    std::string text;
    if (!read_attribute_text(handle, name, &text))
        return ValueRead::missing;
    return read_whole_text(text.c_str(), target) ? ValueRead::read : ValueRead::refused;
}

ValueRead read_finite_attribute(XMLParser** handle, const char* name, double* target)
{
    std::string text;
    if (!read_attribute_text(handle, name, &text))
        return ValueRead::missing;
    return read_finite_text(text.c_str(), target) ? ValueRead::read : ValueRead::refused;
}

ValueRead read_finite_list(XMLParser** handle, const char* name, const char* separators,
                           double* out, int count)
{
    std::string text;
    if (!read_attribute_text(handle, name, &text))
        return ValueRead::missing;
    const char* cut = separators ? separators : "";
    // Each separator ends one item, so an empty field is an item that fails.
    int items = 0;
    size_t start = 0;
    for (;;) {
        size_t stop = text.find_first_of(cut, start);
        bool last = stop == std::string::npos;
        if (!last)
            text[stop] = '\0';
        if (items == count || !read_finite_text(text.c_str() + start, &out[items]))
            return ValueRead::refused;
        ++items;
        if (last)
            break;
        start = stop + 1;
    }
    return items == count ? ValueRead::read : ValueRead::refused;
}
