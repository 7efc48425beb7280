// The smooth support vector machine's model: its element names and texts,
// the class records, and the routines that load a model from an open
// document, write the trained bias and coefficients back and free it.
#ifndef GLIDEMARK_MODEL_H
#define GLIDEMARK_MODEL_H

#include "plugins/kernel_classifier/classifier.h"

class XMLParser;

typedef KernelClassModel glidemark_class_model;

// Element names and texts of the init and model files.
extern const ClassifierNames glidemark_names;

// The loaded model's training rows, N x D row by row, shared by its class
// records; null when no model is loaded.
extern double*& glidemark_training_rows;

// Loads the open document's model (each class's "gamma" included) into a
// new array of class records stored through classes; each kernel, made
// without a cache, takes samples (the training rows when null) on its left
// and the training rows on its right. 1, or 0 after a printed failure with
// nothing held; structural faults of the file end the process.
int glidemark_load_model(XMLParser** document, glidemark_class_model** classes,
                         const DataMatrix* samples);

// Writes every class's gamma and u into its class element and saves under
// fileName.
void glidemark_save_model(XMLParser** document, const char* fileName,
                          const glidemark_class_model* classes, int classCount);

// Frees every class's u and labels, the training rows and the array; the
// kernel matrices are destroyed by their owners before.
void glidemark_free_model(glidemark_class_model** classes, int classCount);

#endif
