// Reading a classifier model from an open init or model document, writing
// the trained coefficients back, and the option string's kernel rewriting.
#ifndef KERNEL_CLASSIFIER_MODEL_IO_H
#define KERNEL_CLASSIFIER_MODEL_IO_H

#include "plugins/kernel_classifier/classifier.h"

class XMLParser;

// The loaded model's training rows, N x D row by row, shared by every class
// record: one loaded model at a time in each deliverable, which reaches the
// array under its own name. Null when no model is loaded.
extern double* training_rows;

// "num_of_classes" of the definition element, truncated toward zero.
int stored_class_count(XMLParser** h, const ClassifierNames& names);

// Applies the kernel options to every class element of the open document
// (when "kernel" names a kernel) and returns the "cachesize" value.
int apply_kernel_options(XMLParser** h, const ClassifierNames& names, const char* options);

// Loads the model: *classes gets a new array of C records, one kernel each
// between samples (the training rows when null) and the training rows.
// Returns C, or 0 after a printed, non-fatal failure with nothing held
// (among them a size, row value, class ID, coefficient, bias or kernel
// parameter that is not a finite number). Structural faults of the file
// end the process.
int load_class_models(XMLParser** h, const ClassifierNames& names, KernelClassModel** classes,
                      const DataMatrix* samples, int cacheSize);

// Writes each class's coefficients (and bias, when the classifier has one)
// into its class element and saves the document under file.
void save_class_models(XMLParser** h, const ClassifierNames& names, const char* file,
                       const KernelClassModel* classes, int classCount);

// Frees every class's u and labels, the training rows and the array. The
// kernel matrices are destroyed by their owners before.
void free_class_models(KernelClassModel** classes, int classCount);

// Whether every learning setting that "initial_settings/learning" holds is
// a finite number; refuses the first that is not, under prefix.
bool learning_settings_finite(XMLParser** h, const ClassifierNames& names, const char* prefix);

// Reads the learning settings; absent attributes keep their defaults.
LearningSettings read_learning_settings(XMLParser** h, const ClassifierNames& names);

#endif
