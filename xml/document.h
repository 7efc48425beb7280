// The document: owner of one tree below its "__ROOT" node, read from and
// written to model files.
#ifndef XML_DOCUMENT_H
#define XML_DOCUMENT_H

#include <string>

#include "xml/node.h"

// Deepest element the reader accepts and the editing operations create; the
// document element has depth 1. The reader and the writer recurse once per
// level, so the limit bounds their stack to a small share of what any build
// (sanitizers included) has; model files nest a few levels.
constexpr int kMaxDepth = 256;

class XMLDocument {
public:
    XMLNode* root;  // the "__ROOT" element: top of the tree, never written
    int owners;     // parsers sharing this document; the last one deletes it

    XMLDocument();
    explicit XMLDocument(const char* rootName);
    ~XMLDocument();
    XMLDocument(const XMLDocument&) = delete;
    XMLDocument& operator=(const XMLDocument&) = delete;

    XMLNode* getRoot() const { return root; }
    void destroy();

    // Reads a model file below "__ROOT"; 1 on success, 0 (and an empty tree)
    // when the file cannot be read (why, when given, then says why) or is
    // not a complete document (why stays as it was).
    int parse(const char* fileName, std::string* why = nullptr);
    // The same for the content of a file held in memory.
    int parseText(std::string input);
    // Writes the tree; 1 on success, 0 with why set when there is nothing to
    // write or the file cannot be written completely.
    int save(const char* fileName, bool pretty, std::string* why);
    // Appends what save writes; false when "__ROOT" has no children.
    bool toText(std::string& out, bool pretty) const;
    // Appends one node and everything below it, at the given depth.
    static std::string& writeNode(std::string& out, const XMLNode* node, bool pretty,
                                  int depth);
};

// A new document; exhausted memory ends the process with "Out of memory.".
XMLDocument* new_document(const char* rootName);

#endif
