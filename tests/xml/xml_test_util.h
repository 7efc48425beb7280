// Shared helpers of the XML tests: scratch files and folder listings, a
// compact tree dump, and a handle that closes its parser.
#ifndef TESTS_XML_TEST_UTIL_H
#define TESTS_XML_TEST_UTIL_H

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "xml/document.h"
#include "xml/xml_functions.h"

// A path in this process's scratch folder, removed when the process ends.
inline std::string scratch(const std::string& name)
{
    struct Folder {
        std::string path;
        Folder()
        {
            char pattern[] = "/tmp/xml_test_XXXXXX";
            path = mkdtemp(pattern);
        }
        ~Folder() { std::filesystem::remove_all(path); }
    };
    static Folder folder;
    return folder.path + "/" + name;
}

inline void write_text(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The names in folder, sorted.
inline std::vector<std::string> entries_of(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The inode of the file at path (links followed), or 0 when there is none.
inline ino_t inode_of(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Elements as name[attr=value,...](children), texts quoted, markup as <...>.
inline std::string dump(const XMLNode* node)
{
    if (node->type == XML_TEXT)
        return node->markup ? std::string(node->value) : "'" + std::string(node->value) + "'";
    std::string out = node->name;
    if (node->firstAttribute) {
        out += "[";
        for (const XMLNode* a = node->firstAttribute; a; a = a->nextAttribute)
            out += std::string(a->name) + "=" + a->value + (a->nextAttribute ? "," : "");
        out += "]";
    }
    if (node->firstChild) {
        out += "(";
        for (const XMLNode* c = node->firstChild; c; c = c->nextSibling)
            out += dump(c) + (c->nextSibling ? " " : "");
        out += ")";
    }
    return out;
}

// A parser pointer that the test closes at the end of its scope.
struct Handle {
    XMLParser* parser = nullptr;
    ~Handle()
    {
        if (parser)
            XMLclose(&parser);
    }
    XMLParser** operator&() { return &parser; }
};

// The content of file read into a new document: the dump of "__ROOT", or
// "FAIL" when the parse fails.
inline std::string parse_dump(const std::string& content)
{
    XMLDocument document;
    if (!document.parseText(content))
        return "FAIL";
    return dump(document.root);
}

// Runs body in a child process that an alarm ends after thirty seconds, far
// beyond any answer even on a busy machine: its wait status.
inline int bounded_child_status(const std::function<int()>& body)
{
    pid_t child = fork();
    if (child == 0) {
        alarm(30);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

// The result of body (0 to 255) run as above, or -1 when a signal ended it
// (it blocked or ran on).
inline int bounded_child(const std::function<int()>& body)
{
    int status = bounded_child_status(body);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif
