// Console output shared by the interpreter and every plug-in: messages go to
// standard error; a fatal message ends the process with status 1.
#ifndef MESSAGES_H
#define MESSAGES_H

int print_message(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

[[noreturn]] void fatal_message(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

#endif
