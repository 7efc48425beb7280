// The refusal of an unwritable output, one message for every training
// function.
#include <string>

#include "filesave/filesave.h"

bool output_writable(SaveReport report, const char* prefix, const char* what, const char* file)
{
    std::string refusal = replace_refusal(file);
    if (refusal.empty())
        return true;
    report("%s: the %s '%s' cannot be written: %s; nothing is trained\n", prefix, what,
           file != nullptr ? file : "", refusal.c_str());
    return false;
}
