// Edits under the cursor. Element operations insert the indentation texts
// themselves: before a child element of an element at depth d stands a line
// feed and d tabs, after its last child a line feed and d - 1 tabs.
#include <cstdio>
#include <cstring>
#include <string>

#include "xml/XMLParser.h"
#include "xml/document.h"
#include "xml/guard.h"
#include "xml/lists.h"
#include "xml/node.h"
#include "xml/variant.h"

namespace {

XMLNode* indentation(int tabs)
{
    std::string text = "\n" + std::string(static_cast<size_t>(tabs), '\t');
    return new_text(text.data(), text.size());
}

bool is_self_or_ancestor(const XMLNode* candidate, const XMLNode* node)
{
    for (; node; node = node->parent)
        if (node == candidate)
            return true;
    return false;
}

}  // namespace

// The new element goes before a trailing text (the closing indentation);
// when the last child is an element (a file without indentation), the new
// element is appended with its indentation and a closing one. A name that
// is no XML name, or an element deeper than the reader accepts, is refused.
int XMLParser::addChildElement(const char* name)
{
    return guarded([&]() -> int {
        int depth = getDepth();
        if (!current || !is_xml_name(name) || depth < 1 || depth >= kMaxDepth)
            return 0;
        XMLNode* last = current->lastChild;
        if (last && last->type == XML_TEXT) {
            last->insertBefore(indentation(depth));
            last->insertBefore(new_element(name));
            return 1;
        }
        current->appendChild(indentation(depth));
        current->appendChild(new_element(name));
        current->appendChild(indentation(depth - 1));
        return 1;
    });
}

int XMLParser::addSiblingElementBeforeMe(const char* name)
{
    return guarded([&]() -> int {
        int depth = getDepth();
        if (!current || !is_xml_name(name) || depth < 2)
            return 0;
        current->insertBefore(new_element(name));
        current->insertBefore(indentation(depth - 1));
        return 1;
    });
}

int XMLParser::changeOrAddAttribute(const char* name, const char* value)
{
    return guarded([&]() -> int {
        if (!current || current->type != XML_ELEMENT || !is_xml_name(name) || !value)
            return 0;
        current->appendChild(new_attribute(name, value));
        return 1;
    });
}

int XMLParser::changeOrAddIntAttribute(const char* name, int value)
{
    return guarded([&]() -> int {
        return changeOrAddAttribute(name, std::to_string(value).c_str());
    });
}

int XMLParser::changeOrAddDoubleAttribute(const char* name, double value)
{
    return guarded([&]() -> int {
        char text[64];
        snprintf(text, sizeof text, kRealFormat, value);
        return changeOrAddAttribute(name, text);
    });
}

// A missing array of values is refused, not stored as an empty list.
int XMLParser::changeOrAddIntArrayAttribute(const char* name, const int* values, int count,
                                            const char* separator)
{
    return guarded([&]() -> int {
        if (!values && count > 0)
            return 0;
        return changeOrAddAttribute(name, format_int_list(values, count, separator).c_str());
    });
}

int XMLParser::changeOrAddDoubleArrayAttribute(const char* name, const double* values, int count,
                                               const char* separator)
{
    return guarded([&]() -> int {
        if (!values && count > 0)
            return 0;
        return changeOrAddAttribute(name, format_double_list(values, count, separator).c_str());
    });
}

int XMLParser::changeOrAddText(const char* text)
{
    return guarded([&]() -> int {
        if (!current || !text)
            return 0;
        removeText();
        return appendText(text);
    });
}

// The element keeps one text: its first text followed by the given one,
// placed after its child elements. Declarations and comments are markup,
// not text: they stay where they are and take no part in the joining.
int XMLParser::appendText(const char* text)
{
    return guarded([&]() -> int {
        if (!current || !text)
            return 0;
        std::string joined;
        for (XMLNode* c = current->firstChild; c; c = c->nextSibling)
            if (c->type == XML_TEXT && !c->markup) {
                joined = c->value;
                break;
            }
        joined += text;
        for (XMLNode* c = current->firstChild; c;) {
            XMLNode* next = c->nextSibling;
            if (c->type == XML_TEXT && !c->markup)
                c->destroy();
            c = next;
        }
        current->appendChild(new_text(joined.data(), joined.size()));
        return 1;
    });
}

int XMLParser::appendIndentText()
{
    return guarded([&]() -> int {
        int depth = getDepth();
        if (!current || depth < 1)
            return 0;
        return appendText(("\n" + std::string(static_cast<size_t>(depth - 1), '\t')).c_str());
    });
}

int XMLParser::removeElement()
{
    return guarded([&]() -> int {
        if (!current || getDepth() < 2)
            return 0;
        XMLNode* target = current;
        changeElementBack();
        target->destroy();
        return 1;
    });
}

// The target is refused when the remembered cursor is the target itself or
// lies below it, judged by nodes, so no spelling of the path can leave the
// cursor on a removed element.
int XMLParser::remove_reached(int reached, XMLNode* savedNode, const std::string& savedPath)
{
    if (!reached) {
        current = savedNode;
        actualPath = savedPath;
        return 0;
    }
    if (is_self_or_ancestor(current, savedNode))
        return 0;
    int removed = removeElement();
    current = savedNode;
    actualPath = savedPath;
    return removed;
}

int XMLParser::removeElement(const char* path)
{
    return guarded([&]() -> int {
        if (!current)
            return 0;
        XMLNode* node = current;
        std::string text = actualPath;
        return remove_reached(changeElement(path), node, text);
    });
}

int XMLParser::removeElement(const char* path, int n)
{
    return guarded([&]() -> int {
        if (!current)
            return 0;
        XMLNode* node = current;
        std::string text = actualPath;
        return remove_reached(changeElement(path, n), node, text);
    });
}

int XMLParser::removeElement(const char* path, const char* attrName, const char* attrValue)
{
    return guarded([&]() -> int {
        if (!current)
            return 0;
        XMLNode* node = current;
        std::string text = actualPath;
        return remove_reached(changeElement(path, attrName, attrValue), node, text);
    });
}

int XMLParser::removeAttribute(const char* name)
{
    XMLNode* attr = attribute(name);
    if (!attr)
        return 0;
    attr->destroy();
    return 1;
}

int XMLParser::removeText()
{
    if (!current)
        return 0;
    for (XMLNode* c = current->firstChild; c;) {
        XMLNode* next = c->nextSibling;
        if (c->type == XML_TEXT)
            c->destroy();
        c = next;
    }
    return 1;
}
