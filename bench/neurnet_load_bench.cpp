// Times NEURNETEvaluate on a network of 2 inputs, 5 hidden neurons and K
// outputs, for K ten times apart (argument list: the K values, default
// 1000 10000 100000), so that the load of a wide layer can be seen to grow
// linearly with K.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/bench_util.h"
#include "plugins/neurnet/init_file.h"
#include "scriptrun/plugin_api.h"
#include "support/matrix.h"

extern "C" void* NEURNETEvaluate(void** values, int* types, int count, int* resultType);

namespace {

double evaluate_seconds(const std::string& file, int outputs)
{
    {
        QuietStderr quiet;
        if (!write_init_file({2, 5, outputs}, file.c_str())) return -1;
    }
    DataMatrix* db = matrix_alloc(4, 3);
    for (int r = 0; r < 4; ++r) {
        db->data[3 * r] = 0.25 * r;
        db->data[3 * r + 1] = 1 - 0.25 * r;
        db->data[3 * r + 2] = r + 1;
    }
    std::string name = file;
    void* values[2] = {&name[0], db};
    int types[2] = {VALUE_STRING, VALUE_MATRIX};
    int resultType = 0;
    const auto start = std::chrono::steady_clock::now();
    void* result = nullptr;
    {
        QuietStderr quiet;
        result = NEURNETEvaluate(values, types, 2, &resultType);
    }
    const double seconds = seconds_since(start);
    if (!result) return -1;
    matrix_free(static_cast<DataMatrix*>(result));
    matrix_free(db);
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string file = "/tmp/neurnet_load_bench_" + std::to_string(getpid()) + ".xml";
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 10000, 100000};
    for (int outputs : sizes) {
        const double seconds = evaluate_seconds(file, outputs);
        std::printf("[2, 5, %d] network: NEURNETEvaluate %.3f s\n", outputs, seconds);
        std::fflush(stdout);
    }
    std::remove(file.c_str());
    return 0;
}
