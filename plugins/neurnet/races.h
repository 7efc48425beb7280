// Running an init file's learning races on a network.
#ifndef NEURNET_RACES_H
#define NEURNET_RACES_H

#include "plugins/neurnet/init_file.h"
#include "plugins/neurnet/network.h"
#include "xml/xml_functions.h"

// The learning and test rows of a database for NEURNETLearn.
struct RowSets {
    std::vector<const double*> learn;  // rows the processes learn from
    std::vector<const double*> test;   // rows tested after each epoch and race
};

// All rows both learned and tested, unless "general" asks for a test share
// r (test_on_learn_database beginning with a lower-case "n",
// test_database_ratio not -1): then the first floor((1-r) N) rows learn and
// the next floor(r N) test. False, after a message, when
// test_database_ratio holds no finite number, when a share asked for lies
// outside 0 up to (not including) 1, or when no row is left to learn from.
bool split_rows(const double* data, int rows, int cols, XMLParser** document, RowSets* sets);

// The races in order, each followed by its test and one save of its history
// item and weights to fileName. 1; 0 after a message when a process failed
// ("error occured\n": memory ran out, or its start was not finite), when the
// weights or the test error stopped being finite numbers, or when a save
// failed: the output file then keeps what the last saved race, or the
// caller, left in it.
int run_races(Network* network, const RowSets& rows, const std::vector<RacePlan>& races,
              const char* fileName, XMLParser** document);

#endif
