// Times the training functions of the four kernel plug-ins at 500, 1000 and
// 2000 rows (exponential kernel, 10 features, 10 directions asked for), the
// best of three calls each, and prints the growth from one size to the next:
// the kernel work is cubic, so each doubling should cost about eight times
// as much, not more.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/bench_util.h"
#include "scriptrun/plugin_api.h"

extern "C" void* compute_curvaxis(void** values, int* types, int count, int* resultType);
extern "C" void* compute_warpfold(void** values, int* types, int count, int* resultType);
extern "C" void* compute_tessel(void** values, int* types, int count, int* resultType);
extern "C" void* compute_unmixer(void** values, int* types, int count, int* resultType);

namespace {

// Seconds one call takes (-1 when it wrote no model); its console output
// (progress lines) is discarded so that the terminal does not set the pace.
double time_call(ScriptFunction f, DataMatrix* db, const std::string& file,
                 const std::string& options)
{
    std::string name = file, text = options;
    void* values[] = {db, &name[0], &text[0]};
    int types[] = {VALUE_MATRIX, VALUE_STRING, VALUE_STRING};
    int result_type;
    remove(file.c_str());
    std::chrono::steady_clock::time_point start, stop;
    {
        QuietStderr quiet;
        start = std::chrono::steady_clock::now();
        f(values, types, 3, &result_type);
        stop = std::chrono::steady_clock::now();
    }
    if (access(file.c_str(), F_OK) != 0)
        return -1.0;
    return std::chrono::duration<double>(stop - start).count();
}

struct Trainer {
    const char* name;     // the script function's name
    ScriptFunction f;     // the training function
    const char* options;  // its option string
};

}  // namespace

int main()
{
    char folder[] = "/tmp/kernel_bench_XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return 1;
    std::string file = std::string(folder) + "/model.xml";
    const Trainer trainers[] = {
        {"compute_curvaxis", compute_curvaxis, "kernel=exp sigma=2 feanum=10"},
        {"compute_warpfold", compute_warpfold, "kernel=exp sigma=2 feanum=10 epsilon=0.001"},
        {"compute_tessel", compute_tessel, "kernel=exp sigma=2 feanum=10"},
        {"compute_unmixer", compute_unmixer, "kernel=exp sigma=2 feanum=10"},
    };
    const int d = 10;
    printf("%-18s %6s %4s %10s %8s\n", "function", "rows", "d", "seconds", "growth");
    for (const Trainer& t : trainers) {
        double previous = 0.0;
        for (int n : {500, 1000, 2000}) {
            std::vector<double> data = five_class_database(n, d);
            DataMatrix db = {n, d + 1, data.data()};
            double seconds = time_call(t.f, &db, file, t.options);
            for (int repeat = 1; repeat < 3 && seconds > 0.0; ++repeat)
                seconds = std::min(seconds, time_call(t.f, &db, file, t.options));
            if (previous > 0.0 && seconds > 0.0)
                printf("%-18s %6d %4d %10.3f %8.2f\n", t.name, n, d, seconds, seconds / previous);
            else
                printf("%-18s %6d %4d %10.3f %8s\n", t.name, n, d, seconds, "-");
            fflush(stdout);
            previous = seconds;
        }
    }
    remove(file.c_str());
    rmdir(folder);
    return 0;
}
