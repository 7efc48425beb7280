// Parses arbitrary bytes; whatever parses must save, and the saved text must
// parse again into the same tree and save to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "xml/document.h"

namespace {

bool same_text(const char* a, const char* b)
{
    return (!a && !b) || (a && b && strcmp(a, b) == 0);
}

bool same_node(const XMLNode* a, const XMLNode* b)
{
    return a->type == b->type && a->markup == b->markup && same_text(a->name, b->name) &&
           same_text(a->value, b->value);
}

bool same_tree(const XMLNode* a, const XMLNode* b)
{
    if (!same_node(a, b))
        return false;
    const XMLNode *x = a->firstAttribute, *y = b->firstAttribute;
    for (; x && y; x = x->nextAttribute, y = y->nextAttribute)
        if (!same_node(x, y))
            return false;
    if (x || y)
        return false;
    for (x = a->firstChild, y = b->firstChild; x && y; x = x->nextSibling, y = y->nextSibling)
        if (!same_tree(x, y))
            return false;
    return !x && !y;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    XMLDocument first;
    if (!first.parseText(std::string(reinterpret_cast<const char*>(data), size)))
        return 0;
    std::string saved;
    if (!first.toText(saved, true))
        abort();
    XMLDocument second;
    if (!second.parseText(saved) || !same_tree(first.root, second.root))
        abort();
    std::string again;
    second.toText(again, true);
    if (again != saved)
        abort();
    return 0;
}
