// The writes of a save: whole buffers through the replaceable calls, and the
// in-place write (lock, read, grow, overwrite, cut, sync; or put back).
#include "filesave/in_place_write.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filesave/filesave.h"
#include "filesave/save_calls.h"
#include "filesave/save_targets.h"

SaveCalls save_calls = {pwrite, posix_fallocate, renameat};

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

namespace file_saving {
namespace {

// Reads the whole content of fd from its start into *out; false with errno
// set.
bool read_all(int fd, std::string* out)
{
    struct stat info;
    out->clear();
    if (fstat(fd, &info) == 0 && info.st_size > 0)
        out->reserve(static_cast<size_t>(info.st_size));
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

}  // namespace

int open_for_writing(const std::string& path, std::string* why)
{
    int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
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

bool lock_for_writing(int fd, std::string* why)
{
    if (lock_within_wait(fd, LOCK_EX))
        return true;
    *why = kLockedByOther;
    return false;
}

bool put_back(int fd, const std::string& old)
{
    return write_all_at(fd, old.data(), old.size(), 0) &&
           ftruncate(fd, static_cast<off_t>(old.size())) == 0 && fsync(fd) == 0;
}

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

}  // namespace file_saving
