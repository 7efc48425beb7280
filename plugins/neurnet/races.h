// Running an init file's learning races on a network.
#ifndef NEURNET_RACES_H
#define NEURNET_RACES_H

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
// the next floor(r N) test, both counts kept inside the database.
RowSets split_rows(const double* data, int rows, int cols, XMLParser** document);

// Every race in document order, each followed by its test and the weights
// written to fileName. 1, or 0 after "error occured\n" when a process ran
// out of memory.
int run_races(Network* network, const RowSets& rows, const char* fileName,
              XMLParser** document);

#endif
