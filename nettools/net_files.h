// The weights (".wts"), normalisation (".trf") and class-frequency (".fre")
// files of a network.
#ifndef NETTOOLS_NET_FILES_H
#define NETTOOLS_NET_FILES_H

#include <climits>
#include <string>
#include <vector>

#include "nettools/net_graph.h"

// The text of a weights file (layered form, or explicit with layered false)
// and of a class-frequency file; nettrain saves the two together.
std::string net_weights_text(const NetGraph* net, bool layered);
std::string class_frequencies_text(int classes, const int* counts);

// net_read's result for a file whose input count exceeds what the caller can
// feed: the record then holds the shape alone (input and output counts,
// layer sizes, output kind) for the caller to report, and nothing was
// allocated for the network itself.
constexpr int NET_READ_SHAPE_ONLY = -3;

// Fills a fresh record from a weights file; returns its layer count, -1
// after a message naming the file when nothing stands at path (the callers
// look first: it went since), -2 after such a message when it cannot
// be read (another process kept it locked, for one) or its contents are
// refused (the record is then released), or NET_READ_SHAPE_ONLY when it
// claims more than maxInputs inputs: a file of a few bytes must not make
// the reader allocate gigabytes.
int net_read(NetGraph* net, const std::string& path, int maxInputs = INT_MAX);
// Reads the means and scales; nothing for an empty path or when nothing
// stands at path. Returns 0 after a message when the file is refused (it
// cannot be read, is no regular file, is malformed, or a scale's reciprocal
// is no finite float).
int net_read_normalization(NetGraph* net, const std::string& path);
// net_read, then net_read_normalization for a network read whole; -2 when
// either refuses its file.
int net_load(NetGraph* net, const std::string& path, const std::string& normPath,
             int maxInputs = INT_MAX);

// 0 after reading classes counts; 1 when nothing stands at path; 2 when its
// first number is not classes; 3 when a count is missing or malformed; 4
// after a message when it cannot be read, is no regular file or stayed
// locked by another process.
int read_class_frequencies(const std::string& path, int classes, std::vector<int>* counts);

#endif
