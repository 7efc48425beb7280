// Regular files only: locking one within a bounded wait, opening one for
// reading, why one cannot be read or replaced, and replacing files whole,
// all or none (steps in replace_steps).
#include "filesave/filesave.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "filesave/replace_steps.h"
#include "filesave/save_targets.h"

using file_saving::Pending;
using file_saving::Temporaries;
using file_saving::check_ready;
using file_saving::close_all;
using file_saving::commit;
using file_saving::kNotRegular;
using file_saving::not_regular_reason;
using file_saving::prepare;
using file_saving::undo;

const char* const kLockedByOther = "another process holds a lock on it";

namespace {

// The wait for a lock: this many tries, kLockPause apart. A count, not a
// clock, ends it, so a steady stream of other holders cannot prolong it.
constexpr int kLockTries = 300;
constexpr struct timespec kLockPause = {0, 10 * 1000 * 1000};

}  // namespace

// The same steps as a save, up to the point where it would write: a
// temporary file tried and removed, or the target's permission to be read
// and written in place.
std::string replace_refusal(const std::vector<std::string>& paths, size_t* failed)
{
    std::vector<Pending> pending(paths.size());
    Temporaries temporaries(paths.size());
    std::string why;
    size_t at = 0;
    while (at < paths.size() && check_ready(paths[at], at, temporaries, pending, &why))
        ++at;
    close_all(pending);
    *failed = at;
    return at == paths.size() ? "" : why;
}

std::string replace_refusal(const char* path)
{
    size_t failed = 0;
    return replace_refusal(std::vector<std::string>{path != nullptr ? path : ""}, &failed);
}

bool lock_within_wait(int fd, int kind)
{
    for (int tried = 0; tried < kLockTries; ++tried) {
        if (flock(fd, kind | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return true;  // no locks on this file system
        nanosleep(&kLockPause, nullptr);
    }
    return false;
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
    // Replaced by something else between the two looks, or kept locked.
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        *refusal = kNotRegular;
    else if (!lock_within_wait(fd, LOCK_SH))
        *refusal = kLockedByOther;
    else
        return fd;
    close(fd);
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
