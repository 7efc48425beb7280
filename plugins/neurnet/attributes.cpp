// Attribute texts and number lists read whole, whatever their length.
#include "plugins/neurnet/attributes.h"

#include <cstring>
#include <ctime>

const char* const list_separators = " \t\n,";

bool attribute_text(XMLParser** document, const char* name, std::string* value)
{
    const int size = XMLgetAttrValueSize(document, name);
    if (size < 0) return false;
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    if (!XMLgetAttrValue(document, name, buffer.data())) return false;
    value->assign(buffer.data());
    return true;
}

bool attribute_begins(XMLParser** document, const char* name, const char* prefix)
{
    std::string value;
    if (!attribute_text(document, name, &value)) return false;
    lowercase_in_place(&value[0]);
    return value.compare(0, std::strlen(prefix), prefix) == 0;
}

bool attribute_reals(XMLParser** document, const char* name, std::vector<double>* values)
{
    const int size = XMLgetAttrArraySize(document, name, list_separators);
    if (size < 0) return false;
    values->assign(static_cast<size_t>(size) + 1, 0.0);  // one spare: never a null buffer
    XMLgetAttrDoubleArrayValue(document, name, values->data(), list_separators);
    values->resize(size);
    return true;
}

// Items that hold no number keep the fill value.
bool attribute_ints(XMLParser** document, const char* name, std::vector<int>* values,
                    int fill)
{
    const int size = XMLgetAttrArraySize(document, name, list_separators);
    if (size < 0) return false;
    values->assign(static_cast<size_t>(size) + 1, fill);
    XMLgetAttrIntArrayValue(document, name, values->data(), list_separators);
    values->resize(size);
    return true;
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
