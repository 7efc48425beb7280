// The exported plain XML functions: checks of the handle, then one method call.
// No exception leaves them: exhausted memory ends the process instead.
#include "xml/xml_functions.h"

#include <new>

#include "scriptrun/messages.h"

namespace {

// Calls method on the parser behind the handle; failure without a parser.
template <typename Result, typename Method>
Result forward(XMLParser** handle, Result failure, Method method)
{
    if (!handle || !*handle)
        return failure;
    try {
        return method(**handle);
    } catch (const std::bad_alloc&) {
        fatal_message("Out of memory.");
    }
}

// A new parser stored through the handle, then start(parser).
template <typename Start>
int start_parser(XMLParser** handle, Start start)
{
    if (!handle)
        return 0;
    try {
        *handle = new XMLParser();
        return start(**handle);
    } catch (const std::bad_alloc&) {
        fatal_message("Out of memory.");
    }
}

}  // namespace

#define FORWARD(failure, call) \
    return forward(handle, failure, [&](XMLParser& parser) { return parser.call; })

int XMLopen(XMLParser** handle, const char* fileName)
{
    return start_parser(handle, [&](XMLParser& parser) { return parser.open(fileName); });
}

void print_open_failure(XMLParser** handle, const char* fileName)
{
    if (handle && *handle && fileName && !(*handle)->open_failure().empty())
        print_message("%s: %s\n", fileName, (*handle)->open_failure().c_str());
}

int XMLcreateNewDoc(XMLParser** handle, const char* rootName)
{
    return start_parser(handle, [&](XMLParser& parser) { return parser.createNewDoc(rootName); });
}

int XMLclose(XMLParser** handle)
{
    if (!handle || !*handle)
        return 0;
    (*handle)->close();
    delete *handle;
    return 1;
}

int XMLsave(XMLParser** handle, const char* fileName) { FORWARD(0, save(fileName, true)); }
int _XMLsave(XMLParser** handle) { FORWARD(0, save(true)); }
int XMLreset(XMLParser** handle) { FORWARD(0, reset()); }
int XMLchangeElement(XMLParser** handle, const char* path) { FORWARD(0, changeElement(path)); }

int XMLchangeElementWithNumber(XMLParser** handle, const char* path, int n)
{
    FORWARD(0, changeElement(path, n));
}

int XMLchangeElementWithAttribute(XMLParser** handle, const char* path, const char* attrName,
                                  const char* attrValue)
{
    FORWARD(0, changeElement(path, attrName, attrValue));
}

int XMLchangeElementBack(XMLParser** handle) { FORWARD(0, changeElementBack()); }
int XMLchangeElementRoot(XMLParser** handle) { FORWARD(0, changeElementRoot()); }
int XMLgotoChildElementWithNum(XMLParser** handle, int n) { FORWARD(0, gotoChildElementWithNum(n)); }
int XMLgetNumofChildElements(XMLParser** handle) { FORWARD(0, getNumofChildElements()); }

char* XMLgetActualElementName(XMLParser** handle)
{
    FORWARD(static_cast<char*>(nullptr), getActualElementName());
}

int XMLhasChildElement(XMLParser** handle, const char* name) { FORWARD(0, hasChildElement(name)); }
char* XMLgetActualPath(XMLParser** handle) { FORWARD(static_cast<char*>(nullptr), getActualPath()); }

int XMLhasAttr(XMLParser** handle, const char* name, const char* value)
{
    FORWARD(0, hasAttr(name, value));
}

int XMLhasAttrName(XMLParser** handle, const char* name) { FORWARD(0, hasAttr(name)); }
int XMLgetAttrCount(XMLParser** handle) { FORWARD(0, getAttrCount()); }

void XMLgetAttrs(XMLParser** handle, char** names, char** values)
{
    if (handle && *handle)
        (*handle)->getAttrs(names, values);
}

int XMLgetAttrValueSize(XMLParser** handle, const char* name) { FORWARD(-1, getAttrValueSize(name)); }

char* XMLgetAttrValue(XMLParser** handle, const char* name, char* buffer)
{
    FORWARD(static_cast<char*>(nullptr), getAttrValue(name, buffer));
}

int XMLgetAttrIntValue(XMLParser** handle, const char* name, int defaultValue)
{
    FORWARD(defaultValue, getAttrIntValue(name, defaultValue));
}

double XMLgetAttrDoubleValue(XMLParser** handle, const char* name, double defaultValue)
{
    FORWARD(defaultValue, getAttrDoubleValue(name, defaultValue));
}

int XMLgetAttrArraySize(XMLParser** handle, const char* name, const char* separators)
{
    FORWARD(-1, getAttrArraySize(name, separators));
}

int* XMLgetAttrIntArrayValue(XMLParser** handle, const char* name, int* out,
                             const char* separators)
{
    FORWARD(static_cast<int*>(nullptr), getAttrIntArrayValue(name, out, separators));
}

double* XMLgetAttrDoubleArrayValue(XMLParser** handle, const char* name, double* out,
                                   const char* separators)
{
    FORWARD(static_cast<double*>(nullptr), getAttrDoubleArrayValue(name, out, separators));
}

char** XMLgetAttrStringArrayValue(XMLParser** handle, const char* name, char** out,
                                  const char* separators)
{
    FORWARD(static_cast<char**>(nullptr), getAttrStringArrayValue(name, out, separators));
}

int XMLhasText(XMLParser** handle) { FORWARD(0, hasText()); }
int XMLgetTextSize(XMLParser** handle) { FORWARD(-1, getTextSize()); }
char* XMLgetText(XMLParser** handle, char* buffer) { FORWARD(static_cast<char*>(nullptr), getText(buffer)); }
int XMLremoveElement(XMLParser** handle) { FORWARD(0, removeElement()); }
int XMLremoveElementWithPath(XMLParser** handle, const char* path) { FORWARD(0, removeElement(path)); }

int XMLremoveElementWithNumber(XMLParser** handle, const char* path, int n)
{
    FORWARD(0, removeElement(path, n));
}

int XMLremoveElementWithAttribute(XMLParser** handle, const char* path, const char* attrName,
                                  const char* attrValue)
{
    FORWARD(0, removeElement(path, attrName, attrValue));
}

int XMLremoveAttribute(XMLParser** handle, const char* name) { FORWARD(0, removeAttribute(name)); }
int XMLremoveText(XMLParser** handle) { FORWARD(0, removeText()); }
int XMLgetDepth(XMLParser** handle) { FORWARD(0, getDepth()); }
int XMLaddChildElement(XMLParser** handle, const char* name) { FORWARD(0, addChildElement(name)); }

int XMLaddSiblingElementBeforeMe(XMLParser** handle, const char* name)
{
    FORWARD(0, addSiblingElementBeforeMe(name));
}

int XMLchangeOrAddAttribute(XMLParser** handle, const char* name, const char* value)
{
    FORWARD(0, changeOrAddAttribute(name, value));
}

int XMLchangeOrAddIntAttribute(XMLParser** handle, const char* name, int value)
{
    FORWARD(0, changeOrAddIntAttribute(name, value));
}

int XMLchangeOrAddDoubleAttribute(XMLParser** handle, const char* name, double value)
{
    FORWARD(0, changeOrAddDoubleAttribute(name, value));
}

int XMLchangeOrAddIntArrayAttribute(XMLParser** handle, const char* name, const int* values,
                                    int count, const char* separator)
{
    FORWARD(0, changeOrAddIntArrayAttribute(name, values, count, separator));
}

int XMLchangeOrAddDoubleArrayAttribute(XMLParser** handle, const char* name,
                                       const double* values, int count, const char* separator)
{
    FORWARD(0, changeOrAddDoubleArrayAttribute(name, values, count, separator));
}

int XMLchangeOrAddText(XMLParser** handle, const char* text) { FORWARD(0, changeOrAddText(text)); }
int XMLappendText(XMLParser** handle, const char* text) { FORWARD(0, appendText(text)); }
int XMLappendIndentText(XMLParser** handle) { FORWARD(0, appendIndentText()); }
