// Training the mixtures of a split database by class, as ClassToTrain asks,
// and the network weights over them.
#ifndef BELLMIX_CLASS_TRAINING_H
#define BELLMIX_CLASS_TRAINING_H

#include <vector>

#include "plugins/bellmix/arguments.h"
#include "scriptrun/plugin_api.h"
#include "xml/xml_functions.h"

// Rows listed class by class: the rows of class c (label equal to c), in row
// order, at positions offsets[c-1] .. offsets[c]-1.
struct ClassLists {
    std::vector<int> rows;     // row numbers, class 1's first
    std::vector<int> offsets;  // C + 1 positions, offsets[0] = 0
};

// Counting pass, then placement: linear in the rows and classes.
ClassLists build_class_lists(const DataMatrix* labels, int C);

// Trains the mixtures (and the network weights) and writes them into the
// open model document. False (training stopped there) when one could not be
// written.
bool train_classes(const DataMatrix* features, const DataMatrix* labels, int C,
                   const TrainingOptions& o, XMLParser** document);

#endif
