// A test library that reports which copy answered: built once per name.
#include "scriptrun/messages.h"
#include "scriptrun/plugin_api.h"

PLUGIN_EXPORT void* which(void**, int*, int, int*)
{
    print_message("which: %s\n", TEST_LIBRARY_NAME);
    return nullptr;
}
