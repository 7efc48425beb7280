// The steps of replacing files whole: each target made ready (a temporary
// file beside it, or itself locked), then all committed together, or undone.
#ifndef FILESAVE_REPLACE_STEPS_H
#define FILESAVE_REPLACE_STEPS_H

#include <string>
#include <vector>

#include "filesave/filesave.h"
#include "filesave/save_temporaries.h"

namespace file_saving {

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

// Checks the target and makes ready its new content: a temporary file
// beside it or, for a writable target that cannot be replaced by a rename,
// the target itself opened and locked. Fills pending[slot]; false with why
// set when the target is refused or nothing could be made ready.
bool prepare(const FileText& file, size_t slot, Temporaries& temporaries,
             std::vector<Pending>& pending, std::string* why);

// Writes every in-place file, then renames every temporary over its target
// and syncs the folders: index of the file at fault, or files.size().
size_t commit(const std::vector<FileText>& files, std::vector<Pending>& pending,
              Temporaries& temporaries, std::string* why);

// After a failure: the in-place files written get their old content back,
// and every temporary left goes.
void undo(std::vector<Pending>& pending, Temporaries& temporaries);

// Closes every descriptor the steps opened.
void close_all(const std::vector<Pending>& pending);

}  // namespace file_saving

#endif
