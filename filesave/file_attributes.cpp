// Copying a file's owner, group, permission bits and extended attributes
// (ACLs among them) to the new file that replaces it.
#include "filesave/file_attributes.h"

#include <algorithm>
#include <cerrno>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace file_saving {
namespace {

// Calls fetch(buffer, size) as the size-then-content calls of the extended
// attribute interface want: a content that grows in between is asked for
// again, a bounded number of times. False with errno set.
template <typename Fetch>
bool fetch_bytes(Fetch fetch, std::string* out)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        ssize_t size = fetch(nullptr, 0);
        if (size < 0)
            return false;
        out->assign(static_cast<size_t>(size), '\0');
        ssize_t got = size == 0 ? 0 : fetch(&(*out)[0], out->size());
        if (got >= 0) {
            out->resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// The names in a list of NUL-terminated names; a file system without
// extended attributes has none.
template <typename List>
bool attribute_names(List list, std::vector<std::string>* names)
{
    std::string text;
    names->clear();
    if (!fetch_bytes(list, &text))
        return errno == ENOTSUP;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\0', at);
        if (end == std::string::npos)
            end = text.size();
        if (end > at)
            names->push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return true;
}

// Copies every extended attribute of the file at path to fd and removes
// those of fd that the old file lacks (such as an ACL inherited from the
// folder). An attribute that fd holds already with the same value is left
// as it is, since a security label may be one that the caller may not set
// even to its own value.
bool copy_extended_attributes(int fd, const std::string& path)
{
    const char* old = path.c_str();
    std::vector<std::string> oldNames, newNames;
    if (!attribute_names([&](char* b, size_t n) { return llistxattr(old, b, n); }, &oldNames) ||
        !attribute_names([&](char* b, size_t n) { return flistxattr(fd, b, n); }, &newNames))
        return false;
    for (const std::string& name : oldNames) {
        std::string value, present;
        const char* key = name.c_str();
        if (!fetch_bytes([&](void* b, size_t n) { return lgetxattr(old, key, b, n); }, &value))
            return false;
        bool same = fetch_bytes([&](void* b, size_t n) { return fgetxattr(fd, key, b, n); },
                                &present) && present == value;
        if (!same && fsetxattr(fd, key, value.data(), value.size(), 0) != 0)
            return false;
    }
    for (const std::string& name : newNames)
        if (std::find(oldNames.begin(), oldNames.end(), name) == oldNames.end() &&
            fremovexattr(fd, name.c_str()) != 0 && errno != ENODATA)
            return false;
    return true;
}

}  // namespace

mode_t new_file_mode()
{
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool carry_attributes(int fd, const std::string& path, const struct stat& info)
{
    struct stat now;
    if (fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != info.st_uid || now.st_gid != info.st_gid) &&
        fchown(fd, info.st_uid, info.st_gid) != 0)
        return false;
    if (!copy_extended_attributes(fd, path) || fchmod(fd, info.st_mode & 07777) != 0 ||
        fstat(fd, &now) != 0)
        return false;
    // A bit the system would not set (a set-group-id bit for a group the
    // caller is not in) counts as one that cannot be carried.
    return now.st_uid == info.st_uid && now.st_gid == info.st_gid &&
           (now.st_mode & 07777) == (info.st_mode & 07777);
}

}  // namespace file_saving
