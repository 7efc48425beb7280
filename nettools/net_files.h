// The weights (".wts"), normalisation (".trf") and class-frequency (".fre")
// files of a network.
#ifndef NETTOOLS_NET_FILES_H
#define NETTOOLS_NET_FILES_H

#include <string>
#include <vector>

#include "nettools/net_graph.h"

// The text of a weights file (layered form, or explicit with layered false)
// and of a class-frequency file.
std::string net_weights_text(const NetGraph* net, bool layered);
std::string class_frequencies_text(int classes, const int* counts);

// Writers return 0, or 1 when the file cannot be written; the old file then
// stays as it was.
int net_write_layered(const NetGraph* net, const std::string& path);
int net_write_explicit(const NetGraph* net, const std::string& path);

// Fills a fresh record from a weights file; returns its layer count, -1
// when the file cannot be opened, or -2 after a message naming the file
// when its contents are refused (the record is then released).
int net_read(NetGraph* net, const std::string& path);
// Reads the means and scales; nothing for an empty path or a file that
// cannot be opened. Returns 0 after a message when the file is refused (no
// regular file, or malformed).
int net_read_normalization(NetGraph* net, const std::string& path);
// net_read, then net_read_normalization; -2 when either refuses its file.
int net_load(NetGraph* net, const std::string& path, const std::string& normPath);

int write_class_frequencies(const std::string& path, int classes, const int* counts);
// 0 after reading classes counts; 1 when the file cannot be opened; 2 when
// its first number is not classes; 3 when a count is missing or malformed;
// 4 after a message when it is no regular file.
int read_class_frequencies(const std::string& path, int classes, std::vector<int>* counts);

#endif
