// Attribute texts cut into items and read with the whole item required to be
// the number (the XML library's strict texts); blanks around a number are
// allowed.
#include "plugins/model_attributes/attribute_numbers.h"

#include <string>

#include "xml/finite_values.h"

namespace {

AttributeRead as_attribute_read(ValueRead read)
{
    switch (read) {
    case ValueRead::read: return AttributeRead::ok;
    case ValueRead::missing: return AttributeRead::absent;
    default: return AttributeRead::not_number;
    }
}

}  // namespace

AttributeRead read_finite_list(XMLParser** handle, const char* name, long long count,
                               std::vector<double>* out)
{
    std::string text;
    if (XMLgetAttrArraySize(handle, name, ",") != count || !read_attribute_text(handle, name, &text))
        return AttributeRead::absent;
    out->clear();
    out->reserve(static_cast<size_t>(count));
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
        double value;
        if (!read_finite_text(item.c_str(), &value))
            return AttributeRead::not_number;
        out->push_back(value);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return AttributeRead::ok;  // no empty piece, so as many items as counted
}

AttributeRead read_finite_real(XMLParser** handle, const char* name, double* out)
{
    return as_attribute_read(read_finite_attribute(handle, name, out));
}

AttributeRead read_whole_number(XMLParser** handle, const char* name, int* out)
{
    return as_attribute_read(read_whole_attribute(handle, name, out));
}
