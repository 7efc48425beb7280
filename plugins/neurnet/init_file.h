// The network init file: writing a new one with default settings, and
// reading its learning races and processes.
#ifndef NEURNET_INIT_FILE_H
#define NEURNET_INIT_FILE_H

#include <string>
#include <vector>

#include "plugins/neurnet/training.h"
#include "xml/xml_functions.h"

// One learning race's settings.
struct RaceSettings {
    int error_type = 3;                // 1 Minkowski, 2 total squared error, 3 cross entropy
    int auto_test = 0;                 // 1: test and log history after the race
    double R = 2.0;                    // the Minkowski exponent
    double break_if_test_ratio = 1.0;  // stop a process at this test hit ratio
    int max_iter_num = -1;             // iteration limit of each process (none at 0 or less)
};

// Writes the init document for layer sizes [inputs, hidden..., outputs]
// under fileName; prints "could not save the init. XML file\n" when saving
// fails. Every layer but the output layer gets one neuron more (bias unit).
void write_init_file(const std::vector<int>& sizes, const char* fileName);

int count_learning_races(XMLParser** document);
void read_race_settings(int i, RaceSettings* out, XMLParser** document);
int count_race_processes(int i, XMLParser** document);

// Reads process j of race i; lower-cases its element name in the document.
// False, after a message naming the process, for an element of no known
// kind or with settings no process can run with.
bool read_process_settings(int i, int j, ProcessSettings* out, XMLParser** document);

// Tests the rows, appends a history item with the error and ratio, saves.
void test_and_log_history(Network* network, const double* const* rows, int count,
                          const char* fileName, XMLParser** document);

#endif
