// Times the kernel classifiers' training at N = 500, 1000 and 2000 rows (20
// features, 3 classes, exponential kernel; the init files' settings with
// max_iter_num 50) and prints the growth per doubling of N. With the first
// argument "classes", times instead the init-file classifiers' MakeInit and
// a one-iteration Learn with a kernel option for 10^4 and 10^5 classes (two
// rows, labels 1 and C). The plug-ins are the built libraries, loaded as
// scriptrun loads them.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "scriptrun/plugin_api.h"

namespace {

// n rows of 20 features in 3 classes, class c centred at c/2 in each feature.
std::vector<double> make_database(int n)
{
    return class_database(n, 20, 3, [](int label, int) { return 0.5 * label; });
}

ScriptFunction find(const char* plugin, const char* name)
{
    std::string path = std::string(BENCH_PLUGIN_DIR) + "/" + plugin + ".so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* symbol = library ? dlsym(library, name) : nullptr;
    if (!symbol) {
        fprintf(stderr, "cannot load %s from %s\n", name, path.c_str());
        exit(1);
    }
    return reinterpret_cast<ScriptFunction>(symbol);
}

// Calls f with the arguments; its console output is discarded so that the
// terminal does not set the pace.
void call_quietly(ScriptFunction f, std::vector<void*> values, std::vector<int> types)
{
    int resultType = VALUE_EMPTY;
    QuietStderr quiet;
    f(values.data(), types.data(), static_cast<int>(values.size()), &resultType);
}

// Replaces the first attribute="..." of the file's text with value.
void set_attribute(const std::string& file, const std::string& attribute, const std::string& value)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    std::string key = attribute + "=\"";
    size_t at = s.find(key);
    if (at == std::string::npos)
        return;
    size_t end = s.find('"', at + key.size());
    s.replace(at + key.size(), end - at - key.size(), value);
    std::ofstream(file) << s;
}

double time_squaremark(DataMatrix* db, std::string& model)
{
    static ScriptFunction train = find("squaremark", "train_squaremark");
    std::string options = "kernel=exponential";
    auto start = std::chrono::steady_clock::now();
    call_quietly(train, {db, &model[0], &options[0]}, {VALUE_MATRIX, VALUE_STRING, VALUE_STRING});
    return seconds_since(start);
}

// MakeInit, then max_iter_num 50 in the init file, then Learn (timed).
double time_init_file_classifier(const char* plugin, DataMatrix* db, std::string& init,
                                 std::string& model)
{
    std::string prefix = plugin[0] == 'e' ? "EDGEMARK" : "GLIDEMARK";
    ScriptFunction makeInit = find(plugin, (prefix + "MakeInit").c_str());
    ScriptFunction learn = find(plugin, (prefix + "Learn").c_str());
    call_quietly(makeInit, {db, &init[0]}, {VALUE_MATRIX, VALUE_STRING});
    set_attribute(init, "max_iter_num", "50");
    std::string options = "kernel=exponential";
    auto start = std::chrono::steady_clock::now();
    call_quietly(learn, {&init[0], &model[0], &options[0]},
                 {VALUE_STRING, VALUE_STRING, VALUE_STRING});
    return seconds_since(start);
}

// MakeInit of two rows labelled 1 and classes, then Learn with a kernel
// option and max_iter_num 1; both timed.
void time_many_classes(const char* plugin, int classes, std::string& init, std::string& model)
{
    std::string prefix = plugin[0] == 'e' ? "EDGEMARK" : "GLIDEMARK";
    ScriptFunction makeInit = find(plugin, (prefix + "MakeInit").c_str());
    ScriptFunction learn = find(plugin, (prefix + "Learn").c_str());
    std::vector<double> data = {0.5, 1.0, 1.0, -0.5, 0.25, static_cast<double>(classes)};
    DataMatrix db = {2, 3, data.data()};
    auto start = std::chrono::steady_clock::now();
    call_quietly(makeInit, {&db, &init[0]}, {VALUE_MATRIX, VALUE_STRING});
    double made = seconds_since(start);
    set_attribute(init, "max_iter_num", "1");
    std::string options = "kernel=exponential";
    start = std::chrono::steady_clock::now();
    call_quietly(learn, {&init[0], &model[0], &options[0]},
                 {VALUE_STRING, VALUE_STRING, VALUE_STRING});
    printf("%-12s %8d %10.3f %10.3f\n", plugin, classes, made, seconds_since(start));
    fflush(stdout);
}

void time_class_counts(std::string& init, std::string& model)
{
    printf("%-12s %8s %10s %10s\n", "plug-in", "classes", "MakeInit", "Learn");
    for (const char* plugin : {"edgemark", "glidemark"})
        for (int classes : {10000, 100000})
            time_many_classes(plugin, classes, init, model);
}

}  // namespace

int main(int argc, char** argv)
{
    char folder[] = "/tmp/kernel_classifiers_bench_XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return 1;
    std::string init = std::string(folder) + "/init.xml";
    std::string model = std::string(folder) + "/model.xml";
    std::vector<std::string> plugins = {"squaremark", "edgemark", "glidemark"};
    if (argc > 1 && std::string(argv[1]) == "classes") {
        time_class_counts(init, model);
        plugins.clear();
    } else if (argc > 1)
        plugins.assign(argv + 1, argv + argc);
    if (!plugins.empty())
        printf("%-12s %6s %10s %10s\n", "plug-in", "N", "seconds", "x previous");
    for (const std::string& plugin : plugins) {
        double previous = 0.0;
        for (int n : {500, 1000, 2000}) {
            std::vector<double> data = make_database(n);
            DataMatrix db = {n, 21, data.data()};
            double t = plugin == "squaremark"
                           ? time_squaremark(&db, model)
                           : time_init_file_classifier(plugin.c_str(), &db, init, model);
            if (previous > 0.0)
                printf("%-12s %6d %10.3f %10.2f\n", plugin.c_str(), n, t, t / previous);
            else
                printf("%-12s %6d %10.3f %10s\n", plugin.c_str(), n, t, "");
            fflush(stdout);
            previous = t;
        }
    }
    remove(init.c_str());
    remove(model.c_str());
    rmdir(folder);
    return 0;
}
