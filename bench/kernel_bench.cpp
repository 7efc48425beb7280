// Times the training functions of the four kernel plug-ins at 500, 1000 and
// 2000 rows (exponential kernel, 10 features, 10 directions asked for), the
// best of three calls each, and prints the growth from one size to the next:
// the kernel work is cubic, so each doubling should cost about eight times
// as much, not more.
//
// With the argument "reference" it times instead, three times each, what
// bench/reference_eigen.py times of scikit-learn and LAPACK on the same 2000
// rows: compute_curvaxis (feanum 10) and the eigenvalues of the centred
// 2000 x 2000 kernel matrix. Compare with
//   OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 python3 bench/reference_eigen.py
// run right after it, on a quiet machine (it needs numpy, scipy and
// scikit-learn; on Debian the python3-sklearn package and an OpenBLAS
// library such as libopenblas0-serial). The aim: compute_curvaxis within
// 2.5 times the KernelPCA fit, the eigenvalues within 2 times eigvalsh.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "bench/bench_util.h"
#include "scriptrun/plugin_api.h"
#include "support/eigen.h"
#include "support/kernel_matrix.h"
#include "support/matrix.h"

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

// The fastest and slowest of three timings.
struct Range {
    double low = 1e300;  // seconds
    double high = 0.0;   // seconds
    void add(double seconds)
    {
        low = std::min(low, seconds);
        high = std::max(high, seconds);
    }
};

// The centred exponential kernel (width 2) of the rows' features.
DataMatrix* centred_kernel(DataMatrix* db)
{
    int n = db->rows, d = db->cols - 1;
    DataMatrix* x = matrix_alloc(n, d);
    for (int r = 0; r < n; ++r)
        for (int i = 0; i < d; ++i)
            x->data[static_cast<size_t>(r) * d + i] = db->data[static_cast<size_t>(r) * (d + 1) + i];
    DataMatrix* kc = matrix_alloc(n, n);
    KernelMatrix* k = init_kernel_matrix(x, x, 0);
    set_kernel_type(k, 2);
    for (int p = 0; p < 5; ++p)
        set_kernel_parameter(k, p, p == 0 ? 2.0 : 0.0);
    get_centralized_kernel_matrix(k, kc);
    destroy_kernel_matrix(k);
    matrix_free(x);
    return kc;
}

// The two figures reference_eigen.py gives the references of.
void reference_figures(const std::string& file)
{
    const int n = 2000, d = 10;
    std::vector<double> data = five_class_database(n, d);
    DataMatrix db = {n, d + 1, data.data()};
    Range curvaxis, eigenvalues;
    for (int repeat = 0; repeat < 3; ++repeat)
        curvaxis.add(time_call(compute_curvaxis, &db, file, "kernel=exp sigma=2 feanum=10"));
    DataMatrix* kc = centred_kernel(&db);
    DataMatrix* values = matrix_alloc(n, 1);
    for (int repeat = 0; repeat < 3; ++repeat) {
        auto start = std::chrono::steady_clock::now();
        matrix_eigenvalues_symm(kc, values);
        eigenvalues.add(seconds_since(start));
    }
    printf("ours      n=%5d  compute_curvaxis (feanum 10)              %8.3f .. %8.3f s\n", n,
           curvaxis.low, curvaxis.high);
    printf("ours      n=%5d  eigenvalues of the centred kernel        %8.3f .. %8.3f s\n", n,
           eigenvalues.low, eigenvalues.high);
    printf("ours      n=%5d  leading eigenvalues [%.8f %.8f %.8f]\n", n, values->data[0],
           values->data[1], values->data[2]);
    matrix_free(values);
    matrix_free(kc);
}

}  // namespace

int main(int argc, char** argv)
{
    char folder[] = "/tmp/kernel_bench_XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return 1;
    std::string file = std::string(folder) + "/model.xml";
    if (argc > 1 && std::string_view(argv[1]) == "reference") {
        reference_figures(file);
        remove(file.c_str());
        rmdir(folder);
        return 0;
    }
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
