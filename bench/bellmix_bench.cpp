// Times the mixture plug-in: seconds per EM pass of one class's mixture
// (3 diagonal or 3 full components, 20 features) at two row counts 10x
// apart, which must scale linearly, one whole training call on 10^4 rows x
// 20 features in 5 classes, and both tests on models of 200 and 2000
// one-component classes. Console output is discarded.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "plugins/bellmix/mixture_model.h"
#include "plugins/bellmix/training.h"
#include "scriptrun/plugin_api.h"
#include "support/matrix.h"
#include "support/random.h"

extern "C" void* train_bellmix(void** values, int* types, int count, int* resultType);
extern "C" void* test_bellmix(void** values, int* types, int count, int* resultType);
extern "C" void* test_rbfn(void** values, int* types, int count, int* resultType);

namespace {

const int kFeatures = 20;

// n rows of kFeatures in 5 classes: three blobs per class, labels last.
std::vector<double> make_database(int n)
{
    std::vector<double> data(static_cast<size_t>(n) * (kFeatures + 1));
    BenchUniform uniform;
    for (int r = 0; r < n; ++r) {
        int label = r % 5 + 1, blob = (r / 5) % 3;
        double* row = &data[static_cast<size_t>(r) * (kFeatures + 1)];
        for (int i = 0; i < kFeatures; ++i) {
            double noise = 0.0;
            for (int t = 0; t < 4; ++t)
                noise += uniform.next() - 0.5;
            row[i] = noise + 2.0 * label * (i % 3 == 0) + 3.0 * blob * (i % 4 == 1);
        }
        row[kFeatures] = label;
    }
    return data;
}

// Runs f with standard error sent to /dev/null; returns its seconds.
template <typename F>
double quietly(F f)
{
    std::chrono::steady_clock::time_point start, stop;
    {
        QuietStderr quiet;
        start = std::chrono::steady_clock::now();
        f();
        stop = std::chrono::steady_clock::now();
    }
    return std::chrono::duration<double>(stop - start).count();
}

// Seconds per EM pass for one class of n rows (features only, n x 20).
double seconds_per_em_pass(int n, int diagonal)
{
    std::vector<double> db = make_database(n * 5);
    DataMatrix features;
    std::vector<double> x;
    for (int r = 0; r < n * 5; r += 5)
        x.insert(x.end(), &db[r * (kFeatures + 1)], &db[r * (kFeatures + 1)] + kFeatures);
    matrix_wrap(&features, n, kFeatures, x.data());
    std::vector<int> rows(n), assignment(n), sizes(3);
    for (int i = 0; i < n; ++i)
        rows[i] = i;
    DataMatrix* centres = matrix_alloc(3, kFeatures);
    MixtureModel m(kFeatures, 3, diagonal);
    const int passes = 10;
    double seconds = quietly([&] {
        seed_random15(1);
        kmeans_cluster(&features, rows.data(), assignment.data(), sizes.data(), centres, n, 3, 50);
        mixture_from_clusters(&m, &features, rows.data(), assignment.data(), sizes.data(),
                              centres, n);
    });
    // A threshold no gain falls below: exactly the given number of passes.
    seconds = quietly([&] { em_refine(&m, &features, rows.data(), n, passes, -1e300); });
    matrix_free(centres);
    return seconds / passes;
}

double seconds_of_training(int n, const char* options)
{
    std::vector<double> db = make_database(n);
    DataMatrix matrix{n, kFeatures + 1, db.data()};
    std::string file = "bellmix_bench.xml", opts = options;
    void* values[] = {&matrix, &file[0], &opts[0]};
    int types[] = {VALUE_MATRIX, VALUE_STRING, VALUE_STRING};
    int resultType;
    double seconds = quietly([&] { train_bellmix(values, types, 3, &resultType); });
    std::remove(file.c_str());
    return seconds;
}

// A model of C one-feature classes of one component each, class c centred
// on c, with the network's C^2 weights (the identity) when network is set.
void write_many_classes(const std::string& file, int C, bool network)
{
    std::FILE* out = std::fopen(file.c_str(), "w");
    if (!out)
        return;
    std::fprintf(out, "<BELLMIX><history/><initial_settings/><parameters>");
    for (int c = 1; c <= C; ++c)
        std::fprintf(out, "\n\t<MIXTURE Dimension=\"1\" NumOfMix=\"1\" Diagonal=\"1\" "
                          "Weights=\"1\"><GAUSSIAN Mean=\"%d\" Cov=\"0.25\"/></MIXTURE>", c);
    if (network) {
        std::fprintf(out, "\n\t<RBFN Weights=\"");
        for (long t = 0; t < static_cast<long>(C) * C; ++t)
            std::fprintf(out, "%s%d", t ? "," : "", t % (C + 1) == 0 ? 1 : 0);
        std::fprintf(out, "\"/>");
    }
    std::fprintf(out, "</parameters></BELLMIX>");
    std::fclose(out);
}

// Seconds of one test call on 20 rows spread over the C classes (a row of
// class c holds c), so that the evaluation, C x H per row for the network,
// does not hide the reading.
double seconds_of_test(ScriptFunction test, const std::string& file, int C)
{
    const int rows = 20;
    std::vector<double> db;
    for (int i = 1; i <= rows; ++i) {
        double c = static_cast<double>(static_cast<long>(C) * i / rows);
        db.insert(db.end(), {c, c});
    }
    DataMatrix matrix{rows, 2, db.data()};
    std::string name = file;
    void* values[] = {&matrix, &name[0]};
    int types[] = {VALUE_MATRIX, VALUE_STRING};
    int resultType;
    return quietly([&] { test(values, types, 2, &resultType); });
}

}  // namespace

int main()
{
    std::printf("EM pass, one class, 3 components, %d features\n", kFeatures);
    std::printf("%8s %10s %14s %18s\n", "rows", "covariance", "s per pass", "s per 1e5 row-comp");
    for (int diagonal : {1, 0})
        for (int n : {2000, 20000}) {
            double s = seconds_per_em_pass(n, diagonal);
            std::printf("%8d %10s %14.6f %18.6f\n", n, diagonal ? "diagonal" : "full", s,
                        s * 1e5 / (3.0 * n));
        }
    std::printf("\ntrain_bellmix, 10^4 rows x %d features, 5 classes, 3 components\n", kFeatures);
    const char* settings[] = {"Diagonal=1 KMeansStarts=3 EMMaxIt=15 Epsilon=0",
                              "Diagonal=0 KMeansStarts=3 EMMaxIt=15 Epsilon=0"};
    for (const char* options : settings)
        std::printf("%-48s %8.3f s\n", options, seconds_of_training(10000, options));
    std::printf("\ntests on a model of C one-component classes, 20 rows (test_rbfn's file\n"
                "also holds the network's C^2 weights, which it reads)\n");
    std::printf("%8s %14s %14s\n", "classes", "test_bellmix s", "test_rbfn s");
    const std::string file = "bellmix_bench_classes.xml";
    for (int C : {200, 2000}) {
        write_many_classes(file, C, false);
        double mixtures = seconds_of_test(test_bellmix, file, C);
        write_many_classes(file, C, true);
        double network = seconds_of_test(test_rbfn, file, C);
        std::printf("%8d %14.4f %14.4f\n", C, mixtures, network);
    }
    std::remove(file.c_str());
    return 0;
}
