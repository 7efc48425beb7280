// A test library that cannot load: it needs a function nothing defines.
#include "scriptrun/plugin_api.h"

extern "C" void* symbol_nobody_defines(void);

PLUGIN_EXPORT void* which(void**, int*, int, int*)
{
    return symbol_nobody_defines();
}
