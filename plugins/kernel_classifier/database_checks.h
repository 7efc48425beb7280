// The values a kernel classifier can train on.
#ifndef KERNEL_CLASSIFIER_DATABASE_CHECKS_H
#define KERNEL_CLASSIFIER_DATABASE_CHECKS_H

#include "scriptrun/plugin_api.h"

// Labels of 1 or more (finite, within int range) and finite features. Prints
// the first fault, prefixed and naming the row, and returns false.
bool check_database_values(const DataMatrix* db, const char* prefix);

// Whether the first columns entries of every row of m (kernel values, or
// outputs computed from them) are finite; else prints "<prefix>: the kernel
// gives a value that is not a finite number for row r" (r counted from 1)
// and returns false.
bool check_kernel_values(const DataMatrix* m, int columns, const char* prefix);

#endif
