// Plug-in host: loads every library of the plug-in directory and binds
// script-function names to the symbols those libraries define.
#ifndef PLUGIN_HOST_H
#define PLUGIN_HOST_H

#include <string>
#include <vector>

#include "scriptrun/plugin_api.h"
#include "scriptrun/variables.h"

// Names of the regular files "*.so" in directory, sorted byte-wise; empty
// when there is no such directory.
std::vector<std::string> list_plugin_files(const std::string& directory);

// Loads a library by path with every symbol resolved now; null on failure.
void* open_library(const std::string& path);

// The address of name when the library itself defines it (not one of the
// libraries it depends on); null otherwise.
void* find_symbol(void* library, const char* name);

// Loads the directory's libraries into the environment's plug-in list, each
// reported with "Loading plugin %s\n", then the separator line; silent when
// nothing matches.
void load_plugins(Environment& environment, const std::string& directory);

// The script function of exactly that name from the first loaded library, in
// load order, that defines it; null when none does, and always null for the
// model-file library's plain functions and for C++ symbols ("_Z...").
ScriptFunction find_function(Environment& environment, const char* name);

#endif
