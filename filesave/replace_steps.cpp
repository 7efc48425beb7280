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

// A file mounted over another (a bind mount) cannot be renamed over: the
// kernel says so where it can, and a file of another file system than its
// folder's is one.
bool is_mount_point(const Pending& p)
{
    struct statx about;
    if (statx(p.folder, p.name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &about) == 0 &&
        (about.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0)
        return (about.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    struct stat folder;
    return fstat(p.folder, &folder) == 0 && folder.st_dev != p.info.st_dev;
}

// Two outputs that are one file: the same name in the same folder, or two
// names of one existing file.
bool named_before(const std::vector<Pending>& pending, size_t slot)
{
    const Pending& p = pending[slot];
    struct stat mine, other;
    if (fstat(p.folder, &mine) != 0)
        return false;
    for (size_t i = 0; i < slot; ++i) {
        const Pending& q = pending[i];
        if (p.exists && q.exists && p.info.st_dev == q.info.st_dev && p.info.st_ino == q.info.st_ino)
            return true;
        if (p.name == q.name && fstat(q.folder, &other) == 0 && mine.st_dev == other.st_dev &&
            mine.st_ino == other.st_ino)
            return true;
    }
    return false;
}

// The target of path, checked, with its folder open, and whether a rename
// may replace it (a new file, or one that is neither another user's in a
// folder with the sticky bit nor a mount point). False with why set when
// the target is refused.
bool plan(const std::string& path, size_t slot, std::vector<Pending>& pending, bool* byRename,
          std::string* why)
{
    Pending* out = &pending[slot];
    if (path.empty()) {
        *why = "the file name is empty";
        return false;
    }
    if (!resolve_links(path, out->target, why) ||
        !check_target(out->target, &out->exists, &out->info, why))
        return false;
    size_t slash = out->target.rfind('/');
    out->name = slash == std::string::npos ? out->target : out->target.substr(slash + 1);
    out->folder = open_folder(folder_of(out->target));
    if (out->name.empty() || out->folder < 0) {
        *why = strerror(out->name.empty() ? EISDIR : errno);
        return false;
    }
    if (named_before(pending, slot)) {
        *why = "the same file is named twice";
        return false;
    }
    *byRename = !out->exists ||
                (!rename_forbidden_by_sticky_folder(out->folder, out->info) && !is_mount_point(*out));
    return true;
}

// Opens and locks the target for the in-place write; refused when another
// process keeps it locked.
bool open_in_place(Pending* out, std::string* why)
{
    out->inPlace = open_for_writing(out->target, why);
    if (out->inPlace < 0)
        return false;
    return lock_for_writing(out->inPlace, why);
}

// Writes text to a temporary file beside the target, with the target's
// owner, group, mode and extended attributes: true with out->temporary set,
// or true with it empty when the target must be written in place instead
// (no file can be made in the folder, or the new file could not carry all
// of the target's attributes).
bool write_temporary(const std::string& text, size_t slot, Temporaries& temporaries,
                     Pending* out, std::string* why)
{
    std::string made;
    int fd = temporaries.make(slot, out->folder, out->name, &made);
    if (fd < 0) {
        if (out->exists && (errno == EACCES || errno == EPERM))
            return true;
        *why = strerror(errno);
        return false;
    }
    bool carried = out->exists ? carry_attributes(fd, out->target, out->info)
                               : fchmod(fd, new_file_mode()) == 0;
    bool written = carried && write_all_at(fd, text.data(), text.size(), 0) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written)
        out->temporary = made;
    else
        temporaries.remove(slot);
    if (written || (out->exists && !carried))
        return true;
    *why = strerror(error);
    return false;
}

// When more than one target is renamed over, each old target that is there
// gets a second name first, so that a later rename that fails can put it
// back: index of the file at fault, or pending.size().
size_t keep_old_files(std::vector<Pending>& pending, std::string* why)
{
    size_t renames = 0;
    for (const Pending& p : pending)
        renames += p.temporary.empty() ? 0 : 1;
    for (size_t i = 0; i < pending.size() && renames > 1; ++i) {
        if (pending[i].temporary.empty() || !pending[i].exists)
            continue;
        if (!link_beside(pending[i].folder, pending[i].name, &pending[i].backup)) {
            *why = strerror(errno);
            return i;
        }
    }
    return pending.size();
}

// Puts back what stood at a target that a rename replaced.
void restore_renamed(const Pending& p)
{
    if (!p.backup.empty())
        renameat(p.folder, p.backup.c_str(), p.folder, p.name.c_str());
    else if (!p.exists)
        unlinkat(p.folder, p.name.c_str(), 0);
    sync_folder(p.folder);
}

}  // namespace

bool prepare(const FileText& file, size_t slot, Temporaries& temporaries,
             std::vector<Pending>& pending, std::string* why)
{
    Pending* out = &pending[slot];
    bool byRename = false;
    if (!plan(file.path, slot, pending, &byRename, why))
        return false;
    if (byRename) {
        if (!write_temporary(file.text, slot, temporaries, out, why))
            return false;
        if (!out->temporary.empty())
            return true;
    }
    return open_in_place(out, why);
}

bool check_ready(const std::string& path, size_t slot, Temporaries& temporaries,
                 std::vector<Pending>& pending, std::string* why)
{
    Pending* out = &pending[slot];
    bool byRename = false;
    if (!plan(path, slot, pending, &byRename, why))
        return false;
    if (byRename) {
        // A trial file, empty and removed at once, meets what the save's
        // temporary file would meet.
        if (!write_temporary("", slot, temporaries, out, why))
            return false;
        temporaries.remove(slot);
        if (!out->temporary.empty())
            return true;
    }
    // Written in place: opened for reading and writing.
    if (faccessat(AT_FDCWD, out->target.c_str(), R_OK | W_OK, AT_EACCESS) == 0)
        return true;
    *why = strerror(errno);
    return false;
}

size_t commit(const std::vector<FileText>& files, std::vector<Pending>& pending,
              Temporaries& temporaries, std::string* why)
{
    size_t kept = keep_old_files(pending, why);
    if (kept < files.size())
        return kept;
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
        if (save_calls.rename_at(pending[i].folder, pending[i].temporary.c_str(),
                                 pending[i].folder, pending[i].name.c_str()) != 0) {
            *why = strerror(errno);
            return i;
        }
        temporaries.forget(i);
        pending[i].temporary.clear();
        pending[i].renamed = true;
    }
    for (Pending& p : pending) {
        if (!p.backup.empty())
            unlinkat(p.folder, p.backup.c_str(), 0);
        p.backup.clear();
        sync_folder(p.folder);
    }
    return files.size();
}

void undo(std::vector<Pending>& pending, Temporaries& temporaries)
{
    for (size_t i = 0; i < pending.size(); ++i) {
        Pending& p = pending[i];
        if (p.written)
            put_back(p.inPlace, p.old);
        if (p.renamed)
            restore_renamed(p);
        else if (!p.backup.empty())
            unlinkat(p.folder, p.backup.c_str(), 0);
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
