// Writing a file in place: opened, locked, grown to its new length before
// any old byte changes, and given its old content back on a failure.
#ifndef FILESAVE_IN_PLACE_WRITE_H
#define FILESAVE_IN_PLACE_WRITE_H

#include <string>

namespace file_saving {

// Opens path, a regular file that the caller may read and write: the
// descriptor, or -1 with why set.
int open_for_writing(const std::string& path, std::string* why);

// Takes an exclusive lock on fd within the bounded wait of
// lock_within_wait; false with why set when another process kept it.
bool lock_for_writing(int fd, std::string* why);

// Makes text the whole content of the locked file fd. Its old content is
// read into *old first and the file grown to its new length before any old
// byte changes, so that a full disk is met while the file is still whole; a
// write that fails after that puts the old content back. False with why set
// when the file holds *old again.
bool write_in_place(int fd, const std::string& text, std::string* old, std::string* why);

// Makes old the whole content of fd again (after a later step of the same
// save failed). False when that failed too.
bool put_back(int fd, const std::string& old);

}  // namespace file_saving

#endif
