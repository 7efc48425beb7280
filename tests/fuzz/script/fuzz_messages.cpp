// Console messages for the fuzz target: every message is still formatted
// (so a bad argument shows up under the sanitizers) but not written, and a
// fatal message throws FatalStop instead of ending the process, so one input
// that would end a run becomes one finished run.
#include "tests/fuzz/script/fuzz_messages.h"

#include <cstdarg>
#include <cstdio>

#include "scriptrun/messages.h"

namespace {

int format_only(const char* format, va_list args)
{
    char buffer[4096];
    return vsnprintf(buffer, sizeof buffer, format, args);
}

}  // namespace

int print_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int length = format_only(format, args);
    va_end(args);
    return length;
}

void fatal_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    format_only(format, args);
    va_end(args);
    throw FatalStop();
}
