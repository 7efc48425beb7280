// Regular files only: opening one for reading, and replacing files whole,
// through temporary files and renames or in place, so that a failed or
// interrupted save leaves the old files. The network programs compile this
// file alone as their own copy, so everything a save needs is here.
#include "xml/file_access.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include "xml/save_calls.h"

SaveCalls save_calls = {pwrite, posix_fallocate};

bool write_all_at(int fd, const char* data, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = save_calls.write_at(fd, data + done, size - done,
                                        offset + static_cast<off_t>(done));
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

namespace {

const char* kNotRegular = "not a regular file";

// A directory gets the system's own reason; any other file that is not
// regular, the plain one.
std::string not_regular_reason(const struct stat& info)
{
    return S_ISDIR(info.st_mode) ? strerror(EISDIR) : kNotRegular;
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

// Temporary files, and the signals that remove them.

// One registered temporary file.
struct Registered {
    int folder;               // the folder it is in
    char name[NAME_MAX + 1];  // its name there; empty: none
};

Registered* g_slots = nullptr;          // the files of the save in progress
volatile sig_atomic_t g_slotCount = 0;  // the slots the handler may read

const int kSignals[] = {SIGINT, SIGTERM};

// Room for the target's name in ".<name>.saving.XXXXXX".
const size_t kNameRoom = NAME_MAX - 15;

void remove_temporaries_and_end(int signal)
{
    for (sig_atomic_t i = 0; i < g_slotCount; ++i)
        if (g_slots[i].name[0] != '\0')
            unlinkat(g_slots[i].folder, g_slots[i].name, 0);
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigaction(signal, &standard, nullptr);
    // Still blocked inside the handler: the signal ends the process as soon
    // as the handler returns.
    raise(signal);
}

sigset_t interrupt_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals)
        sigaddset(&set, s);
    return set;
}

void block_interrupts(sigset_t* before)
{
    sigset_t set = interrupt_signals();
    sigprocmask(SIG_BLOCK, &set, before);
}

// Six letters or digits, from the kernel's random source or, failing that,
// from the clock, the process and a counter.
std::string random_suffix()
{
    static const char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        static unsigned long long counter = 0;
        struct timespec now = {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        unsigned long long state = static_cast<unsigned long long>(now.tv_nsec) ^
                                   (static_cast<unsigned long long>(getpid()) << 32) ^ ++counter;
        for (unsigned char& b : bytes) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            b = static_cast<unsigned char>(state >> 56);
        }
    }
    std::string suffix;
    for (unsigned char b : bytes)
        suffix += kLetters[b % (sizeof kLetters - 1)];
    return suffix;
}

int open_folder(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
        fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd;
}

void sync_folder(int folder)
{
    int flags = fcntl(folder, F_GETFL);
    if (flags >= 0 && (flags & O_PATH) == 0)
        fsync(folder);
}

// The temporary files of one save, registered so that SIGINT and SIGTERM
// remove them before they end the process. While a record lives, each of
// the two signals whose action was the default one has a handler that
// unlinks every registered file, restores the default action and raises the
// signal again; the previous actions come back when the record ends.
class Temporaries {
public:
    explicit Temporaries(size_t count);  // slots 0 to count - 1
    ~Temporaries();
    Temporaries(const Temporaries&) = delete;
    Temporaries& operator=(const Temporaries&) = delete;

    // Makes a new empty file ".<name>.saving.XXXXXX" (name cut to fit a
    // file name) in folder, registered in slot; its descriptor and in *made
    // its name, or -1 with errno.
    int make(size_t slot, int folder, const std::string& name, std::string* made);
    // The file of slot is gone (renamed or removed) and no longer registered.
    void forget(size_t slot);
    // Removes the file of slot, if any, and forgets it.
    void remove(size_t slot);

    // Holds SIGINT and SIGTERM back until resume(), so that writes which must
    // not stop half-way (in place, or the renames of several files) finish.
    void hold();
    void resume();

private:
    struct sigaction previous_[2];  // the actions of SIGINT and SIGTERM before
    bool replaced_[2] = {};         // which of the two got the handler
    sigset_t held_;                 // the signal mask before hold()
    bool holding_ = false;          // hold() is in force
};

Temporaries::Temporaries(size_t count)
{
    g_slots = new Registered[count]();
    g_slotCount = static_cast<sig_atomic_t>(count);
    // A signal that was ignored stays ignored, and one that the program
    // handles itself stays its own.
    struct sigaction handler = {};
    handler.sa_handler = remove_temporaries_and_end;
    handler.sa_mask = interrupt_signals();
    for (size_t i = 0; i < 2; ++i) {
        if (sigaction(kSignals[i], nullptr, &previous_[i]) != 0 ||
            (previous_[i].sa_flags & SA_SIGINFO) != 0 || previous_[i].sa_handler != SIG_DFL)
            continue;
        replaced_[i] = sigaction(kSignals[i], &handler, nullptr) == 0;
    }
}

Temporaries::~Temporaries()
{
    sigset_t before;
    block_interrupts(&before);
    for (sig_atomic_t i = 0; i < g_slotCount; ++i)
        remove(static_cast<size_t>(i));
    for (size_t i = 0; i < 2; ++i)
        if (replaced_[i])
            sigaction(kSignals[i], &previous_[i], nullptr);
    g_slotCount = 0;
    delete[] g_slots;
    g_slots = nullptr;
    sigprocmask(SIG_SETMASK, holding_ ? &held_ : &before, nullptr);
}

int Temporaries::make(size_t slot, int folder, const std::string& name, std::string* made)
{
    std::string stem = "." + name.substr(0, kNameRoom) + ".saving.";
    // A name taken already is tried again under another suffix, a bounded
    // number of times.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + random_suffix();
        sigset_t before;
        block_interrupts(&before);
        int fd = openat(folder, candidate.c_str(),
                        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        int error = errno;
        if (fd >= 0) {
            g_slots[slot].folder = folder;
            candidate.copy(g_slots[slot].name, candidate.size());
            g_slots[slot].name[candidate.size()] = '\0';
        }
        sigprocmask(SIG_SETMASK, &before, nullptr);
        if (fd >= 0) {
            *made = candidate;
            return fd;
        }
        if (error != EEXIST) {
            errno = error;
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

void Temporaries::forget(size_t slot)
{
    g_slots[slot].name[0] = '\0';
}

void Temporaries::remove(size_t slot)
{
    if (g_slots[slot].name[0] != '\0')
        unlinkat(g_slots[slot].folder, g_slots[slot].name, 0);
    forget(slot);
}

void Temporaries::hold()
{
    if (!holding_)
        block_interrupts(&held_);
    holding_ = true;
}

void Temporaries::resume()
{
    if (holding_)
        sigprocmask(SIG_SETMASK, &held_, nullptr);
    holding_ = false;
}

// What a replacing file carries over from the file it replaces.

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
    if (!attribute_names([&](char* b, size_t n) { return listxattr(old, b, n); }, &oldNames) ||
        !attribute_names([&](char* b, size_t n) { return flistxattr(fd, b, n); }, &newNames))
        return false;
    for (const std::string& name : oldNames) {
        std::string value, present;
        const char* key = name.c_str();
        if (!fetch_bytes([&](void* b, size_t n) { return getxattr(old, key, b, n); }, &value))
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

// Gives the new file fd everything of the old file at path (whose state is
// info): its owner and group, its extended attributes and no others, then
// its permission bits (after the owner, whose change clears set-id bits).
// False when any of them cannot be given, as when the caller may not give
// the file away to the old owner or group: the old file must then be
// written in place.
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

// In-place writes: lock, read the old content, grow, overwrite, cut, sync;
// on failure the old content goes back.

bool read_all(int fd, std::string* out)
{
    out->clear();
    char chunk[65536];
    for (;;) {
        ssize_t n = pread(fd, chunk, sizeof chunk, static_cast<off_t>(out->size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        out->append(chunk, static_cast<size_t>(n));
    }
}

// Makes the file as long as text before any old byte changes: the space is
// reserved or, where the file system reserves none, the part past the old
// end is written first. 0 or an errno; *head is how much of text is still
// to be written from the start.
int grow(int fd, const std::string& text, size_t oldSize, size_t* head)
{
    *head = text.size();
    if (text.size() <= oldSize)
        return 0;
    int error = EINTR;
    while (error == EINTR)
        error = save_calls.allocate(fd, 0, static_cast<off_t>(text.size()));
    if (error != EOPNOTSUPP && error != EINVAL)
        return error;
    if (!write_all_at(fd, text.data() + oldSize, text.size() - oldSize,
                      static_cast<off_t>(oldSize)))
        return errno;
    *head = oldSize;
    return 0;
}

// Writes the first head bytes of text over the old ones and cuts the file to
// the length of text; 0 or an errno.
int overwrite(int fd, const std::string& text, size_t head)
{
    if (!write_all_at(fd, text.data(), head, 0) ||
        ftruncate(fd, static_cast<off_t>(text.size())) != 0 || fsync(fd) != 0)
        return errno;
    return 0;
}

// Opens path, a regular file that the caller may read and write: the
// descriptor, or -1 with why set.
int open_for_writing(const std::string& path, std::string* why)
{
    int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (fd < 0) {
        *why = strerror(errno);
        return -1;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        // Replaced by something else since it was checked.
        *why = kNotRegular;
        close(fd);
        return -1;
    }
    return fd;
}

// A file system without locks still gets the write, unlocked.
void lock_for_writing(int fd)
{
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

// Makes old the whole content of fd again (after a later step of the same
// save failed). False when that failed too.
bool put_back(int fd, const std::string& old)
{
    return write_all_at(fd, old.data(), old.size(), 0) &&
           ftruncate(fd, static_cast<off_t>(old.size())) == 0 && fsync(fd) == 0;
}

// Makes text the whole content of the locked file fd. Its old content is
// read into *old first and the file grown to its new length before any old
// byte changes, so that a full disk is met while the file is still whole; a
// write that fails after that puts the old content back. False with why set
// when the file holds *old again.
bool write_in_place(int fd, const std::string& text, std::string* old, std::string* why)
{
    if (!read_all(fd, old)) {
        *why = strerror(errno);
        return false;
    }
    size_t head = 0;
    int error = grow(fd, text, old->size(), &head);
    if (error == 0)
        error = overwrite(fd, text, head);
    if (error == 0)
        return true;
    put_back(fd, *old);
    *why = strerror(error);
    return false;
}

// Replacing files.

// One file on its way to its target.
struct Pending {
    std::string target;     // the regular file replaced, links followed
    int folder = -1;        // the target's folder: temporary, rename and sync
    std::string name;       // the target's name in that folder
    std::string temporary;  // holds the whole new content; empty: written in place
    int inPlace = -1;       // the target, open and locked, when written in place
    std::string old;        // its content before the in-place write
    bool written = false;   // the in-place write is done
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

// Checks the target and makes ready its new content: a temporary file
// beside it or, for a writable target that cannot be replaced by a rename,
// the target itself opened and locked.
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

// Writes every in-place file, then renames every temporary over its target
// and syncs the folders: index of the file at fault, or files.size().
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

// After a failure: the in-place files written get their old content back,
// and every temporary left goes.
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

// Every file is prepared before any target changes. The in-place writes,
// which can fail part-way, go before the renames, which do not; interrupting
// signals wait until both are done, so that a file is never left half
// written and several files change together.
bool replace_files(const std::vector<FileText>& files, size_t* failed, std::string* why)
{
    std::vector<Pending> pending(files.size());
    Temporaries temporaries(files.size());
    size_t at = 0;
    while (at < files.size() && prepare(files[at], at, temporaries, pending, why))
        ++at;
    if (at == files.size()) {
        temporaries.hold();
        at = commit(files, pending, temporaries, why);
    }
    bool ok = at == files.size();
    if (!ok) {
        *failed = at;
        undo(pending, temporaries);
    }
    close_all(pending);
    temporaries.resume();
    return ok;
}
