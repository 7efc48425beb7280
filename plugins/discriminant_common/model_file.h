// The model file of the linear discriminant plug-ins: a history, the training
// settings and a linear transformation stored as "feature_number" and the
// row-by-row list "transformation".
#ifndef DISCRIMINANT_MODEL_FILE_H
#define DISCRIMINANT_MODEL_FILE_H

#include <string>
#include <vector>

#include "scriptrun/plugin_api.h"

class XMLParser;

// What a training call stores.
struct LinearModel {
    const char* root;                   // document element, e.g. "FLATDISC"
    const char* file;                   // model file name as the caller gave it
    int rows;                           // rows of the training database
    int features;                       // d, its feature columns
    std::vector<std::string> settings;  // texts of the "initial_settings" items
    const DataMatrix* transformation;   // d x outputs, stored row by row
};

// Builds the model document and saves it under model.file; false when the
// file could not be written (the library has said so).
bool write_linear_model(const LinearModel& model);

// Appends an "executing at <time>" item to "/<root>/history" of an open
// document and saves it under file; nothing when the model has no history.
void append_execution_item(XMLParser** handle, const char* root, const char* file);

// printf-style formatting into a text of any length.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The local time as the standard 24-character time text, without line end.
std::string current_time_text();

#endif
