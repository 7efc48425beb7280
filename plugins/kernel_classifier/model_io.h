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

struct KernelChoice;

// "num_of_classes" of the definition element; 0 when it is absent or not a
// whole number.
int stored_class_count(XMLParser** h, const ClassifierNames& names);

// Gives every class element of the open document the chosen kernel (none
// chosen: nothing changes).
void rewrite_kernels(XMLParser** h, const ClassifierNames& names, const KernelChoice& choice);

// Loads the model: *classes gets a new array of C records, one kernel each
// between samples (the training rows when null) and the training rows.
// Returns C, or 0 after a printed, non-fatal failure with nothing held
// (among them a size or class ID that is not a whole number, a row value,
// coefficient, bias or kernel parameter that is not a finite number, and a
// kernel that cannot be used: a "function" that names none, or a fault of
// kernel_fault). A class element without a kernel child, or a child
// without "function", has the linear kernel. Structural faults of the file
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

// Reads the learning settings into *out, each read once as the number
// checked; absent attributes keep their defaults. Refuses, under prefix,
// the first setting that is not a finite number (a whole number for the
// three counts) or lies outside its range: armijo_multiplier and
// armijo_delta in (0, 1), nu 0 or more, alpha and max_step_size above 0,
// the counts 0 or more.
bool read_learning_settings(XMLParser** h, const ClassifierNames& names, const char* prefix,
                            LearningSettings* out);

#endif
