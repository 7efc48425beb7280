// Attribute texts cut into items and read with the whole item required to be
// the number; blanks around a number are allowed.
#include "plugins/model_attributes/attribute_numbers.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool attribute_text(XMLParser** handle, const char* name, std::string* text)
{
    int size = XMLgetAttrValueSize(handle, name);
    if (size < 0)
        return false;
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    if (!XMLgetAttrValue(handle, name, buffer.data()))
        return false;
    text->assign(buffer.data());
    return true;
}

bool only_blanks(const char* p)
{
    return p[std::strspn(p, " \t\r\n")] == '\0';
}

bool finite_item(const char* item, double* out)
{
    char* end = nullptr;
    double value = std::strtod(item, &end);
    if (end == item || !only_blanks(end) || !std::isfinite(value))
        return false;
    *out = value;
    return true;
}

}  // namespace

AttributeRead read_finite_list(XMLParser** handle, const char* name, long long count,
                               std::vector<double>* out)
{
    std::string text;
    if (XMLgetAttrArraySize(handle, name, ",") != count || !attribute_text(handle, name, &text))
        return AttributeRead::absent;
    out->clear();
    out->reserve(static_cast<size_t>(count));
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
        double value;
        if (!finite_item(item.c_str(), &value))
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
    std::string text;
    if (!attribute_text(handle, name, &text))
        return AttributeRead::absent;
    return finite_item(text.c_str(), out) ? AttributeRead::ok : AttributeRead::not_number;
}

AttributeRead read_whole_number(XMLParser** handle, const char* name, int* out)
{
    std::string text;
    if (!attribute_text(handle, name, &text))
        return AttributeRead::absent;
    const char* start = text.c_str() + std::strspn(text.c_str(), " \t\r\n");
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(start, &end, 10);
    if (end == start || !only_blanks(end) || errno == ERANGE || value < INT_MIN ||
        value > INT_MAX)
        return AttributeRead::not_number;
    *out = static_cast<int>(value);
    return AttributeRead::ok;
}
