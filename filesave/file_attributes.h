// What a file made to replace another carries over from it: owner, group,
// permission bits and extended attributes; and the mode of a new file.
#ifndef FILESAVE_FILE_ATTRIBUTES_H
#define FILESAVE_FILE_ATTRIBUTES_H

#include <string>
#include <sys/stat.h>

namespace file_saving {

// The permission bits of a file that replaces none: 0666 less the umask, as
// a program's fopen gives them.
mode_t new_file_mode();

// Gives the new file fd everything of the old file at path (whose state is
// info): its owner and group, its extended attributes and no others, then
// its permission bits (after the owner, whose change clears set-id bits).
// False when any of them cannot be given, as when the caller may not give
// the file away to the old owner or group: the old file must then be
// written in place.
bool carry_attributes(int fd, const std::string& path, const struct stat& info);

}  // namespace file_saving

#endif
