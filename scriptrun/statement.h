// Statement execution: the commands whos, clear and pause, calls of script
// functions with their results stored, and copies of variables.
#ifndef STATEMENT_H
#define STATEMENT_H

#include <functional>

#include "scriptrun/plugin_api.h"
#include "scriptrun/variables.h"

// Finds the script function bound to a name, or null when none is.
using FunctionLookup = std::function<ScriptFunction(const char* name)>;

// Runs the statement when it starts with a command word: 1 if it did, else 0.
int run_command(char* statement, Environment& environment);

// VALUE_STRING, VALUE_NUMBER or VALUE_NAME for one argument text, or 0 when
// it is none of them.
int classify_argument(const char* text, const Environment& environment);

// Carries out one statement from the reader (cut in place) or ends the run.
void execute_statement(char* statement, Environment& environment,
                       const FunctionLookup& lookup);

#endif
