// Queries on the current element: attributes, list values and texts. None
// moves the cursor; what does not exist gives -1, null, 0 or the default.
#include <cstdlib>
#include <cstring>

#include "xml/XMLParser.h"
#include "xml/guard.h"
#include "xml/lists.h"
#include "xml/node.h"

namespace {

// One number from each item into out[0], out[1], ...; an item without a
// number leaves its slot as it was.
template <typename T>
T* read_numbers(const XMLNode* attr, T* out, const char* separators,
                bool (*read)(const char*, T*))
{
    if (!attr || !out)
        return nullptr;
    ListItems items(attr->value, separators);
    for (int i = 0; i < items.count(); ++i)
        read(items.item(i), &out[i]);
    return out;
}

}  // namespace

XMLNode* XMLParser::attribute(const char* name) const
{
    return current ? current->findAttribute(name) : nullptr;
}

XMLNode* XMLParser::first_text() const
{
    for (XMLNode* c = current ? current->firstChild : nullptr; c; c = c->nextSibling)
        if (c->type == XML_TEXT)
            return c;
    return nullptr;
}

int XMLParser::hasAttr(const char* name, const char* value)
{
    XMLNode* attr = attribute(name);
    return attr && value && strcmp(attr->value, value) == 0 ? 1 : 0;
}

int XMLParser::hasAttr(const char* name)
{
    return attribute(name) ? 1 : 0;
}

int XMLParser::getAttrCount()
{
    int count = 0;
    for (XMLNode* a = current ? current->firstAttribute : nullptr; a; a = a->nextAttribute)
        ++count;
    return count;
}

void XMLParser::getAttrs(char** names, char** values)
{
    int i = 0;
    for (XMLNode* a = current ? current->firstAttribute : nullptr; a; a = a->nextAttribute, ++i) {
        if (names && names[i])
            strcpy(names[i], a->name);
        if (values && values[i])
            strcpy(values[i], a->value);
    }
}

int XMLParser::getAttrValueSize(const char* name)
{
    XMLNode* attr = attribute(name);
    return attr ? static_cast<int>(strlen(attr->value)) : -1;
}

char* XMLParser::getAttrValue(const char* name, char* buffer)
{
    XMLNode* attr = attribute(name);
    if (!attr || !buffer)
        return nullptr;
    return strcpy(buffer, attr->value);
}

// Like atoi (leading blanks, a sign, digits), but a value beyond int is clamped.
int XMLParser::getAttrIntValue(const char* name, int defaultValue)
{
    XMLNode* attr = attribute(name);
    if (!attr)
        return defaultValue;
    int value = 0;
    read_int_item(attr->value, &value);
    return value;
}

double XMLParser::getAttrDoubleValue(const char* name, double defaultValue)
{
    XMLNode* attr = attribute(name);
    return attr ? atof(attr->value) : defaultValue;
}

int XMLParser::getAttrArraySize(const char* name, const char* separators)
{
    return guarded([&]() -> int {
        XMLNode* attr = attribute(name);
        return attr ? ListItems(attr->value, separators).count() : -1;
    });
}

int* XMLParser::getAttrIntArrayValue(const char* name, int* out, const char* separators)
{
    return guarded([&]() -> int* {
        return read_numbers(attribute(name), out, separators, read_int_item);
    });
}

double* XMLParser::getAttrDoubleArrayValue(const char* name, double* out, const char* separators)
{
    return guarded([&]() -> double* {
        return read_numbers(attribute(name), out, separators, read_double_item);
    });
}

char** XMLParser::getAttrStringArrayValue(const char* name, char** out, const char* separators)
{
    return guarded([&]() -> char** {
        XMLNode* attr = attribute(name);
        if (!attr || !out)
            return nullptr;
        ListItems items(attr->value, separators);
        for (int i = 0; i < items.count(); ++i)
            if (out[i])
                strcpy(out[i], items.item(i));
        return out;
    });
}

int XMLParser::hasText()
{
    return first_text() ? 1 : 0;
}

int XMLParser::getTextSize()
{
    XMLNode* text = first_text();
    return text ? static_cast<int>(strlen(text->value)) : -1;
}

char* XMLParser::getText(char* buffer)
{
    XMLNode* text = first_text();
    if (!text || !buffer)
        return nullptr;
    return strcpy(buffer, text->value);
}
