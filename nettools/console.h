// Console pieces both programs share: the wait for one character, the
// error exit, the network's size and output-layer lines, file names.
#ifndef NETTOOLS_CONSOLE_H
#define NETTOOLS_CONSOLE_H

#include <string>

#include "nettools/net_graph.h"

// Reads one character from standard input; the end of input counts as one.
void wait_for_key();
// Waits for one character, then ends the process with status.
[[noreturn]] void exit_after_key(int status);

// "Loading NEURNET from weightsfile with size of " and the layer sizes.
void print_loaded_sizes(const NetGraph* net);
// "Output layer: " and the kind's name.
void print_output_layer(const NetGraph* net);
// True when anything stands at path (nothing is opened, so a FIFO cannot
// block); when nothing does, errno says why.
bool file_exists(const std::string& path);
// "<path>: <reason>" for a file that could not be found, after the line
// that says so; error is the errno of the attempt.
void print_missing_file(const std::string& path, int error);
// "Cannot read file <path>: <reason>!" for a file that is not regular.
void print_file_refusal(const std::string& path, const std::string& reason);

#endif
