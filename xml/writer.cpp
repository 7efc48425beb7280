// Writes a document tree to a file. Layout: nothing is added between nodes
// (indentation lives in the tree as text), no declaration, no final line
// end; with the pretty flag every attribute stands on a line of its own,
// indented by one tab per level below the top and three blanks.
// Values escape & < > " and texts & <, and both write control characters
// other than tab and line feed as numeric character references ("&#13;"),
// so that every file reads back into the tree it came from; declarations
// and comments are written as read.
// A save replaces the file whole or not at all: the text goes to a new file
// in the same folder, which is then renamed over the target (the file a
// symbolic link points to), with the target's permission bits. Anything but
// a regular file is refused as a target.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

bool write_all(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file that fileName names once symbolic links are followed (at most
// 40 of them); false for a loop or a link that cannot be read.
bool resolve_links(const char* fileName, std::string& target)
{
    target = fileName;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info;
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return true;
        std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        ssize_t length = readlink(target.c_str(), &link[0], link.size());
        if (length < 0 || static_cast<size_t>(length) >= link.size())
            return false;
        link.resize(static_cast<size_t>(length));
        size_t slash = target.rfind('/');
        if (link.empty() || link[0] == '/' || slash == std::string::npos)
            target = link;
        else
            target = target.substr(0, slash + 1) + link;
    }
    return false;
}

mode_t new_file_mode()
{
    mode_t mask = umask(0);
    umask(mask);
    return 0644 & ~mask;
}

// Gives the new file the target's owner and permission bits, or those of a
// new file when there is no target yet.
void copy_attributes(int fd, bool exists, const struct stat& info)
{
    if (!exists) {
        fchmod(fd, new_file_mode());
        return;
    }
    if (fchown(fd, info.st_uid, info.st_gid) != 0) {
        // Only the owner's own files can be given away; the saver keeps it.
    }
    fchmod(fd, info.st_mode & 07777);
}

// Writes text to fileName through a temporary file in the target's folder
// and a rename; on any failure the target is untouched and the temporary
// file is gone.
bool write_file(const char* fileName, const std::string& text)
{
    std::string target;
    if (!resolve_links(fileName, target))
        return false;
    struct stat info;
    bool exists = stat(target.c_str(), &info) == 0;
    if (exists ? !S_ISREG(info.st_mode) : errno != ENOENT)
        return false;
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string temporary = folder + ".xmlsave.XXXXXX";
    int fd = mkostemp(&temporary[0], O_CLOEXEC);
    if (fd < 0)
        return false;
    copy_attributes(fd, exists, info);
    bool written = write_all(fd, text) && fsync(fd) == 0;
    bool closed = close(fd) == 0;
    if (written && closed && rename(temporary.c_str(), target.c_str()) == 0)
        return true;
    unlink(temporary.c_str());
    return false;
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
