// What the cursor's numbered steps cost: a count that tests read to check
// that walks along numbered children stay linear.
#ifndef XML_PATH_H
#define XML_PATH_H

// Children looked at by numbered steps (of any XMLParser) since the start.
extern unsigned long long xml_sibling_visits;

#endif
