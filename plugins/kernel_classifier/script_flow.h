// The Learn and Evaluate script functions of the init-file classifiers, with
// each classifier's training and decision rule passed in.
#ifndef KERNEL_CLASSIFIER_SCRIPT_FLOW_H
#define KERNEL_CLASSIFIER_SCRIPT_FLOW_H

#include "plugins/kernel_classifier/classifier.h"

class XMLParser;

// What a classifier adds to the shared frames.
struct ClassifierHooks {
    const ClassifierNames* names;   // its texts and element names
    bool cachesKernel;              // "cachesize" gives each class a kernel cache
    // Trains one class in place; 1, or 0 when memory runs out.
    int (*trainClass)(KernelClassModel* cls, const LearningSettings& settings);
    // Its model routines: the load (kernels made without a cache; 1, or 0
    // with nothing held), the save under a file name, and the free.
    int (*loadModel)(XMLParser** document, KernelClassModel** classes, const DataMatrix* samples);
    void (*saveModel)(XMLParser** document, const char* fileName, const KernelClassModel* classes,
                      int classCount);
    void (*freeModel)(KernelClassModel** classes, int classCount);
};

// (init file name, model file name [, options]): trains every class and
// writes the model file. (void*) 1 on success (a failed save included), 0
// otherwise; the result type is left as the host set it.
void* learn_classifier(void** values, const int* types, int count, const ClassifierHooks& hooks);

// (model file name, database matrix): loads the model with the database's
// feature rows on the kernels' left side and fills the outputs with
// classify(classes, C, labels, out). A new rows x (C + 1) matrix, or null
// (also when an output is not a finite number).
void* evaluate_classifier(void** values, const int* types, int count, int* resultType,
                          const ClassifierHooks& hooks,
                          void (*classify)(const KernelClassModel* classes, int classCount,
                                           const DataMatrix* labels, DataMatrix* out));

// out[i][c] = +1.0 when decision(class c, row i of its kernel) >= 0, else
// -1.0, or the decision value itself when it is not finite (which
// evaluate_classifier refuses); out[i][C] = labels[i]. scratch-free: each class's kernel rows are
// asked of its record.
void classify_by_sign(const KernelClassModel* classes, int classCount, const DataMatrix* labels,
                      DataMatrix* out,
                      double (*decision)(const KernelClassModel& cls, const double* kernelRow));

#endif
