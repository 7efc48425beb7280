// The kernel model file: history, initial settings, and the parameters
// (sizes, kernel, training rows "X_%d", coefficient rows "V_%d"/"VW_%d").
#ifndef KERNEL_FRAME_MODEL_FILE_H
#define KERNEL_FRAME_MODEL_FILE_H

#include <string>

#include "plugins/kernel_frame/kernel_frame.h"

class XMLParser;

// Builds the document in one pass and saves it under file, then closes it.
void write_kernel_model(const KernelTexts& texts, const char* file, const TrainingSet& set,
                        const KernelSettings& settings, const KernelModel& model);

// Appends "executing at <time>" to "/<root>/history" of an open document when
// the item can be added, then saves it under file either way.
void append_execution_item(XMLParser** handle, const char* root, const char* file);

// The local time as the standard 24-character time text, without line end.
std::string time_text();

#endif
