// Node records: creation, texts, linking into the child and attribute lists,
// and destruction of whole subtrees.
#include "xml/node.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>

#include "scriptrun/messages.h"

// First child element of each name, keyed by the element's own name text.
struct ChildIndex {
    std::unordered_map<std::string_view, XMLNode*> first;
};

unsigned long long xml_scan_steps = 0;

namespace {

// Children looked at one by one before a look-up builds the index.
constexpr int kScanBeforeIndex = 32;

void drop_index(XMLNode* parent)
{
    if (parent) {
        delete parent->childIndex;
        parent->childIndex = nullptr;
    }
}

// Whether no element follows node among its siblings; only a few trailing
// texts are looked at, which is where appended elements stand.
bool is_last_element(const XMLNode* node)
{
    const XMLNode* next = node->nextSibling;
    for (int i = 0; next && i < 4; ++i, next = next->nextSibling)
        if (next->type == XML_ELEMENT)
            return false;
    return !next;
}

// Records c as the first element of its name; the index goes when memory
// runs out.
void index_linked_at(XMLNode* parent, XMLNode* c)
{
    try {
        parent->childIndex->first.emplace(c->name, c);
    } catch (const std::bad_alloc&) {
        drop_index(parent);
    }
}

// A child was linked: an element appended behind every other element can
// only be the first of its name when no earlier one has it; any other
// placement drops the index.
void index_linked(XMLNode* parent, XMLNode* node)
{
    if (!parent->childIndex || node->type != XML_ELEMENT)
        return;
    if (!node->name || !is_last_element(node)) {
        drop_index(parent);
        return;
    }
    index_linked_at(parent, node);
}

// A child element leaves (still linked): when it was the indexed first of
// its name, the next element of that name, found by a walk from it, takes
// its place.
void index_unlinked(XMLNode* parent, XMLNode* node)
{
    if (!parent->childIndex || node->type != XML_ELEMENT || !node->name)
        return;
    auto found = parent->childIndex->first.find(node->name);
    if (found == parent->childIndex->first.end() || found->second != node)
        return;
    // The key is the leaving element's own text, so the entry is made anew.
    parent->childIndex->first.erase(found);
    for (XMLNode* c = node->nextSibling; c; c = c->nextSibling, ++xml_scan_steps)
        if (c->type == XML_ELEMENT && c->name && strcmp(c->name, node->name) == 0) {
            index_linked_at(parent, c);
            return;
        }
}

// Source of childOrder stamps. A fresh node also takes a fresh stamp, so a
// node allocated where a destroyed one lived never matches an old stamp.
unsigned long long order_stamps = 0;

void renew_order(XMLNode* parent)
{
    if (parent)
        parent->childOrder = ++order_stamps;
}

char* copy_text(const char* text, size_t length)
{
    char* copy = static_cast<char*>(malloc(length + 1));
    if (!copy)
        fatal_message("Out of memory.");
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

bool in_child_list(const XMLNode* node)
{
    return node->type != XML_ATTRIBUTE;
}

void link_child_before(XMLNode* parent, XMLNode* node, XMLNode* next)
{
    node->nextSibling = next;
    node->prevSibling = next ? next->prevSibling : parent->lastChild;
    if (node->prevSibling)
        node->prevSibling->nextSibling = node;
    else
        parent->firstChild = node;
    if (next)
        next->prevSibling = node;
    else
        parent->lastChild = node;
    index_linked(parent, node);
}

void link_attribute_before(XMLNode* parent, XMLNode* node, XMLNode* next)
{
    node->nextAttribute = next;
    node->prevAttribute = next ? next->prevAttribute : parent->lastAttribute;
    if (node->prevAttribute)
        node->prevAttribute->nextAttribute = node;
    else
        parent->firstAttribute = node;
    if (next)
        next->prevAttribute = node;
    else
        parent->lastAttribute = node;
}

// An attribute whose name the parent already has only hands over its value.
XMLNode* merge_duplicate(XMLNode* parent, XMLNode* node)
{
    XMLNode* existing = parent->findAttribute(node->name);
    if (!existing || existing == node)
        return nullptr;
    existing->setValue(node->value);
    node->parent = nullptr;
    node->destroy();
    return existing;
}

// Frees the node's own texts and attributes; the node must have no children.
void free_leaf(XMLNode* node)
{
    while (node->firstAttribute)
        node->firstAttribute->destroy();
    node->unlink();
    free(node->name);
    free(node->value);
    delete node->childIndex;
    delete node;
}

}  // namespace

void XMLNode::init(int nodeType)
{
    type = nodeType;
    name = value = nullptr;
    parent = firstChild = lastChild = prevSibling = nextSibling = nullptr;
    firstAttribute = lastAttribute = prevAttribute = nextAttribute = nullptr;
    markup = false;
    childOrder = ++order_stamps;
    childIndex = nullptr;
}

void XMLNode::setName(const char* text)
{
    char* copy = text ? copy_text(text, strlen(text)) : nullptr;
    if (type == XML_ELEMENT && parent)
        drop_index(parent);
    free(name);
    name = copy;
    if (type == XML_ELEMENT)
        renew_order(parent);
}

void XMLNode::setValue(const char* text)
{
    setValue(text, text ? strlen(text) : 0);
}

void XMLNode::setValue(const char* text, size_t length)
{
    char* copy = text ? copy_text(text, length) : nullptr;
    free(value);
    value = copy;
}

XMLNode* XMLNode::findAttribute(const char* attributeName) const
{
    if (!attributeName)
        return nullptr;
    for (XMLNode* a = firstAttribute; a; a = a->nextAttribute, ++xml_scan_steps)
        if (strcmp(a->name, attributeName) == 0)
            return a;
    return nullptr;
}

XMLNode* XMLNode::appendChild(XMLNode* node)
{
    node->parent = this;
    if (in_child_list(node)) {
        link_child_before(this, node, nullptr);
        return node;
    }
    if (XMLNode* existing = merge_duplicate(this, node))
        return existing;
    link_attribute_before(this, node, nullptr);
    return node;
}

// Inserting in front of a trailing text moves no element to another position,
// which keeps sequential numbered walks valid while elements are added.
XMLNode* XMLNode::insertBefore(XMLNode* node)
{
    XMLNode* holder = parent;
    node->parent = holder;
    if (in_child_list(node)) {
        bool reference_in_children = in_child_list(this);
        if (!(reference_in_children && this == holder->lastChild && type == XML_TEXT))
            renew_order(holder);
        link_child_before(holder, node, reference_in_children ? this : nullptr);
        return node;
    }
    if (XMLNode* existing = merge_duplicate(holder, node))
        return existing;
    link_attribute_before(holder, node, type == XML_ATTRIBUTE ? this : nullptr);
    return node;
}

void XMLNode::unlink()
{
    if (parent && in_child_list(this)) {
        renew_order(parent);
        index_unlinked(parent, this);
        (prevSibling ? prevSibling->nextSibling : parent->firstChild) = nextSibling;
        (nextSibling ? nextSibling->prevSibling : parent->lastChild) = prevSibling;
    } else if (parent) {
        (prevAttribute ? prevAttribute->nextAttribute : parent->firstAttribute) = nextAttribute;
        (nextAttribute ? nextAttribute->prevAttribute : parent->lastAttribute) = prevAttribute;
    }
    parent = prevSibling = nextSibling = prevAttribute = nextAttribute = nullptr;
}

// Post-order without recursion, so that no depth of tree can exhaust the stack.
void XMLNode::destroy()
{
    unlink();
    XMLNode* node = this;
    for (;;) {
        // A parent whose children all go needs no index kept up to date.
        while (node->firstChild) {
            drop_index(node);
            node = node->firstChild;
        }
        XMLNode* up = node == this ? nullptr : node->parent;
        free_leaf(node);
        if (!up)
            return;
        node = up;
    }
}

XMLNode* new_node(int type)
{
    XMLNode* node = new (std::nothrow) XMLNode;
    if (!node)
        fatal_message("Out of memory.");
    node->init(type);
    return node;
}

XMLNode* new_element(const char* name)
{
    XMLNode* node = new_node(XML_ELEMENT);
    node->setName(name);
    return node;
}

XMLNode* new_text(const char* text, size_t length)
{
    XMLNode* node = new_node(XML_TEXT);
    node->setValue(text, length);
    return node;
}

XMLNode* new_attribute(const char* name, const char* value)
{
    XMLNode* node = new_node(XML_ATTRIBUTE);
    node->setName(name);
    node->setValue(value);
    return node;
}

void append_new_attribute(XMLNode* element, XMLNode* attribute)
{
    attribute->parent = element;
    link_attribute_before(element, attribute, nullptr);
}

namespace {

// Indexes every child element of parent; false when memory runs out.
bool build_index(XMLNode* parent)
{
    try {
        parent->childIndex = new ChildIndex;
        for (XMLNode* c = parent->firstChild; c; c = c->nextSibling, ++xml_scan_steps)
            if (c->type == XML_ELEMENT && c->name)
                parent->childIndex->first.emplace(c->name, c);
        return true;
    } catch (const std::bad_alloc&) {
        drop_index(parent);
        return false;
    }
}

XMLNode* scan_for_element(XMLNode* from, const char* name, int limit)
{
    for (XMLNode* c = from; c && limit != 0; c = c->nextSibling, --limit, ++xml_scan_steps)
        if (c->type == XML_ELEMENT && (!name || strcmp(c->name, name) == 0))
            return c;
    return nullptr;
}

}  // namespace

XMLNode* first_child_element(XMLNode* parent, const char* name)
{
    if (!name)
        return scan_for_element(parent->firstChild, nullptr, -1);
    if (!parent->childIndex) {
        XMLNode* c = parent->firstChild;
        for (int i = 0; c && i < kScanBeforeIndex; ++i, c = c->nextSibling, ++xml_scan_steps)
            if (c->type == XML_ELEMENT && strcmp(c->name, name) == 0)
                return c;
        if (!c)
            return nullptr;
        if (!build_index(parent))
            return scan_for_element(c, name, -1);
    }
    auto found = parent->childIndex->first.find(name);
    return found == parent->childIndex->first.end() ? nullptr : found->second;
}

bool is_xml_name(const char* name)
{
    if (!name)
        return false;
    auto starts = [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
    };
    if (!starts(static_cast<unsigned char>(*name)))
        return false;
    for (const char* p = name + 1; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (!starts(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.')
            return false;
    }
    return true;
}
