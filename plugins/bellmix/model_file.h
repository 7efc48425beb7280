// The model file around the mixtures: the "BELLMIX" document with its
// history and settings items, opened or created by each training call.
#ifndef BELLMIX_MODEL_FILE_H
#define BELLMIX_MODEL_FILE_H

#include <string>

#include "plugins/bellmix/arguments.h"

// Keeps the existing file when one class is trained into it, else creates a
// new document; appends the four history and six settings items (naming
// file) and saves to saveTo. 1 when saved; 0 after the library's message.
int prepare_model_file(const char* file, const char* saveTo, const TrainingOptions& o, int rows,
                       int features);

// Training saves the model after every step. The steps go to a working copy
// beside the model file, which replaces the file only once the last step is
// saved, so that a training that stops part-way (a full disk) leaves the
// earlier model whole. Where no copy can be made beside the file (a folder
// the user may not write), the steps go to the file itself.
class WorkingCopy {
public:
    explicit WorkingCopy(const char* file);
    ~WorkingCopy();  // removes the copy unless it replaced the file
    WorkingCopy(const WorkingCopy&) = delete;
    WorkingCopy& operator=(const WorkingCopy&) = delete;

    const char* path() const { return path_.c_str(); }
    // Replaces the file by the copy; false after a message naming the file.
    bool commit();

private:
    std::string file_;  // the model file as named
    std::string path_;  // where the steps are saved: the copy, or file_ itself
};

#endif
