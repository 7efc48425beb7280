// Small builders shared by the network tests.
#ifndef TESTS_NETTOOLS_NET_TEST_HELPERS_H
#define TESTS_NETTOOLS_NET_TEST_HELPERS_H

#include <string>
#include <vector>

#include "nettools/net_graph.h"

// A layered network of these sizes (inputs first), weights undefined.
NetGraph* layered_net(const std::vector<int>& sizes, UnitKind outputKind);
// Input weights (a row per unit) and biases of count units from firstUnit.
void set_layer(NetGraph* net, int firstUnit, int count, const double* weights,
               const double* biases);
void free_net(NetGraph* net);
// Writes text to a file; reads a whole file.
void write_text(const std::string& path, const std::string& text);
std::string read_text(const std::string& path);
// A fresh folder under the temporary directory, ending in "/", removed when
// the test process ends.
std::string temp_folder();

#endif
