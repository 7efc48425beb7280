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
// 40 of them); false with why set for a loop, a link that cannot be read,
// or a link that the caller must not follow (see below).
bool resolve_links(const std::string& fileName, std::string& target, std::string* why);

// The target's state: false (why set) when it is refused. A missing target
// is no refusal; exists says which it is. A file of another user in a
// shared folder (see below) is refused.
bool check_target(const std::string& target, bool* exists, struct stat* info, std::string* why);

// As the kernel rules for world-writable folders with the sticky bit (such
// as /tmp), where anyone may plant a file: a link or a file there is the
// caller's to follow or write only when the caller or the folder's owner
// owns it. The reason when owner's entry in folder is not, else "".
std::string shared_folder_refusal(const std::string& folder, uid_t owner, bool link);

// The folder that holds target.
std::string folder_of(const std::string& target);

}  // namespace file_saving

#endif
