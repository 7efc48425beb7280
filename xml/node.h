// The record from which every document tree is made: elements, attributes and
// texts, each in doubly linked lists owned by their parent.
#ifndef XML_NODE_H
#define XML_NODE_H

#include <cstddef>

enum XMLNodeType : int {
    XML_ATTRIBUTE = 0,
    XML_ELEMENT = 1,
    XML_TEXT = 2
};

struct XMLNode {
    char* name;                     // element or attribute name, owned; null in a text
    char* value;                    // attribute value or text, owned; null in an element
    int type;                       // an XMLNodeType
    XMLNode* parent;                // element holding this node in either list; null at the top
    XMLNode* firstChild;            // child list: elements and texts in document order
    XMLNode* lastChild;
    XMLNode* prevSibling;           // neighbours in the parent's child list
    XMLNode* nextSibling;
    XMLNode* firstAttribute;        // attribute list, in the order added
    XMLNode* lastAttribute;
    XMLNode* prevAttribute;         // neighbours in the parent's attribute list
    XMLNode* nextAttribute;
    bool markup;                    // text that holds a declaration or comment, written as is
    unsigned long long childOrder;  // stamp renewed whenever a child may change its position
    struct ChildIndex* childIndex;  // owned: first child element of each name; null until
                                    // a look-up among many children builds it

    void init(int nodeType);
    void setName(const char* text);
    void setValue(const char* text);
    void setValue(const char* text, size_t length);

    char* getName() const { return name; }
    char* getValue() const { return value; }
    int getType() const { return type; }
    XMLNode* getParent() const { return parent; }
    XMLNode* getFirstChild() const { return firstChild; }
    XMLNode* getLastChild() const { return lastChild; }
    XMLNode* getPrevSibling() const { return prevSibling; }
    XMLNode* getNextSibling() const { return nextSibling; }
    XMLNode* getFirstAttribute() const { return firstAttribute; }
    XMLNode* getLastAttribute() const { return lastAttribute; }
    XMLNode* getPrevAttribute() const { return prevAttribute; }
    XMLNode* getNextAttribute() const { return nextAttribute; }

    XMLNode* findAttribute(const char* attributeName) const;
    XMLNode* appendChild(XMLNode* node);
    XMLNode* insertBefore(XMLNode* node);
    void unlink();
    void destroy();
};

// New nodes; exhausted memory ends the process with "Out of memory.".
XMLNode* new_node(int type);
XMLNode* new_element(const char* name);
XMLNode* new_text(const char* text, size_t length);
XMLNode* new_attribute(const char* name, const char* value);

// Links a new attribute at the end of element's list without looking for
// one of the same name (the caller knows there is none).
void append_new_attribute(XMLNode* element, XMLNode* attribute);

// The first child element of parent named name (any name when name is null).
// Among many children the answer comes from an index by name, kept up to
// date while elements are appended and rebuilt after other changes, so that
// walking all children by name costs linear time.
XMLNode* first_child_element(XMLNode* parent, const char* name);

// Nodes looked at one by one by the walks that look for a name, an "ID" or
// an attribute value, or rebuild an index: the count in which a cost that
// grows with the tree shows, whatever the machine's speed (the tests read it).
extern unsigned long long xml_scan_steps;

// An XML name: a letter, "_", ":" or a non-ASCII byte, then also digits,
// "-" and ".". Only such names are given to elements and attributes that the
// library creates, so that every tree it saves reads back.
bool is_xml_name(const char* name);

#endif
