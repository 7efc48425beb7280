// Times compute_flatdisc and compute_groupfold at three database sizes and
// two feature counts. Training must grow linearly with the rows: the pair
// scatter is formed from centred class sums, not from the pairs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/bench_util.h"
#include "scriptrun/plugin_api.h"

extern "C" void* compute_flatdisc(void** values, int* types, int count, int* resultType);
extern "C" void* compute_groupfold(void** values, int* types, int count, int* resultType);

namespace {

// Seconds one call takes (-1 when it wrote no model); its console output (the progress counter) is
// discarded so that the terminal does not set the pace.
double time_call(ScriptFunction f, DataMatrix* db, const std::string& file)
{
    std::string name = file;
    void* values[] = {db, &name[0]};
    int types[] = {VALUE_MATRIX, VALUE_STRING};
    int result_type;
    remove(file.c_str());
    std::chrono::steady_clock::time_point start, stop;
    {
        QuietStderr quiet;
        start = std::chrono::steady_clock::now();
        f(values, types, 2, &result_type);
        stop = std::chrono::steady_clock::now();
    }
    if (access(file.c_str(), F_OK) != 0)
        return -1.0;
    return std::chrono::duration<double>(stop - start).count();
}

}  // namespace

int main()
{
    char folder[] = "/tmp/discriminant_bench_XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return 1;
    std::string file = std::string(folder) + "/model.xml";
    printf("%-18s %8s %4s %10s\n", "function", "rows", "d", "seconds");
    for (int d : {10, 50}) {
        for (int n : {1000, 10000, 100000}) {
            std::vector<double> data = five_class_database(n, d);
            DataMatrix db = {n, d + 1, data.data()};
            printf("%-18s %8d %4d %10.4f\n", "compute_flatdisc", n, d,
                   time_call(compute_flatdisc, &db, file));
            printf("%-18s %8d %4d %10.4f\n", "compute_groupfold", n, d,
                   time_call(compute_groupfold, &db, file));
            fflush(stdout);
        }
    }
    remove(file.c_str());
    rmdir(folder);
    return 0;
}
