// Plug-in host on the dynamic loader: directory listing, dlopen, dlsym.
#include "scriptrun/plugin_host.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include "scriptrun/messages.h"

namespace {

bool has_library_suffix(const std::string& name)
{
    static const std::string suffix = ".so";
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Every plug-in also exports the model-file library's plain functions and
// the C++ symbols of its classes. Neither follows the script-function
// contract, so calling one from a script would hand it arguments of the wrong
// kind; such names are never bound.
const char* const kLibraryExports[] = {
    "XMLaddChildElement", "XMLaddSiblingElementBeforeMe", "XMLappendIndentText",
    "XMLappendText", "XMLchangeElement", "XMLchangeElementBack", "XMLchangeElementRoot",
    "XMLchangeElementWithAttribute", "XMLchangeElementWithNumber",
    "XMLchangeOrAddAttribute", "XMLchangeOrAddDoubleArrayAttribute",
    "XMLchangeOrAddDoubleAttribute", "XMLchangeOrAddIntArrayAttribute",
    "XMLchangeOrAddIntAttribute", "XMLchangeOrAddText", "XMLclose", "XMLcreateNewDoc",
    "XMLgetActualElementName", "XMLgetActualPath", "XMLgetAttrArraySize", "XMLgetAttrCount",
    "XMLgetAttrDoubleArrayValue", "XMLgetAttrDoubleValue", "XMLgetAttrIntArrayValue",
    "XMLgetAttrIntValue", "XMLgetAttrStringArrayValue", "XMLgetAttrValue",
    "XMLgetAttrValueSize", "XMLgetAttrs", "XMLgetDepth", "XMLgetNumofChildElements",
    "XMLgetText", "XMLgetTextSize", "XMLgotoChildElementWithNum", "XMLhasAttr",
    "XMLhasAttrName", "XMLhasChildElement", "XMLhasText", "XMLopen", "XMLremoveAttribute",
    "XMLremoveElement", "XMLremoveElementWithAttribute", "XMLremoveElementWithNumber",
    "XMLremoveElementWithPath", "XMLremoveText", "XMLreset", "XMLsave", "_XMLsave",
};

bool is_library_export(const char* name)
{
    if (strncmp(name, "_Z", 2) == 0)
        return true;
    for (const char* reserved : kLibraryExports)
        if (strcmp(name, reserved) == 0)
            return true;
    return false;
}

bool is_regular_file(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::vector<std::string> list_plugin_files(const std::string& directory)
{
    std::vector<std::string> names;
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr)
        return names;
    while (dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (has_library_suffix(name) && is_regular_file(directory + "/" + name))
            names.push_back(name);
    }
    closedir(listing);
    // std::string compares like strcmp: byte-wise, as unsigned characters.
    std::sort(names.begin(), names.end());
    return names;
}

void* open_library(const std::string& path)
{
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// dlsym also searches the library's dependencies (the C library among them),
// so the address is accepted only when the loader places it in the library
// itself.
void* find_symbol(void* library, const char* name)
{
    void* address = dlsym(library, name);
    if (address == nullptr)
        return nullptr;
    link_map* own = nullptr;
    link_map* owner = nullptr;
    Dl_info info;
    if (dlinfo(library, RTLD_DI_LINKMAP, &own) != 0 ||
        dladdr1(address, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0)
        return nullptr;
    return owner == own ? address : nullptr;
}

void load_plugins(Environment& environment, const std::string& directory)
{
    std::vector<std::string> names = list_plugin_files(directory);
    if (names.empty())
        return;
    for (const std::string& name : names) {
        std::string path = directory + "/" + name;
        void* library = open_library(path);
        if (library == nullptr)
            continue;
        environment.plugins.append(library);
        print_message("Loading plugin %s\n", path.c_str());
    }
    print_message("--------------\n");
}

ScriptFunction find_function(Environment& environment, const char* name)
{
    if (is_library_export(name))
        return nullptr;
    environment.plugins.seek(0);
    while (void* library = environment.plugins.next()) {
        if (void* address = find_symbol(library, name))
            return reinterpret_cast<ScriptFunction>(address);
    }
    return nullptr;
}
