// The least-squares machine's settings, its model record and model file.
#ifndef SQUAREMARK_MODEL_H
#define SQUAREMARK_MODEL_H

#include "scriptrun/plugin_api.h"

class XMLParser;

// Training settings from the option string.
struct SquaremarkSettings {
    int cacheSize;     // kernel values the training kernel may cache (0 or less: none)
    int kernel;        // kernel code 0..3
    double param[5];   // kernel parameters p0..p4
    double gamma;      // 1/gamma is added to the kernel diagonal; 0 adds nothing
    double epsilon;    // smallest pivot magnitude accepted; above 0
};

// A trained model as the file stores it.
struct SquaremarkModel {
    int rows;            // n, training rows
    int columns;         // d, features
    int classes;         // C
    int kernel;          // kernel code 0..3
    double param[5];     // kernel parameters p0..p4
    DataMatrix* X;       // n x d training rows
    DataMatrix* V;       // n x C coefficients, one column per class
    DataMatrix* b;       // C x 1 biases
};

// Reads the options (null: every default). Prints the refusal and returns
// false for a cachesize that is not a whole number, a kernel that cannot be
// used, an epsilon that is not a finite number above 0 or a gamma that is
// not finite.
bool read_squaremark_settings(const char* options, SquaremarkSettings* out);

// Writes the model file: settings, training rows X (n x d) and the solution
// V ((n + 1) x C, biases last). The outcome of the save is not reported.
void write_squaremark_model(const char* file, const SquaremarkSettings& settings,
                            const DataMatrix* X, const DataMatrix* V);

// Reads the model of an open document into model (X, V and b allocated
// here) for a database of dbColumns columns. Prints the refusal and returns
// false with nothing allocated; a size or kernel code that is not a whole
// number, a kernel parameter or row value that is not a finite number, and
// a kernel that cannot be used (kernel_fault) are refused.
bool read_squaremark_model(XMLParser** handle, int dbColumns, SquaremarkModel* model);

void free_squaremark_model(SquaremarkModel* model);

// Adds "testing at <time>" to the history of an open model and saves it.
void stamp_squaremark_test(XMLParser** handle, const char* file);

#endif
