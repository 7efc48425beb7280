// The refusal of an unwritable output, one message for every training
// function.
#include "filesave/output_check.h"

#include <string>

#include "scriptrun/messages.h"
#include "filesave/file_access.h"

bool output_writable(const char* prefix, const char* what, const char* file)
{
    std::string refusal = replace_refusal(file);
    if (refusal.empty())
        return true;
    print_message("%s: the %s '%s' cannot be written: %s; nothing is trained\n", prefix, what,
                  file != nullptr ? file : "", refusal.c_str());
    return false;
}
