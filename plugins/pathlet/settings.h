// The options of train_pathlet: seven keys read as whole numbers, two of
// which (NumProj, NumProjPars) are kept for later calls of the process.
#ifndef PATHLET_SETTINGS_H
#define PATHLET_SETTINGS_H

#include <string>
#include <vector>

#include "plugins/pathlet/training.h"

// The defaults (the kept NumProj and NumProjPars), then each key found in
// options, in table order, as a whole number within int. False, after a
// message naming the first option at fault, when a value is no whole number
// or out of range: Strategy below -1, Rotate or TrainLoop below 1, RotateB
// or TrainLoopB below 0, NumProj or NumProjPars outside 1..rows (the kept
// values count too). The kept values are not changed here.
bool read_settings(const char* options, int rows, TrainSettings* settings);

// Makes the call's NumProj and NumProjPars the defaults of later calls.
void keep_settings(const TrainSettings& settings);

// The report lines of the settings, before training.
void print_settings(const TrainSettings& settings);

// The "initial_settings" item texts of the model file.
std::vector<std::string> settings_items(const TrainSettings& settings);

#endif
