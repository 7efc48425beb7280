// The network as the NEURNET element under "parameters" describes it:
// checked, built, and its weights written back.
#ifndef NEURNET_NETWORK_DOCUMENT_H
#define NEURNET_NETWORK_DOCUMENT_H

#include "plugins/neurnet/network.h"
#include "xml/xml_functions.h"

// Builds the network of the open document into *out. 1 on success; 0 after
// "out of memory\n" or after a message naming the element that the document
// gets wrong: no NEURNET element, a count ("num_of_layers", "NO") that is
// absent or no whole number from 0 up, a layer or neuron element missing
// (both are found by "ID"), weights or targets that do not fit the layers.
// Elements are walked in document order, so that loading takes time linear
// in the document's size. With init_weights beginning with "y" the weights
// are drawn at random and the attribute becomes "no" in the document (in
// memory only).
int network_from_xml(Network** out, XMLParser** document);

// Writes every neuron's "out_weights" (and, sparse, "out_connect") into the
// document and saves it under fileName; 1 on success, 0 on failure.
int write_weights_to_xml(const Network* network, const char* fileName,
                         XMLParser** document);

#endif
