// Variable store: the pointer list, script variables and the environment
// that holds the variables and the loaded plug-in libraries.
#ifndef VARIABLES_H
#define VARIABLES_H

#include <cstring>
#include <new>
#include <string>

#include "scriptrun/messages.h"

// Singly linked list of borrowed item pointers with one cursor shared by
// every walk; it owns its nodes, never its items.
template <typename Item>
class PtrList {
public:
    PtrList() = default;
    ~PtrList() { remove_all(); }
    PtrList(const PtrList&) = delete;
    PtrList& operator=(const PtrList&) = delete;

    void remove_all()
    {
        while (head_ != nullptr) {
            Node* next = head_->next;
            delete head_;
            head_ = next;
        }
        cursor_ = nullptr;
    }

    void append(Item* item)
    {
        Node* node = new (std::nothrow) Node{item, nullptr};
        if (node == nullptr)
            fatal_message("ERROR: Not enough memory!\n");
        Node** link = &head_;
        while (*link != nullptr)
            link = &(*link)->next;
        *link = node;
    }

    // Cursor on the node at index (0 is the head); 1 when it stands on one.
    int seek(int index)
    {
        cursor_ = index < 0 ? nullptr : head_;
        for (int i = 0; i < index && cursor_ != nullptr; ++i)
            cursor_ = cursor_->next;
        return cursor_ != nullptr;
    }

    // The item under the cursor, which then moves on; null past the end.
    Item* next()
    {
        if (cursor_ == nullptr)
            return nullptr;
        Item* item = cursor_->item;
        cursor_ = cursor_->next;
        return item;
    }

    // Cursor on the first item whose name() is exactly name.
    int seek_name(const char* name)
    {
        cursor_ = find_node(name);
        return cursor_ != nullptr;
    }

    Item* find_name(const char* name) const
    {
        Node* node = find_node(name);
        return node == nullptr ? nullptr : node->item;
    }

    // Unlinks and frees the node under the cursor (not its item); the cursor
    // falls back to the preceding node, or null at the head.
    void remove_current()
    {
        if (cursor_ == nullptr)
            return;
        Node* before = nullptr;
        for (Node* node = head_; node != cursor_; node = node->next)
            before = node;
        (before == nullptr ? head_ : before->next) = cursor_->next;
        delete cursor_;
        cursor_ = before;
    }

private:
    struct Node {
        Item* item;  // borrowed item
        Node* next;  // following node, null at the end
    };

    Node* find_node(const char* name) const
    {
        for (Node* node = head_; node != nullptr; node = node->next)
            if (node->item != nullptr && strcmp(node->item->name(), name) == 0)
                return node;
        return nullptr;
    }

    Node* head_ = nullptr;    // first node
    Node* cursor_ = nullptr;  // node the next walk step reads
};

// A script variable: a name bound to one typed value it does not own.
class Variable {
public:
    Variable(const char* name, int type, void* value);
    virtual ~Variable() = default;

    virtual const char* name() const;

    void* value;         // text, real, DataMatrix or any script-function result
    unsigned char type;  // ValueType code

private:
    std::string name_;  // private copy, compared case-sensitively
};

// Run state of the statement loop: variables and loaded libraries. Values are
// never copied or freed here; they may come from any library's heap.
class Environment {
public:
    Environment() = default;
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    Variable* find_variable(const char* name) const;
    void set_variable(const char* name, int type, void* value);
    // 0 when source names no variable; else target shares its value.
    int clone_variable(const char* source, const char* target);
    void list_variables();
    void remove_all_variables();
    void remove_variable(const char* name);

    PtrList<Variable> variables;  // in creation order
    PtrList<void> plugins;        // library handles, in load order

private:
    void store(const char* name, int type, void* value);
};

#endif
