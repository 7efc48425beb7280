// A test plug-in with its own copy of the XML library: keeps one document at
// module level and reports which copy of the functions it calls.
#include "scriptrun/plugin_api.h"
#include "xml/xml_functions.h"

#include <string>

namespace {
XMLParser* parser = nullptr;  // this plug-in's document, across calls
}

PLUGIN_EXPORT int probe_start(const char* rootName)
{
    if (parser)
        XMLclose(&parser);
    parser = nullptr;
    return XMLcreateNewDoc(&parser, rootName) &&
           XMLchangeElement(&parser, ("/" + std::string(rootName)).c_str());
}

PLUGIN_EXPORT int probe_stop()
{
    return XMLclose(&parser);
}

PLUGIN_EXPORT int probe_add(const char* name)
{
    return XMLaddChildElement(&parser, name);
}

PLUGIN_EXPORT int probe_count()
{
    return XMLgetNumofChildElements(&parser);
}

PLUGIN_EXPORT const char* probe_name()
{
    return XMLgetActualElementName(&parser);
}

// The address this plug-in's own calls reach.
PLUGIN_EXPORT void* probe_bound_function()
{
    return reinterpret_cast<void*>(&XMLcreateNewDoc);
}
