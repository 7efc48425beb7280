// The steps of replacing files whole: each target made ready (a temporary
// file beside it, or itself locked), then all committed together, or undone.
#ifndef FILESAVE_REPLACE_STEPS_H
#define FILESAVE_REPLACE_STEPS_H

#include <string>
#include <sys/stat.h>
#include <vector>

#include "filesave/filesave.h"
#include "filesave/save_temporaries.h"

namespace file_saving {

// One file on its way to its target.
struct Pending {
    std::string target;     // the regular file replaced, links followed
    int folder = -1;        // the target's folder: temporary, rename and sync
    std::string name;       // the target's name in that folder
    bool exists = false;    // the target is there already
    struct stat info = {};  // its state, when it is there
    std::string temporary;  // holds the whole new content; empty: written in place
    std::string backup;     // a second name of the old target in its folder
                            // while other renames may still fail; empty: none
    bool renamed = false;   // the temporary has replaced the target
    int inPlace = -1;       // the target, open and locked, when written in place
    std::string old;        // its content before the in-place write
    bool written = false;   // the in-place write is done
};

// Checks the target and makes ready its new content: a temporary file
// beside it or, for a writable target that cannot be replaced by a rename,
// the target itself opened and locked. Fills pending[slot]; false with why
// set when the target is refused or nothing could be made ready.
bool prepare(const FileText& file, size_t slot, Temporaries& temporaries,
             std::vector<Pending>& pending, std::string* why);

// What prepare would decide for path, without writing anything: false with
// why set when the save would refuse it. Fills pending[slot] (its folder is
// left open for close_all); the temporary file tried in slot is removed.
bool check_ready(const std::string& path, size_t slot, Temporaries& temporaries,
                 std::vector<Pending>& pending, std::string* why);

// Writes every in-place file, then renames every temporary over its target
// and syncs the folders: index of the file at fault, or files.size().
size_t commit(const std::vector<FileText>& files, std::vector<Pending>& pending,
              Temporaries& temporaries, std::string* why);

// After a failure: the in-place files written get their old content back,
// the targets already renamed over get their old file back (a target that
// was new goes), and every temporary left goes.
void undo(std::vector<Pending>& pending, Temporaries& temporaries);

// Closes every descriptor the steps opened.
void close_all(const std::vector<Pending>& pending);

}  // namespace file_saving

#endif
