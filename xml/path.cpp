// The cursor and the path language. A path is read from the left:
//   ""          ends the walk with success
//   "./"        is skipped
//   "../"       moves to the parent
//   "/"         moves to "__ROOT" (so a leading "/" makes the path absolute)
//   "#n#name"   the n-th child element named name ("#n#": the n-th of any name)
//   "segment"   the first child element of that name, else the first whose
//               "ID" attribute has that value
// each segment ending at the next "/". The path text records every step in
// the same language, so that walking it from "__ROOT" reaches the cursor.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "xml/XMLParser.h"
#include "xml/guard.h"
#include "xml/lists.h"
#include "xml/node.h"
#include "xml/path.h"

unsigned long long xml_sibling_visits = 0;

namespace {

std::string numbered(int n, const char* name)
{
    return "#" + std::to_string(n) + "#" + name;
}

bool starts_with(const char* text, const char* prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

}  // namespace

void XMLParser::move_down(XMLNode* child, const std::string& segment)
{
    current = child;
    actualPath += '/';
    actualPath += segment;
}

int XMLParser::changeElement(const char* path)
{
    return guarded([&]() -> int {
        if (!current || !path)
            return 0;
        const char* rest = path;
        for (;;) {
            if (*rest == '\0')
                return 1;
            if (starts_with(rest, "./")) {
                rest += 2;
            } else if (starts_with(rest, "../")) {
                if (!changeElementBack())
                    return 0;
                rest += 3;
            } else if (*rest == '/') {
                changeElementRoot();
                rest += 1;
            } else {
                const char* slash = strchr(rest, '/');
                size_t length = slash ? static_cast<size_t>(slash - rest) : strlen(rest);
                if (!walk_segment(std::string(rest, length)))
                    return 0;
                if (!slash)
                    return 1;
                rest = slash + 1;
            }
        }
    });
}

int XMLParser::walk_segment(const std::string& segment)
{
    auto walk_name = [this](const std::string& name) {
        return gotoChildElement(name.c_str()) || gotoChildElementWithID(name.c_str());
    };
    if (segment[0] != '#')
        return walk_name(segment);
    int n;  // read like "%d": blanks and a sign allowed
    if (!read_int_item(segment.c_str() + 1, &n))
        return 0;
    size_t second = segment.find('#', 1);
    std::string name = second == std::string::npos ? "" : segment.substr(second + 1);
    if (name.empty())
        return gotoChildElementWithNum(n) ? 1 : 0;
    return walk_name(name) && gotoSameElementWithNumber(n);
}

int XMLParser::changeElement(const char* path, int n)
{
    return guarded([&]() -> int {
        if (!current || !path)
            return 0;
        if (*path == '\0')
            return gotoChildElementWithNum(n);
        return changeElement(path) && gotoSameElementWithNumber(n) ? 1 : 0;
    });
}

int XMLParser::changeElement(const char* path, const char* attrName, const char* attrValue)
{
    return guarded([&]() -> int {
        return changeElement(path) && gotoSameElementWithAttribute(attrName, attrValue) ? 1 : 0;
    });
}

int XMLParser::gotoChildElement(const char* name)
{
    return guarded([&]() -> int {
        if (!current || !name)
            return 0;
        XMLNode* child = first_child_element(current, name);
        if (!child)
            return 0;
        move_down(child, name);
        return 1;
    });
}

int XMLParser::gotoChildElementWithID(const char* id)
{
    return guarded([&]() -> int {
        if (!current || !id)
            return 0;
        for (XMLNode* c = current->firstChild; c; c = c->nextSibling, ++xml_scan_steps) {
            XMLNode* attr = c->type == XML_ELEMENT ? c->findAttribute("ID") : nullptr;
            if (attr && strcmp(attr->value, id) == 0) {
                move_down(c, id);
                return 1;
            }
        }
        return 0;
    });
}

// Counting resumes at the last numbered step when it counted the same
// children and nothing before its node has moved since. The memory never
// shortens a step to the first counted child (it would start there too), so
// such a step leaves the memory of a longer walk in place: stepping from
// each numbered element into its only child keeps that walk linear.
XMLNode* XMLParser::nth_child_element(XMLNode* parent, const char* name, int n)
{
    XMLNode* node = parent->firstChild;
    int count = 0;
    const NumberedStep& s = lastStep;
    if (s.node && s.parent == parent && s.order == parent->childOrder && s.number <= n &&
        s.anyName == !name && (!name || s.name == name)) {
        node = s.node;
        count = s.number - 1;
    }
    for (; node; node = node->nextSibling) {
        ++xml_sibling_visits;
        if (node->type != XML_ELEMENT || (name && strcmp(node->name, name) != 0))
            continue;
        if (++count == n && n == 1)
            return node;
        if (count == n) {
            lastStep.parent = parent;
            lastStep.order = parent->childOrder;
            lastStep.anyName = !name;
            lastStep.name = name ? name : "";
            lastStep.number = n;
            lastStep.node = node;
            return node;
        }
    }
    return nullptr;
}

// The last step of the path text names the siblings that the numbered and
// attribute steps count; the count runs from the parent.
int XMLParser::leave_for_parent(std::string& name)
{
    size_t slash = actualPath.rfind('/');
    if (slash == std::string::npos)
        return 0;
    name = actualPath.substr(slash + 1);
    return changeElementBack();
}

int XMLParser::gotoSameElementWithNumber(int n)
{
    return guarded([&]() -> int {
        if (!current)
            return 0;
        if (n == 1)
            return 1;
        std::string name;
        if (!leave_for_parent(name))
            return 0;
        XMLNode* found = n >= 1 ? nth_child_element(current, name.c_str(), n) : nullptr;
        if (!found)
            return 0;
        move_down(found, numbered(n, name.c_str()));
        return 1;
    });
}

int XMLParser::gotoSameElementWithAttribute(const char* attrName, const char* attrValue)
{
    return guarded([&]() -> int {
        std::string name;
        if (!current || !attrName || !attrValue || !leave_for_parent(name))
            return 0;
        int k = 0;
        for (XMLNode* c = current->firstChild; c; c = c->nextSibling, ++xml_scan_steps) {
            if (c->type != XML_ELEMENT || name != c->name)
                continue;
            ++k;
            XMLNode* attr = c->findAttribute(attrName);
            if (attr && strcmp(attr->value, attrValue) == 0) {
                move_down(c, k == 1 ? name : numbered(k, name.c_str()));
                return 1;
            }
        }
        return 0;
    });
}

int XMLParser::gotoChildElementWithNum(int n)
{
    return guarded([&]() -> int {
        if (!current || n < 1)
            return 0;
        XMLNode* found = nth_child_element(current, nullptr, n);
        if (!found)
            return 0;
        move_down(found, numbered(n, ""));
        return n;
    });
}

int XMLParser::getNumofChildElements()
{
    int count = 0;
    for (XMLNode* c = current ? current->firstChild : nullptr; c; c = c->nextSibling)
        count += c->type == XML_ELEMENT;
    return count;
}

int XMLParser::changeElementBack()
{
    if (!current)
        return 0;
    if (!current->parent) {
        fputs("error: there is no more parent node", stderr);
        current = root;
        actualPath.clear();
        return 0;
    }
    current = current->parent;
    size_t slash = actualPath.rfind('/');
    actualPath.erase(slash == std::string::npos ? 0 : slash);
    return 1;
}

int XMLParser::changeElementRoot()
{
    if (!root)
        return 0;
    current = root;
    actualPath.clear();
    return 1;
}

int XMLParser::getDepth()
{
    int depth = 0;
    for (XMLNode* p = current ? current->parent : nullptr; p; p = p->parent)
        ++depth;
    return depth;
}

char* XMLParser::getActualElementName()
{
    return current ? current->name : nullptr;
}

char* XMLParser::getActualPath()
{
    return actualPath.data();
}

int XMLParser::hasChildElement(const char* name)
{
    return current && name && first_child_element(current, name) ? 1 : 0;
}
