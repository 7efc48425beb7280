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

std::string shared_folder_refusal(const std::string& folder, uid_t owner, bool link)
{
    struct stat about;
    uid_t caller = geteuid();
    if (owner == caller || stat(folder.c_str(), &about) != 0 || owner == about.st_uid ||
        (about.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH))
        return "";
    return link ? "another user's symbolic link in a world-writable sticky folder is not followed"
                : "another user's file in a world-writable sticky folder is not written";
}

bool resolve_links(const std::string& fileName, std::string& target, std::string* why)
{
    target = fileName;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info;
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return true;
        *why = shared_folder_refusal(folder_of(target), info.st_uid, true);
        if (!why->empty())
            return false;
        std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        ssize_t length = readlink(target.c_str(), &link[0], link.size());
        if (length < 0 || static_cast<size_t>(length) >= link.size()) {
            *why = strerror(length < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        link.resize(static_cast<size_t>(length));
        size_t slash = target.rfind('/');
        if (link.empty() || link[0] == '/' || slash == std::string::npos)
            target = link;
        else
            target = target.substr(0, slash + 1) + link;
    }
    *why = strerror(ELOOP);
    return false;
}

bool check_target(const std::string& target, bool* exists, struct stat* info, std::string* why)
{
    *exists = stat(target.c_str(), info) == 0;
    if (!*exists)
        *why = errno == ENOENT ? "" : strerror(errno);
    else if (!S_ISREG(info->st_mode))
        *why = not_regular_reason(*info);
    else
        *why = shared_folder_refusal(folder_of(target), info->st_uid, false);
    if (why->empty() && *exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        *why = strerror(errno);
    return why->empty();
}

std::string folder_of(const std::string& target)
{
    size_t slash = target.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : target.substr(0, slash);
}

}  // namespace file_saving
