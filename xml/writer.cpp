// Writes a document tree to a file. Layout: nothing is added between nodes
// (indentation lives in the tree as text), no declaration, no final line
// end; with the pretty flag every attribute stands on a line of its own,
// indented by one tab per level below the top and three blanks.
// Values escape & < > " and texts & <, and both write control characters
// other than tab and line feed as numeric character references ("&#13;"),
// so that every file reads back into the tree it came from; declarations
// and comments are written as read.
// A save replaces the file whole or not at all (replace_files), and only a
// file the caller may write.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "filesave/filesave.h"
#include "xml/document.h"
#include "xml/variant.h"

namespace {

bool is_control(unsigned char c)
{
    return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7f;
}

// Appends text with every character of specials written as its entity and
// every control character but tab and line feed as a character reference.
void append_escaped(std::string& out, const char* text, const char* specials)
{
    for (const char* c = text; *c; ++c) {
        unsigned char u = static_cast<unsigned char>(*c);
        if (is_control(u)) {
            out += "&#" + std::to_string(u) + ";";
            continue;
        }
        if (!strchr(specials, *c)) {
            out += *c;
            continue;
        }
        switch (*c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += "&quot;"; break;
        }
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
int XMLDocument::save(const char* fileName, bool pretty, std::string* why)
{
    std::string out;
    if (!toText(out, pretty)) {
        *why = "the document is empty";
        return 0;
    }
    std::vector<FileText> files(1);
    files[0].path = fileName;
    files[0].text = std::move(out);
    size_t failed = 0;
    return replace_files(files, &failed, why) ? 1 : 0;
}
