// Times compute_flatdisc and compute_groupfold at three database sizes and
// two feature counts. Training must grow linearly with the rows: the pair
// scatter is formed from centred class sums, not from the pairs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <fcntl.h>
#include <vector>

#include "scriptrun/plugin_api.h"

extern "C" void* compute_flatdisc(void** values, int* types, int count, int* resultType);
extern "C" void* compute_groupfold(void** values, int* types, int count, int* resultType);

namespace {

// n rows of d features in 5 classes, class c shifted by c in every feature.
std::vector<double> make_database(int n, int d)
{
    std::vector<double> data(static_cast<size_t>(n) * (d + 1));
    unsigned long long state = 12345;
    for (int r = 0; r < n; ++r) {
        int label = r % 5 + 1;
        double* row = &data[static_cast<size_t>(r) * (d + 1)];
        for (int i = 0; i < d; ++i) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            row[i] = static_cast<double>(state >> 11) / 9007199254740992.0 + 0.1 * label * (i % 3);
        }
        row[d] = label;
    }
    return data;
}

// Seconds one call takes (-1 when it wrote no model); its console output (the progress counter) is
// discarded so that the terminal does not set the pace.
double time_call(ScriptFunction f, DataMatrix* db, const std::string& file)
{
    std::string name = file;
    void* values[] = {db, &name[0]};
    int types[] = {VALUE_MATRIX, VALUE_STRING};
    int result_type;
    remove(file.c_str());
    fflush(stderr);
    int saved = dup(2), null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 2);
    auto start = std::chrono::steady_clock::now();
    f(values, types, 2, &result_type);
    auto stop = std::chrono::steady_clock::now();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(null_fd);
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
            std::vector<double> data = make_database(n, d);
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
