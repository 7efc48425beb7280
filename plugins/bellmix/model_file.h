// The model file around the mixtures: the "BELLMIX" document with its
// history and settings items, opened or created by each training call.
#ifndef BELLMIX_MODEL_FILE_H
#define BELLMIX_MODEL_FILE_H

#include "plugins/bellmix/arguments.h"

// Keeps the existing file when one class is trained into it, else creates a
// new document; appends the four history and six settings items and saves.
// 1 when saved; 0 after the library's message.
int prepare_model_file(const char* file, const TrainingOptions& o, int rows, int features);

#endif
