// Writing a classifier's init file from a database matrix.
#ifndef KERNEL_CLASSIFIER_INIT_FILE_H
#define KERNEL_CLASSIFIER_INIT_FILE_H

#include <string>

#include "plugins/kernel_classifier/classifier.h"

// The MakeInit script function: (database matrix, init file name [, unused
// string]). coefficients(N) gives the text of every class's "u". Returns
// (void*) 1 when the file was written (a failed save included), else 0.
void* make_init_file(void** values, const int* types, int count, int* resultType,
                     const ClassifierNames& names, std::string (*coefficients)(int n));

#endif
