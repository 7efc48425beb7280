// Plug-in host against the test libraries: listing, load order, broken
// libraries and binding only to a library's own symbols.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>
#include <vector>

#include "scriptrun/plugin_host.h"

namespace {

const std::string kDir = TEST_PLUGIN_DIR;

std::string loaded_output(Environment& environment, const std::string& directory)
{
    testing::internal::CaptureStderr();
    load_plugins(environment, directory);
    return testing::internal::GetCapturedStderr();
}

TEST(PluginHost, ListsRegularLibraryFilesSorted)
{
    EXPECT_EQ(list_plugin_files(kDir + "/broken"),
              (std::vector<std::string>{"good.so", "junk.so", "unresolved.so"}));
    EXPECT_EQ(list_plugin_files(kDir + "/order"), (std::vector<std::string>{"alpha.so", "beta.so"}));
    EXPECT_TRUE(list_plugin_files(kDir + "/no_such_folder").empty());
    EXPECT_TRUE(list_plugin_files(std::string(10000, 'd')).empty());
}

TEST(PluginHost, LoadMessages)
{
    struct LoadCase {
        std::string directory;  // plug-in directory
        std::string output;     // standard error of load_plugins
        int loaded;             // libraries in the plug-in list
    };
    const std::vector<LoadCase> cases = {
        {kDir + "/broken", "Loading plugin " + kDir + "/broken/good.so\n--------------\n", 1},
        {kDir + "/order", "Loading plugin " + kDir + "/order/alpha.so\nLoading plugin " + kDir +
                              "/order/beta.so\n--------------\n", 2},
        {kDir + "/no_such_folder", "", 0},
        {kDir + "/../testlibs", "", 0},
    };
    for (const LoadCase& c : cases) {
        Environment environment;
        EXPECT_EQ(loaded_output(environment, c.directory), c.output) << c.directory;
        int count = 0;
        environment.plugins.seek(0);
        while (environment.plugins.next() != nullptr)
            ++count;
        EXPECT_EQ(count, c.loaded) << c.directory;
    }
}

TEST(PluginHost, FirstLibraryInLoadOrderWins)
{
    Environment environment;
    loaded_output(environment, kDir + "/order");
    ScriptFunction which = find_function(environment, "which");
    ASSERT_NE(which, nullptr);
    Dl_info info;
    ASSERT_NE(dladdr(reinterpret_cast<void*>(which), &info), 0);
    EXPECT_EQ(std::string(info.dli_fname), kDir + "/order/alpha.so");
    EXPECT_EQ(find_function(environment, "Which"), nullptr);
    EXPECT_EQ(find_function(environment, "nothing_defines_this"), nullptr);
}

TEST(PluginHost, BindsOnlyALibrarysOwnSymbols)
{
    void* aaa = open_library(kDir + "/binding/aaa.so");
    void* writer = open_library(kDir + "/binding/writer.so");
    ASSERT_NE(aaa, nullptr);
    ASSERT_NE(writer, nullptr);
    // dlsym alone would find the C library's write through aaa.
    EXPECT_NE(dlsym(aaa, "write"), nullptr);
    EXPECT_EQ(find_symbol(aaa, "write"), nullptr);
    EXPECT_NE(find_symbol(aaa, "aaa_marker"), nullptr);
    EXPECT_NE(find_symbol(writer, "write"), nullptr);
    EXPECT_EQ(open_library(kDir + "/broken/junk.so"), nullptr);
    EXPECT_EQ(open_library(kDir + "/broken/unresolved.so"), nullptr);

    Environment environment;
    loaded_output(environment, kDir + "/binding");
    EXPECT_EQ(reinterpret_cast<void*>(find_function(environment, "write")),
              find_symbol(writer, "write"));
    Environment without_plugins;
    EXPECT_EQ(find_function(without_plugins, "write"), nullptr);
}

// The probe libraries link their own copy of the model-file library and so
// export its plain functions and XMLParser's methods; a script reaching one
// of those would call it with script arguments.
TEST(PluginHost, NeverBindsTheModelFileLibrarysExports)
{
    Environment environment;
    loaded_output(environment, kDir + "/xml");
    void* library = nullptr;
    environment.plugins.seek(0);
    library = environment.plugins.next();
    ASSERT_NE(library, nullptr);
    const struct {
        const char* name;
        bool bound;
    } cases[] = {
        {"probe_start", true},  // the library's own function
        {"XMLopen", false},
        {"XMLclose", false},
        {"XMLgetDepth", false},
        {"XMLchangeOrAddDoubleArrayAttribute", false},
        {"_XMLsave", false},
        {"_ZN9XMLParser4openEPKc", false},
        {"_ZN9XMLParserC1Ev", false},
        {"XMLopen_", false},  // exported by no library
        {"xmlopen", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(find_function(environment, c.name) != nullptr, c.bound) << c.name;
    }
    // The symbols are there; only binding them from a script is refused.
    EXPECT_NE(find_symbol(library, "XMLopen"), nullptr);
    EXPECT_NE(find_symbol(library, "_ZN9XMLParser4openEPKc"), nullptr);
}

}  // namespace
