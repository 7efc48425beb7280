// Replacing files through temporary files and renames, or in place where a
// rename cannot replace the target: preparing, committing and undoing.
#include "filesave/replace_steps.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filesave/file_attributes.h"
#include "filesave/in_place_write.h"
#include "filesave/save_calls.h"
#include "filesave/save_targets.h"

namespace file_saving {
namespace {

// The folder, opened to make, rename and sync files in; one the caller may
// not read is opened as a path only, which cannot be synced.
int open_folder(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
        fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd;
}

// Makes the renames in folder last; a folder opened as a path only is left.
void sync_folder(int folder)
{
    int flags = fcntl(folder, F_GETFL);
    if (flags >= 0 && (flags & O_PATH) == 0)
        fsync(folder);
}

// In a folder with the sticky bit (such as /tmp) only the file's owner, the
// folder's owner or the superuser may rename over a file; for anyone else who
// may write the file, the rename would fail where an in-place open succeeds.
bool rename_forbidden_by_sticky_folder(int folder, const struct stat& info)
{
    struct stat about;
    uid_t caller = geteuid();
    return fstat(folder, &about) == 0 && (about.st_mode & S_ISVTX) != 0 && caller != 0 &&
           caller != info.st_uid && caller != about.st_uid;
}

// Opens and locks the target for the in-place write. The same file named
// twice would wait for its own lock, so it is refused.
bool open_in_place(Pending* out, const std::vector<Pending>& pending, std::string* why)
{
    out->inPlace = open_for_writing(out->target, why);
    struct stat info, other;
    if (out->inPlace < 0 || fstat(out->inPlace, &info) != 0)
        return false;
    for (const Pending& p : pending)
        if (&p != out && p.inPlace >= 0 && fstat(p.inPlace, &other) == 0 &&
            other.st_dev == info.st_dev && other.st_ino == info.st_ino) {
            *why = "the same file is named twice";
            return false;
        }
    lock_for_writing(out->inPlace);
    return true;
}

// Writes the new content to a temporary file beside the target, with the
// target's owner, group, mode and extended attributes: true with
// out->temporary set, or true with it empty when the target must be written
// in place instead (no file can be made in the folder, or the new file could
// not carry all of the target's attributes).
bool write_temporary(const FileText& file, size_t slot, bool exists, const struct stat& info,
                     Temporaries& temporaries, Pending* out, std::string* why)
{
    std::string made;
    int fd = temporaries.make(slot, out->folder, out->name, &made);
    if (fd < 0) {
        if (exists && (errno == EACCES || errno == EPERM))
            return true;
        *why = strerror(errno);
        return false;
    }
    bool carried = exists ? carry_attributes(fd, out->target, info)
                          : fchmod(fd, new_file_mode()) == 0;
    bool written = carried && write_all_at(fd, file.text.data(), file.text.size(), 0) &&
                   fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written)
        out->temporary = made;
    else
        temporaries.remove(slot);
    if (written || (exists && !carried))
        return true;
    *why = strerror(error);
    return false;
}

}  // namespace

bool prepare(const FileText& file, size_t slot, Temporaries& temporaries,
             std::vector<Pending>& pending, std::string* why)
{
    Pending* out = &pending[slot];
    struct stat info;
    bool exists = false;
    if (file.path.empty()) {
        *why = "the file name is empty";
        return false;
    }
    if (!resolve_links(file.path, out->target)) {
        *why = strerror(errno);
        return false;
    }
    if (!check_target(out->target, &exists, &info, why))
        return false;
    size_t slash = out->target.rfind('/');
    out->name = slash == std::string::npos ? out->target : out->target.substr(slash + 1);
    out->folder = open_folder(folder_of(out->target));
    if (out->name.empty() || out->folder < 0) {
        *why = strerror(out->name.empty() ? EISDIR : errno);
        return false;
    }
    if (!exists || !rename_forbidden_by_sticky_folder(out->folder, info)) {
        if (!write_temporary(file, slot, exists, info, temporaries, out, why))
            return false;
        if (!out->temporary.empty())
            return true;
    }
    return open_in_place(out, pending, why);
}

size_t commit(const std::vector<FileText>& files, std::vector<Pending>& pending,
              Temporaries& temporaries, std::string* why)
{
    for (size_t i = 0; i < files.size(); ++i) {
        if (pending[i].inPlace < 0)
            continue;
        if (!write_in_place(pending[i].inPlace, files[i].text, &pending[i].old, why))
            return i;
        pending[i].written = true;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (pending[i].temporary.empty())
            continue;
        if (renameat(pending[i].folder, pending[i].temporary.c_str(), pending[i].folder,
                     pending[i].name.c_str()) != 0) {
            *why = strerror(errno);
            return i;
        }
        temporaries.forget(i);
        pending[i].temporary.clear();
    }
    for (const Pending& p : pending)
        sync_folder(p.folder);
    return files.size();
}

void undo(std::vector<Pending>& pending, Temporaries& temporaries)
{
    for (size_t i = 0; i < pending.size(); ++i) {
        if (pending[i].written)
            put_back(pending[i].inPlace, pending[i].old);
        temporaries.remove(i);
    }
}

void close_all(const std::vector<Pending>& pending)
{
    for (const Pending& p : pending) {
        if (p.inPlace >= 0)
            close(p.inPlace);
        if (p.folder >= 0)
            close(p.folder);
    }
}

}  // namespace file_saving
