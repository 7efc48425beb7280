// The two init-file kernel classifiers (exponential loss and smooth support
// vector machine) share their file layout, loader, saver, option rewriting,
// script-function frames and descent loop; this header holds what differs
// between them (names, texts, default settings) and the in-memory model.
#ifndef KERNEL_CLASSIFIER_CLASSIFIER_H
#define KERNEL_CLASSIFIER_CLASSIFIER_H

#include "scriptrun/plugin_api.h"

struct KernelMatrix;

// The names and texts in which the two classifiers differ.
struct ClassifierNames {
    const char* root;              // document element, "edgemark_classifier"
    const char* definition;        // "edgemark_definition" under "parameters"
    const char* classElement;      // one per class under the definition, "edgemark"
    const char* fewInitArguments;  // MakeInit's misspelt prefix for too few arguments
    const char* makeInit;          // MakeInit's message prefix, "edgemarkMakeInit"
    const char* learn;             // Learn's message prefix, "edgemarkLearn"
    const char* badInitFile;       // prefix of Learn's unreadable init file, "edgemark"
    const char* evaluate;          // Evaluate's message prefix, "edgemarkEvaluate"
    const char* learning[9];       // init file's "learning" values, in attribute order
    bool hasBias;                  // class elements carry "gamma" before their kernel
};

// One class's classifier, one against the rest.
struct KernelClassModel {
    int rows;                   // N, training rows
    int dimension;              // D, features per row
    double gamma;               // bias (smooth machine only; 0 otherwise)
    double* u;                  // N coefficients, owned
    double* labels;             // N: +1.0 on the class's own rows, -1.0 elsewhere; owned
    DataMatrix trainingView;    // N x D over the shared training rows (not owned)
    KernelMatrix* kernelMatrix; // samples to classify (left) x training rows; owned
};

// Training settings of "initial_settings/learning", with the defaults that
// stand when an attribute is absent.
struct LearningSettings {
    double nu = 1.0;                // weight of the loss term (smooth machine)
    double alpha = 10.0;            // smoothness of the plus function (smooth machine)
    double armijoMultiplier = 0.4;  // factor by which a trial step shrinks
    int maxIter = 0;                // most iterations per class; 0 no limit
    int maxArmijoIter = 0;          // most trial steps per line search; 0 no limit
    double gradThreshold = 0.0;     // stop at a gradient norm at or below it
    double armijoDelta = 0.1;       // sufficient-decrease fraction
    double maxStepSize = 1.0;       // largest direction component (smooth machine)
    int m = 7;                      // L-BFGS correction pairs
};

#endif
