// Thrown by the fuzz target's fatal_message where the program would exit.
#ifndef FUZZ_MESSAGES_H
#define FUZZ_MESSAGES_H

struct FatalStop {};

#endif
