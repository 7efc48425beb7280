// The script arguments of the three functions, the training options and the
// refusals that stand before anything is changed.
#ifndef BELLMIX_ARGUMENTS_H
#define BELLMIX_ARGUMENTS_H

#include "scriptrun/plugin_api.h"

// The arguments of a call, borrowed from the caller.
struct BellmixArguments {
    DataMatrix* db;       // database matrix, labels in the last column
    const char* file;     // model file name
    const char* options;  // option string; null unless exactly 3 arguments
};

// Checks (database matrix, file name [, options]) in the documented order;
// prints the first failure and returns false.
bool check_bellmix_arguments(void** values, const int* types, int count, BellmixArguments* out);

// The training settings with their defaults.
struct TrainingOptions {
    int numOfMix = 3;        // K, components per mixture
    int diagonal = 1;        // non-zero: diagonal covariances
    int kmeansStarts = 15;   // clusterings tried per mixture
    int emMaxIt = 15;        // EM limit; -1 / -2: network weights, no EM
    int classToTrain = -1;   // -1 every class, 0 the whole database, c one class
    double epsilon = 0.0001; // EM stops when the log-likelihood gains less
    int kmeansMaxIt = 500;   // limit of K-means centre updates
};

// Integer options as whole numbers within int ("0x10" is 16, "1e3" is
// 1000), Epsilon as a finite real; false after a message naming the first
// option refused.
bool read_training_options(const char* options, TrainingOptions* o);

// The largest truncated label of the database's last column (0 when none
// is 1 or more).
int database_classes(const DataMatrix* db);

// Labels whole numbers from 1 to the number of rows, features finite, and
// options the database can serve; prints the first fault and returns false.
bool check_training_request(const DataMatrix* db, const TrainingOptions& o);

#endif
