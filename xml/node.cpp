// Node records: creation, texts, linking into the child and attribute lists,
// and destruction of whole subtrees.
#include "xml/node.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "scriptrun/messages.h"

namespace {

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
}

void XMLNode::setName(const char* text)
{
    char* copy = text ? copy_text(text, strlen(text)) : nullptr;
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
    for (XMLNode* a = firstAttribute; a; a = a->nextAttribute)
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
        while (node->firstChild)
            node = node->firstChild;
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

XMLNode* first_child_element(const XMLNode* parent, const char* name)
{
    for (XMLNode* c = parent->firstChild; c; c = c->nextSibling)
        if (c->type == XML_ELEMENT && (!name || strcmp(c->name, name) == 0))
            return c;
    return nullptr;
}
