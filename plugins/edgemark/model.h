// The exponential-loss classifier's model: its element names and texts, the
// class records, and the routines that load a model from an open document,
// write the trained coefficients back and free it.
#ifndef EDGEMARK_MODEL_H
#define EDGEMARK_MODEL_H

#include "plugins/kernel_classifier/classifier.h"

class XMLParser;

typedef KernelClassModel edgemark_class_model;

// Element names and texts of the init and model files.
extern const ClassifierNames edgemark_names;

// The loaded model's training rows, N x D row by row, shared by its class
// records; null when no model is loaded.
extern double*& edgemark_training_rows;

// Loads the open document's model into a new array of class records stored
// through classes; each kernel takes samples (the training rows when null)
// on its left and the training rows on its right. 1, or 0 after a printed
// failure with nothing held; structural faults of the file end the process.
int edgemark_load_model(XMLParser** document, edgemark_class_model** classes,
                        const DataMatrix* samples, int cacheSize);

// Writes every class's u into its class element and saves under fileName.
void edgemark_save_model(XMLParser** document, const char* fileName,
                         const edgemark_class_model* classes, int classCount);

// Frees every class's u and labels, the training rows and the array; the
// kernel matrices are destroyed by their owners before.
void edgemark_free_model(edgemark_class_model** classes, int classCount);

#endif
