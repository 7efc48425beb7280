// The options of train_pathlet: seven keys read as whole numbers, two of
// which (NumProj, NumProjPars) are kept for later calls of the process.
#ifndef PATHLET_SETTINGS_H
#define PATHLET_SETTINGS_H

#include <string>
#include <vector>

#include "plugins/pathlet/training.h"

// The defaults (the kept NumProj and NumProjPars), then each key found in
// options, in table order. False, after a message, when Strategy is below -1
// or NumProj or NumProjPars below 1; the kept values are not changed here.
bool read_settings(const char* options, TrainSettings* settings);

// Makes the call's NumProj and NumProjPars the defaults of later calls.
void keep_settings(const TrainSettings& settings);

// The report lines of the settings, before training.
void print_settings(const TrainSettings& settings);

// The "initial_settings" item texts of the model file.
std::vector<std::string> settings_items(const TrainSettings& settings);

#endif
