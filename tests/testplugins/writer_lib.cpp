// A test library whose script function is named like the C library's write.
#include "scriptrun/messages.h"
#include "scriptrun/plugin_api.h"

PLUGIN_EXPORT void* write(void** values, int* types, int count, int*)
{
    for (int i = 0; i < count; ++i)
        if (types[i] == VALUE_STRING)
            print_message("%s", static_cast<char*>(values[i]));
    print_message("\n");
    return nullptr;
}
