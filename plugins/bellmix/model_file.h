// The model file around the mixtures: the "BELLMIX" document with its
// history and settings items, which a training call builds in memory and
// saves once, whole.
#ifndef BELLMIX_MODEL_FILE_H
#define BELLMIX_MODEL_FILE_H

#include "plugins/bellmix/arguments.h"
#include "xml/xml_functions.h"

// The document a training call builds into: the model file as it stands when
// one class is trained into it (ClassToTrain above 0) and it can be read,
// else a new one. A kept file must have its "parameters" and mixtures that
// read back in full with the database's feature count; false after a message
// when it has not (nothing may then be written). existing tells which.
bool open_model_document(XMLParser** handle, const char* file, const TrainingOptions& o,
                         int features, bool* existing);

// Says whether the file is kept or made anew and appends the four history
// and six settings items (naming file).
void add_training_items(XMLParser** handle, bool existing, const char* file,
                        const TrainingOptions& o, int rows, int features);

#endif
