// A test library that sorts first and defines no "write", though the C
// library it depends on does.
#include "scriptrun/messages.h"
#include "scriptrun/plugin_api.h"

PLUGIN_EXPORT void* aaa_marker(void**, int*, int, int*)
{
    print_message("aaa_marker\n");
    return nullptr;
}
