// Writes a document tree to a file. Layout: nothing is added between nodes
// (indentation lives in the tree as text), no declaration, no final line
// end; with the pretty flag every attribute stands on a line of its own,
// indented by one tab per level below the top and three blanks.
// Values escape & < > " and texts & <, so that every file reads back into
// the tree it came from; declarations and comments are written as read.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "xml/document.h"
#include "xml/variant.h"

namespace {

void append_escaped(std::string& out, const char* text, const char* specials)
{
    for (const char* c = text;;) {
        size_t plain = strcspn(c, specials);
        out.append(c, plain);
        c += plain;
        switch (*c) {
        case '\0': return;
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += "&quot;"; break;
        }
        ++c;
    }
}

void write_attributes(std::string& out, const XMLNode* element, bool pretty, int depth)
{
    for (const XMLNode* a = element->firstAttribute; a; a = a->nextAttribute) {
        if (pretty) {
            out += '\n';
            out.append(depth, '\t');
            out += "   ";
        } else {
            out += ' ';
        }
        out += a->name;
        out += "=\"";
        append_escaped(out, a->value, "&<>\"");
        out += '"';
    }
}

// Creates (mode 0644) or empties the file and writes all of text to it.
bool write_file(const char* fileName, const std::string& text)
{
    int fd = open(fileName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    bool closed = close(fd) == 0;
    return closed && done == text.size();
}

}  // namespace

std::string& XMLDocument::writeNode(std::string& out, const XMLNode* node, bool pretty, int depth)
{
    switch (node->type) {
    case XML_ELEMENT:
        out += '<';
        out += node->name;
        write_attributes(out, node, pretty, depth);
        if (!node->firstChild) {
            out += "/>";
            break;
        }
        out += '>';
        for (const XMLNode* c = node->firstChild; c; c = c->nextSibling)
            writeNode(out, c, pretty, depth + 1);
        out += "</";
        out += node->name;
        out += '>';
        break;
    case XML_TEXT:
        if (node->markup)
            out += node->value;
        else
            append_escaped(out, node->value, "&<");
        break;
    default:
        fprintf(stderr, "Unrecognized node type = %d\n", node->type);
        break;
    }
    return out;
}

bool XMLDocument::toText(std::string& out, bool pretty) const
{
    if (!root || !root->firstChild)
        return false;
    for (const XMLNode* c = root->firstChild; c; c = c->nextSibling) {
        writeNode(out, c, pretty, 0);
        if (kBellmixVariant)
            break;
    }
    return true;
}

// A document with nothing below "__ROOT" (what a failed open leaves) writes
// nothing and leaves the file alone.
int XMLDocument::save(const char* fileName, bool pretty)
{
    std::string out;
    if (!fileName || !toText(out, pretty))
        return 0;
    return write_file(fileName, out) ? 1 : 0;
}
