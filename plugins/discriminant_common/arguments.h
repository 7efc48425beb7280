// Argument checks and messages shared by the linear discriminant plug-ins:
// the script arguments of the compute and execute functions, the database
// values, option values, training outcomes and the progress counter, each
// printed with the plug-in's own texts.
#ifndef DISCRIMINANT_ARGUMENTS_H
#define DISCRIMINANT_ARGUMENTS_H

#include "scriptrun/plugin_api.h"

// The texts in which the two plug-ins differ.
struct DiscriminantTexts {
    const char* tag;              // "FLATDISC": message prefix and model root
    const char* compute_prefix;   // "compute_flatdisc": prefix of training errors
    const char* empty_matrix;     // message after "<tag>: " for an unusable matrix
    const char* bad_file;         // message after "Execute <tag>: " when XMLopen fails
};

// The arguments of a training call, borrowed from the caller.
struct ComputeArguments {
    const DataMatrix* db;  // database matrix, labels in the last column
    const char* file;      // model file name as given
    const char* options;   // option string; null without a third argument
};

// The arguments of an execute call, borrowed from the caller.
struct ExecuteArguments {
    const DataMatrix* db;  // database matrix to project
    const char* file;      // model file name
};

// Checks (database matrix, file name [, options]) in the documented order;
// prints the first failure and returns false.
bool check_compute_arguments(void** values, const int* types, int count,
                             const DiscriminantTexts& texts, ComputeArguments* out);

// Checks (database matrix, file name); prints the first failure and returns false.
bool check_execute_arguments(void** values, const int* types, int count,
                             const DiscriminantTexts& texts, ExecuteArguments* out);

// Labels whole numbers of 1 or more, features finite: the values training can
// use. Prints the first fault with the prefix and returns false.
bool check_training_values(const DataMatrix* db, const char* prefix);

// How a training attempt ended.
enum class TrainStatus {
    ok,               // transformation made
    no_memory,        // an allocation failed (flatdisc: also no eigenvalue kept)
    no_eigen_memory,  // the pair-weighted eigenvalue records could not be had
    singular,         // W could not be inverted
    not_finite,       // a scatter or the eigenvectors hold a value that is not finite
    no_eigenvalues,   // the eigenvalue routine refused (its message printed)
    no_eigenvectors   // the eigenvector routine refused (its message printed)
};

// Prints why training stopped, prefixed; true for TrainStatus::ok.
bool report_training_status(const char* prefix, TrainStatus status);

// The progress counter of a per-row loop, overwriting itself on the console;
// end_row_progress ends its line once the loop is done, so that the next
// message starts on a line of its own.
void print_row_progress(int row);
void end_row_progress();

#endif
