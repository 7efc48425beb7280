// The file a save names, made plain: its symbolic links followed, its state
// checked (a writable regular file, or none yet) and the folder that holds it.
#ifndef FILESAVE_SAVE_TARGETS_H
#define FILESAVE_SAVE_TARGETS_H

#include <string>
#include <sys/stat.h>

namespace file_saving {

// The reason given for a file that is no regular file and no directory.
extern const char* const kNotRegular;

// A directory gets the system's own reason; any other file that is not
// regular, the plain one.
std::string not_regular_reason(const struct stat& info);

// The file that fileName names once symbolic links are followed (at most
// 40 of them); false for a loop or a link that cannot be read.
bool resolve_links(const std::string& fileName, std::string& target);

// The target's state: false (why set) when it is refused. A missing target
// is no refusal; exists says which it is.
bool check_target(const std::string& target, bool* exists, struct stat* info, std::string* why);

// The folder that holds target.
std::string folder_of(const std::string& target);

}  // namespace file_saving

#endif
