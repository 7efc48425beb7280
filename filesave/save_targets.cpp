// The file a save names: links followed, checked as a writable regular file
// or a missing one, and the folder that holds it.
#include "filesave/save_targets.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace file_saving {

const char* const kNotRegular = "not a regular file";

std::string not_regular_reason(const struct stat& info)
{
    return S_ISDIR(info.st_mode) ? strerror(EISDIR) : kNotRegular;
}

bool resolve_links(const std::string& fileName, std::string& target)
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
    errno = ELOOP;
    return false;
}

bool check_target(const std::string& target, bool* exists, struct stat* info, std::string* why)
{
    *exists = stat(target.c_str(), info) == 0;
    if (!*exists && errno != ENOENT)
        *why = strerror(errno);
    else if (*exists && !S_ISREG(info->st_mode))
        *why = not_regular_reason(*info);
    else if (*exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        *why = strerror(errno);
    else
        return true;
    return false;
}

std::string folder_of(const std::string& target)
{
    size_t slash = target.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : target.substr(0, slash);
}

}  // namespace file_saving
