// Variable store: the pointer list, script variables and the environment
// that holds the variables and the loaded plug-in libraries.
#ifndef VARIABLES_H
#define VARIABLES_H

#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "scriptrun/messages.h"

// Linked list of borrowed item pointers with one cursor shared by every walk;
// it owns its nodes, never its items. Named items (anything but void) are
// also indexed by name, first node of each name, so that appending, finding
// and removing cost constant time on average however long the list grows.
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
        tail_ = cursor_ = nullptr;
        if constexpr (kNamed)
            index_.clear();
    }

    void append(Item* item)
    {
        Node* node = new (std::nothrow) Node{item, tail_, nullptr};
        if (node == nullptr)
            fatal_message("ERROR: Not enough memory!\n");
        (tail_ == nullptr ? head_ : tail_->next) = node;
        tail_ = node;
        index_first(node);
    }

    // Cursor on the node at index (0 is the head); 1 when it stands on one.
    int seek(int index)
    {
        cursor_ = index < 0 ? nullptr : head_;
        for (int i = 0; i < index && cursor_ != nullptr; ++i, ++steps_)
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
        ++steps_;
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
        Node* node = cursor_;
        if (node == nullptr)
            return;
        (node->prev == nullptr ? head_ : node->prev->next) = node->next;
        (node->next == nullptr ? tail_ : node->next->prev) = node->prev;
        cursor_ = node->prev;
        unindex(node);
        delete node;
    }

    // Nodes stepped over by walks so far: what a cost that grows with the
    // list shows in, whatever the machine's speed.
    size_t steps() const { return steps_; }

private:
    static constexpr bool kNamed = !std::is_void_v<Item>;

    struct Node {
        Item* item;  // borrowed item
        Node* prev;  // preceding node, null at the head
        Node* next;  // following node, null at the end
    };

    // Per name: the first node holding an item of that name, and how many
    // nodes hold one (named lists only).
    struct Entry {
        Node* first;   // earliest node of the name
        size_t nodes;  // nodes of the name in the list
    };
    using Index = std::unordered_map<std::string, Entry>;

    void index_first(Node* node)
    {
        if constexpr (kNamed) {
            if (node->item == nullptr)
                return;
            try {
                Entry& entry = index_.try_emplace(node->item->name(), Entry{node, 0}).first->second;
                ++entry.nodes;
            } catch (const std::bad_alloc&) {
                fatal_message("ERROR: Not enough memory!\n");
            }
        }
    }

    // Forgets node; when it was the first of its name, the next node of that
    // name takes its place (a walk only when the name occurs more than once).
    void unindex(Node* node)
    {
        if constexpr (kNamed) {
            if (node->item == nullptr)
                return;
            auto found = index_.find(node->item->name());
            if (found == index_.end())
                return;
            Entry& entry = found->second;
            if (--entry.nodes == 0) {
                index_.erase(found);
                return;
            }
            if (entry.first != node)
                return;
            for (Node* later = node->next; later != nullptr; later = later->next, ++steps_)
                if (later->item != nullptr && strcmp(later->item->name(), node->item->name()) == 0) {
                    entry.first = later;
                    return;
                }
        }
    }

    Node* find_node(const char* name) const
    {
        if constexpr (kNamed) {
            auto entry = index_.find(name);
            return entry == index_.end() ? nullptr : entry->second.first;
        } else {
            return nullptr;
        }
    }

    Node* head_ = nullptr;    // first node
    Node* tail_ = nullptr;    // last node, where append links
    Node* cursor_ = nullptr;  // node the next walk step reads
    size_t steps_ = 0;        // nodes walked over, see steps()
    std::conditional_t<kNamed, Index, char> index_{};  // see Index
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
