// The exported plain XML functions: each takes the address of the caller's
// XMLParser pointer (the handle) and forwards to one XMLParser method.
#ifndef XML_XML_FUNCTIONS_H
#define XML_XML_FUNCTIONS_H

#include "xml/XMLParser.h"

#define XML_FUNCTION extern "C" XML_EXPORT

XML_FUNCTION int XMLopen(XMLParser** handle, const char* fileName);
XML_FUNCTION int XMLsave(XMLParser** handle, const char* fileName);
XML_FUNCTION int _XMLsave(XMLParser** handle);
XML_FUNCTION int XMLclose(XMLParser** handle);
XML_FUNCTION int XMLreset(XMLParser** handle);
XML_FUNCTION int XMLchangeElement(XMLParser** handle, const char* path);
XML_FUNCTION int XMLchangeElementWithNumber(XMLParser** handle, const char* path, int n);
XML_FUNCTION int XMLchangeElementWithAttribute(XMLParser** handle, const char* path,
                                               const char* attrName, const char* attrValue);
XML_FUNCTION int XMLchangeElementBack(XMLParser** handle);
XML_FUNCTION int XMLchangeElementRoot(XMLParser** handle);
XML_FUNCTION int XMLgotoChildElementWithNum(XMLParser** handle, int n);
XML_FUNCTION int XMLgetNumofChildElements(XMLParser** handle);
XML_FUNCTION char* XMLgetActualElementName(XMLParser** handle);
XML_FUNCTION int XMLhasChildElement(XMLParser** handle, const char* name);
XML_FUNCTION char* XMLgetActualPath(XMLParser** handle);
XML_FUNCTION int XMLhasAttr(XMLParser** handle, const char* name, const char* value);
XML_FUNCTION int XMLhasAttrName(XMLParser** handle, const char* name);
XML_FUNCTION int XMLgetAttrCount(XMLParser** handle);
XML_FUNCTION void XMLgetAttrs(XMLParser** handle, char** names, char** values);
XML_FUNCTION int XMLgetAttrValueSize(XMLParser** handle, const char* name);
XML_FUNCTION char* XMLgetAttrValue(XMLParser** handle, const char* name, char* buffer);
XML_FUNCTION int XMLgetAttrIntValue(XMLParser** handle, const char* name, int defaultValue);
XML_FUNCTION double XMLgetAttrDoubleValue(XMLParser** handle, const char* name,
                                          double defaultValue);
XML_FUNCTION int XMLgetAttrArraySize(XMLParser** handle, const char* name,
                                     const char* separators);
XML_FUNCTION int* XMLgetAttrIntArrayValue(XMLParser** handle, const char* name, int* out,
                                          const char* separators);
XML_FUNCTION double* XMLgetAttrDoubleArrayValue(XMLParser** handle, const char* name,
                                                double* out, const char* separators);
XML_FUNCTION char** XMLgetAttrStringArrayValue(XMLParser** handle, const char* name, char** out,
                                               const char* separators);
XML_FUNCTION int XMLhasText(XMLParser** handle);
XML_FUNCTION int XMLgetTextSize(XMLParser** handle);
XML_FUNCTION char* XMLgetText(XMLParser** handle, char* buffer);
XML_FUNCTION int XMLremoveElement(XMLParser** handle);
XML_FUNCTION int XMLremoveElementWithPath(XMLParser** handle, const char* path);
XML_FUNCTION int XMLremoveElementWithNumber(XMLParser** handle, const char* path, int n);
XML_FUNCTION int XMLremoveElementWithAttribute(XMLParser** handle, const char* path,
                                               const char* attrName, const char* attrValue);
XML_FUNCTION int XMLremoveAttribute(XMLParser** handle, const char* name);
XML_FUNCTION int XMLremoveText(XMLParser** handle);
XML_FUNCTION int XMLgetDepth(XMLParser** handle);
XML_FUNCTION int XMLcreateNewDoc(XMLParser** handle, const char* rootName);
XML_FUNCTION int XMLaddChildElement(XMLParser** handle, const char* name);
XML_FUNCTION int XMLaddSiblingElementBeforeMe(XMLParser** handle, const char* name);
XML_FUNCTION int XMLchangeOrAddAttribute(XMLParser** handle, const char* name, const char* value);
XML_FUNCTION int XMLchangeOrAddIntAttribute(XMLParser** handle, const char* name, int value);
XML_FUNCTION int XMLchangeOrAddDoubleAttribute(XMLParser** handle, const char* name,
                                               double value);
XML_FUNCTION int XMLchangeOrAddIntArrayAttribute(XMLParser** handle, const char* name,
                                                 const int* values, int count,
                                                 const char* separator);
XML_FUNCTION int XMLchangeOrAddDoubleArrayAttribute(XMLParser** handle, const char* name,
                                                    const double* values, int count,
                                                    const char* separator);
XML_FUNCTION int XMLchangeOrAddText(XMLParser** handle, const char* text);
XML_FUNCTION int XMLappendText(XMLParser** handle, const char* text);
XML_FUNCTION int XMLappendIndentText(XMLParser** handle);

// Not exported: "<file>: <reason>" for the last XMLopen through handle that
// could not read its file; nothing after one that read it. The bellmix copy,
// whose XMLopen prints nothing, lets the plug-in say it after its own line.
void print_open_failure(XMLParser** handle, const char* fileName);

#endif
