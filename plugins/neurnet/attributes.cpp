// Attribute texts and number lists read whole, whatever their length.
#include "plugins/neurnet/attributes.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "xml/finite_values.h"
#include "xml/lists.h"

const char* const list_separators = " \t\n,";

bool attribute_text(XMLParser** document, const char* name, std::string* value)
{
    return read_attribute_text(document, name, value);
}

bool attribute_begins(XMLParser** document, const char* name, const char* prefix)
{
    std::string value;
    if (!attribute_text(document, name, &value)) return false;
    lowercase_in_place(&value[0]);
    return value.compare(0, std::strlen(prefix), prefix) == 0;
}

bool finite_number_text(const char* text, double* value)
{
    return read_finite_text(text, value);
}

NumberRead attribute_real(XMLParser** document, const char* name, double* value,
                          std::string* text)
{
    if (!attribute_text(document, name, text)) return NumberRead::absent;
    return finite_number_text(text->c_str(), value) ? NumberRead::read : NumberRead::not_a_number;
}

namespace {

// Every item of the list through read; the first that fails is reported.
template <typename T>
NumberRead read_list(XMLParser** document, const char* name, std::vector<T>* values,
                     int* position, std::string* item, bool (*read)(const char*, T*))
{
    std::string text;
    if (!attribute_text(document, name, &text)) return NumberRead::absent;
    const ListItems items(text.c_str(), list_separators);
    values->assign(static_cast<size_t>(items.count()), T());
    for (int i = 0; i < items.count(); ++i)
        if (!read(items.item(i), &(*values)[i])) {
            *position = i + 1;
            item->assign(items.item(i));
            return NumberRead::not_a_number;
        }
    return NumberRead::read;
}

}  // namespace

NumberRead attribute_reals(XMLParser** document, const char* name, std::vector<double>* values,
                           int* position, std::string* item)
{
    return read_list(document, name, values, position, item, finite_number_text);
}

NumberRead attribute_ints(XMLParser** document, const char* name, std::vector<int>* values,
                          int* position, std::string* item)
{
    return read_list(document, name, values, position, item, read_whole_text);
}

char* lowercase_in_place(char* text)
{
    if (!text) return text;
    for (char* p = text; *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    return text;
}

std::string time_text()
{
    const std::time_t now = std::time(nullptr);
    char buffer[64] = "";
    const std::tm* local = std::localtime(&now);
    if (local) std::strftime(buffer, sizeof buffer, "%a %b %e %H:%M:%S %Y", local);
    return buffer;
}
