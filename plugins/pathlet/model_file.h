// The pathlet model file: root "PATHLET" with "history", "initial_settings"
// and "parameters"; the parameters carry the sizes, NormFact and Means as
// attributes and one "PROJECTION" child per projection.
#ifndef PATHLET_MODEL_FILE_H
#define PATHLET_MODEL_FILE_H

#include <string>
#include <vector>

#include "plugins/pathlet/projection_model.h"

// Fills a fresh record from a model file. Each problem prints its
// "PATHLET: ..." message and ends the load; the record then holds the sizes
// and the whole projections read before it (NumProj counts those). Returns
// true only for a complete load.
bool load_projection_model(ProjectionModel* model, const char* file);

// What the history of a new model file records.
struct ModelHistory {
    const char* file;                   // model file name as given
    int rows;                           // rows of the training database
    int features;                       // its feature columns
    std::vector<std::string> settings;  // texts of the "initial_settings" items
};

// A new document: the creation time, file name and sizes under "history",
// the settings under "initial_settings", and the trained model's parameters,
// saved once under history.file, so that a save that fails leaves the
// earlier file whole. False when it was not saved.
bool save_trained_model(const ModelHistory& history, const ProjectionModel* model);

#endif
