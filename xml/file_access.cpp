// Regular files only: opening one for reading, and replacing files through
// temporary files and renames so that a failed save leaves the old files.
#include "xml/file_access.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* kNotRegular = "not a regular file";

// A directory gets the system's own reason; any other file that is not
// regular, the plain one.
std::string not_regular_reason(const struct stat& info)
{
    return S_ISDIR(info.st_mode) ? strerror(EISDIR) : kNotRegular;
}

bool write_all(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file that fileName names once symbolic links are followed (at most
// 40 of them); false for a loop or a link that cannot be read.
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

// One file on its way to its target.
struct Pending {
    std::string target;     // the regular file replaced, links followed
    std::string temporary;  // holds the whole new content; empty: written in place
};

// The target's state: false (why set) when it is refused. A missing target
// is no refusal; exists says which it is.
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

// The folder that holds target.
std::string folder_of(const std::string& target)
{
    size_t slash = target.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : target.substr(0, slash);
}

// In a folder with the sticky bit (such as /tmp) only the file's owner, the
// folder's owner or the superuser may rename over a file; for anyone else who
// may write the file, the rename would fail where an in-place open succeeds.
bool rename_forbidden_by_sticky_folder(const std::string& target, const struct stat& info)
{
    struct stat folder;
    uid_t caller = geteuid();
    return stat(folder_of(target).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
           caller != 0 && caller != info.st_uid && caller != folder.st_uid;
}

// Checks the target and writes the temporary file beside it. A writable
// target in a folder where no file can be made, or that the caller may not
// rename over, is left for the in-place write instead.
bool prepare(const FileText& file, Pending* out, std::string* why)
{
    struct stat info;
    bool exists = false;
    if (!resolve_links(file.path, out->target)) {
        *why = strerror(errno);
        return false;
    }
    if (!check_target(out->target, &exists, &info, why))
        return false;
    if (exists && rename_forbidden_by_sticky_folder(out->target, info))
        return true;
    size_t slash = out->target.rfind('/');
    std::string temporary =
        (slash == std::string::npos ? "" : out->target.substr(0, slash + 1)) + ".saving.XXXXXX";
    int fd = mkostemp(&temporary[0], O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        if (exists && (error == EACCES || error == EPERM))
            return true;
        *why = strerror(error);
        return false;
    }
    copy_attributes(fd, exists, info);
    bool written = write_all(fd, file.text) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temporary.c_str());
        *why = strerror(error);
        return false;
    }
    out->temporary = temporary;
    return true;
}

// Overwrites the target from its start and cuts it to the new length.
bool write_in_place(const std::string& target, const std::string& text, std::string* why)
{
    int fd = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = strerror(errno);
        return false;
    }
    struct stat info;
    bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    bool written = regular && write_all(fd, text) &&
                   ftruncate(fd, static_cast<off_t>(text.size())) == 0 && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written)
        *why = regular ? strerror(error) : kNotRegular;
    return written;
}

void discard(const std::vector<Pending>& pending)
{
    for (const Pending& p : pending)
        if (!p.temporary.empty())
            unlink(p.temporary.c_str());
}

}  // namespace

std::string replace_refusal(const char* path)
{
    std::string target, why;
    struct stat info;
    bool exists = false;
    if (path == nullptr || *path == '\0')
        return "the file name is empty";
    if (!resolve_links(path, target))
        return strerror(errno);
    if (!check_target(target, &exists, &info, &why))
        return why;
    if (exists)
        return "";
    // A new file needs a folder the caller may enter and add to.
    std::string folder = folder_of(target);
    if (stat(folder.c_str(), &info) != 0)
        return strerror(errno);
    if (!S_ISDIR(info.st_mode))
        return strerror(ENOTDIR);
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return strerror(errno);
    return "";
}

std::string regular_file_refusal(const char* path)
{
    struct stat info;
    if (stat(path, &info) != 0 || S_ISREG(info.st_mode))
        return "";
    return not_regular_reason(info);
}

int open_regular_file(const char* path, std::string* refusal)
{
    refusal->clear();
    struct stat info;
    if (stat(path, &info) != 0)
        return -1;
    if (!S_ISREG(info.st_mode)) {
        *refusal = not_regular_reason(info);
        return -1;
    }
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        return fd;
    // Replaced by something else between the two looks.
    close(fd);
    *refusal = kNotRegular;
    return -1;
}

// Every file is prepared before any target changes; the in-place writes,
// which can fail part-way, go before the renames, which do not.
bool replace_files(const std::vector<FileText>& files, size_t* failed, std::string* why)
{
    std::vector<Pending> pending(files.size());
    size_t i = 0;
    bool ok = true;
    for (; ok && i < files.size(); ++i)
        ok = prepare(files[i], &pending[i], why);
    for (size_t j = 0; ok && j < files.size(); ++j) {
        i = j + 1;
        if (pending[j].temporary.empty())
            ok = write_in_place(pending[j].target, files[j].text, why);
    }
    for (size_t j = 0; ok && j < files.size(); ++j) {
        i = j + 1;
        if (pending[j].temporary.empty())
            continue;
        ok = rename(pending[j].temporary.c_str(), pending[j].target.c_str()) == 0;
        if (!ok)
            *why = strerror(errno);
        else
            pending[j].temporary.clear();
    }
    if (ok)
        return true;
    *failed = i - 1;
    discard(pending);
    return false;
}
