// The calls through which a save claims disk space and renames its files,
// replaceable by a test that needs a disk to fill, a rename to fail, or a
// signal to come, at a chosen moment.
#ifndef FILESAVE_SAVE_CALLS_H
#define FILESAVE_SAVE_CALLS_H

#include <sys/types.h>

struct SaveCalls {
    ssize_t (*write_at)(int fd, const void* data, size_t size, off_t offset);  // as pwrite
    int (*allocate)(int fd, off_t offset, off_t length);  // as posix_fallocate: 0 or an errno
    int (*rename_at)(int fromFolder, const char* from, int toFolder, const char* to);  // as renameat
};

// The calls every save makes; pwrite, posix_fallocate and renameat.
extern SaveCalls save_calls;

// Writes size bytes of data at offset: true when all of them were written,
// else false with errno set (a write that stops short without a reason sets
// ENOSPC).
bool write_all_at(int fd, const char* data, size_t size, off_t offset);

#endif
