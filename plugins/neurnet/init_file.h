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
// under fileName. Every layer but the output layer gets one neuron more
// (bias unit). False after "could not save the init. XML file\n" when
// saving fails.
bool write_init_file(const std::vector<int>& sizes, const char* fileName);

int count_learning_races(XMLParser** document);
int count_race_processes(int i, XMLParser** document);

// Reads race i. False, after a message naming the race, when max_iter_num
// is no whole number within int, break_if_test_ratio or minkovski_R no
// finite number, or minkovski_R is not above 0.
bool read_race_settings(int i, RaceSettings* out, XMLParser** document);

enum class ProcessRead {
    usable,   // settings read
    unknown,  // an element of no known kind: skipped
    refused   // a setting no finite number or outside its range: the file is refused
};

// Reads process j of race i into *out and its element name, lower-cased in
// the document as well, into *name. A refusal prints a message naming the
// race and the process.
ProcessRead read_process_settings(int i, int j, ProcessSettings* out, std::string* name,
                                  XMLParser** document);

// A race as read before anything is trained.
struct RacePlan {
    RaceSettings settings;                   // the race's own settings
    std::vector<ProcessSettings> processes;  // one per child element; kind none when unknown
    std::vector<std::string> names;          // the children's lower-cased names
};

// Every race and process of the learning set, in document order; false
// after the message of the first refused one.
bool read_learning_set(XMLParser** document, std::vector<RacePlan>* races);

// Tests the rows and appends a history item with the error and ratio to
// the document; the race's one save, with its weights, follows. False,
// with no item added, when the error is not a finite number.
bool test_and_log_history(Network* network, const double* const* rows, int count,
                          XMLParser** document);

// Appends a history item that names the process (its lower-cased element
// name) and why it stopped, with the date; the race's save writes it.
void log_process_stop(const char* process, const std::string& reason, XMLParser** document);

#endif
