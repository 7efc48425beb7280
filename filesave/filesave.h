// Regular files only: opening one for reading without waiting on a FIFO, and
// replacing files whole. The XML library and the network programs share it.
#ifndef FILESAVE_FILESAVE_H
#define FILESAVE_FILESAVE_H

#include <string>
#include <vector>

// The reason given for a file that another process kept locked for the
// whole of the wait.
extern const char* const kLockedByOther;

// Takes a lock of kind (LOCK_SH to read, LOCK_EX to write in place) on fd.
// While another process holds a lock that excludes it, the lock is tried
// again after a short sleep, a fixed number of times (about three seconds
// in all); false when it never came free. A file system without locks
// counts as locked, so that its files are still read and written.
bool lock_within_wait(int fd, int kind);

// Opens path for reading (symbolic links followed) when it names a regular
// file, and takes a shared lock on it, so that a save writing it in place
// is never read half-way; the lock goes with the descriptor. A FIFO, a
// device or a folder is refused without being opened for reading, so
// nothing ever waits on one. Returns the descriptor, or -1 with refusal
// empty when the file cannot be opened (errno says why: it is missing or
// may not be read), or with refusal holding the reason when it is no
// regular file or stayed locked by another process (kLockedByOther).
int open_regular_file(const char* path, std::string* refusal);

// Why a save could not replace or create path now: "" when it could. The
// same decision as the save's (by rename or in place, and what each needs:
// a temporary file is tried and removed), so that a long job refuses before
// it starts every output that its save would refuse.
std::string replace_refusal(const char* path);
// The same for files saved together, two names for one file among them
// refused: "" or the reason, with *failed the index of the file at fault.
std::string replace_refusal(const std::vector<std::string>& paths, size_t* failed);

// Where the save code's messages go: a function that prints as printf does,
// such as the console's print_message.
typedef int (*SaveReport)(const char* format, ...);

// True when a save could replace or create file now. Otherwise reports
// "<prefix>: the <what> '<file>' cannot be written: <why>; nothing is
// trained" and returns false.
bool output_writable(SaveReport report, const char* prefix, const char* what, const char* file);

// The new content of one file.
struct FileText {
    std::string path;  // the name given; symbolic links are followed
    std::string text;  // the whole content
};

// Writes every text to its file, all or none. Each goes first to a temporary
// file ".<name>.saving.XXXXXX" in its target's folder that carries the
// target's owner, group, permission bits and extended attributes (ACLs among
// them; a new file gets 0666 less the umask), and only when every one is
// complete are they renamed over the targets and the folders synced; while
// one rename may still fail, each old target keeps a second name (a hard
// link beside it), so that a failure puts every file back. Refused: an
// existing target that the caller may not write (its own permission bits,
// as an in-place open would see them) or that is no regular file; two
// outputs that are one file; in a world-writable folder with the sticky bit,
// a symbolic link or a file owned neither by the caller nor by the folder's
// owner. An existing, writable target that cannot be replaced so (a folder
// the caller may not write, a folder with the sticky bit when neither it nor
// the folder is the caller's, a mount point, or a new file that could not be
// given the target's owner, group or attributes) is written in place under
// an exclusive lock (refused with kLockedByOther when another process keeps
// it locked beyond the wait), grown first, and given its old content back
// on a failure; in-place writes go before the renames. On failure returns
// false with failed set to the index of the file at fault and why to the
// system's reason; the files are as they were. A signal that ends the
// process (kEndingSignals: SIGINT, SIGTERM, SIGHUP, SIGQUIT and the like,
// where at their default) removes the save's temporary files first, and
// waits while files are being written in place or renamed. The texts are
// read where they stand: build files by moving the texts in.
bool replace_files(const std::vector<FileText>& files, size_t* failed, std::string* why);

#endif
