// Document lifetime: the "__ROOT" node and, for a new file, its document element.
#include "xml/document.h"

#include <new>

#include "scriptrun/messages.h"

XMLDocument::XMLDocument() : root(new_element("__ROOT")), owners(0) {}

XMLDocument::XMLDocument(const char* rootName) : XMLDocument()
{
    root->appendChild(new_element(rootName));
}

XMLDocument::~XMLDocument()
{
    destroy();
}

void XMLDocument::destroy()
{
    if (root)
        root->destroy();
    root = nullptr;
}

XMLDocument* new_document(const char* rootName)
{
    XMLDocument* document =
        rootName ? new (std::nothrow) XMLDocument(rootName) : new (std::nothrow) XMLDocument();
    if (!document)
        fatal_message("Out of memory.");
    return document;
}
