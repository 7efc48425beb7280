// A test library that cannot load: it needs a library that the loader cannot
// find. Built also as that library, with MISSING_DEPENDENCY defined.
#include "scriptrun/plugin_api.h"

#ifdef MISSING_DEPENDENCY
PLUGIN_EXPORT void* dependency_value(void)
{
    return nullptr;
}
#else
extern "C" void* dependency_value(void);

PLUGIN_EXPORT void* which(void**, int*, int, int*)
{
    return dependency_value();
}
#endif
