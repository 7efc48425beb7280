// Times the projection pursuit fitting steps (5 projections of 6 Hermite
// functions, 20 features, 4 classes) at 10^3, 10^4 and 10^5 rows, and one
// whole training call at 10^4 rows. Each step makes one pass over the rows,
// so its time must grow linearly with them.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "plugins/pathlet/fitting.h"
#include "plugins/pathlet/projection_model.h"

extern "C" void* train_pathlet(void** values, int* types, int count, int* resultType);

namespace {

const int features = 20, classes = 4, projections = 5, hermite = 6;

// n rows of features in [0, 1) plus a label, class c shifted along a few features.
std::vector<double> make_database(int n)
{
    return class_database(n, features, classes,
                          [](int label, int i) { return i % classes == label - 1 ? 0.5 : 0.0; });
}

// Seconds one step takes.
template <class Step>
double seconds_of(Step step)
{
    auto start = std::chrono::steady_clock::now();
    step();
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    return spent.count();
}

// The three steps on a model whose projections all carry coefficients.
void time_steps(int n)
{
    std::vector<double> data = make_database(n);
    std::vector<double> labels(n);
    for (int r = 0; r < n; ++r)
        labels[r] = data[static_cast<size_t>(r) * (features + 1) + features];
    std::vector<double> x(static_cast<size_t>(n) * features);
    for (int r = 0; r < n; ++r)
        for (int i = 0; i < features; ++i)
            x[static_cast<size_t>(r) * features + i] = data[static_cast<size_t>(r) * (features + 1) + i];
    DataMatrix X{n, features, x.data()}, L{n, 1, labels.data()};
    set_training_rows(&X, &L, classes);
    if (!allocate_training_state(projections, hermite))
        return;
    ProjectionModel model;
    init_projection_model(&model, features, classes, projections, hermite);
    set_class_priors(&model);
    for (int m = 0; m < projections; ++m)
        fit_hermite(&model, m);
    // Rotations of each projection in turn with a weight refit after each,
    // as training runs them.
    int repeats = n >= 100000 ? 5 : n >= 10000 ? 20 : 200;
    double direction = 0.0, coefficients = 0.0, weights = 0.0;
    for (int k = 0; k < repeats; ++k) {
        int m = k % projections;
        direction += seconds_of([&] { fit_direction(&model, m); });
        coefficients += seconds_of([&] { fit_hermite(&model, m); });
        weights += seconds_of([&] { fit_output_weights(&model); });
    }
    direction /= repeats;
    coefficients /= repeats;
    weights /= repeats;
    printf("%7d rows: direction %.6f s, Hermite %.6f s, output weights %.6f s per step\n", n,
           direction, coefficients, weights);
    release_training_state();
}

// One training call with its trace discarded, so the terminal does not set the pace.
double time_training(int n)
{
    std::vector<double> data = make_database(n);
    DataMatrix db{n, features + 1, data.data()};
    std::string file = "pathlet_bench.xml", options = "NumProj=5 NumProjPars=6";
    void* values[] = {&db, &file[0], &options[0]};
    int types[] = {VALUE_MATRIX, VALUE_STRING, VALUE_STRING};
    int result_type;
    std::chrono::duration<double> spent;
    {
        QuietStderr quiet;
        auto start = std::chrono::steady_clock::now();
        train_pathlet(values, types, 3, &result_type);
        spent = std::chrono::steady_clock::now() - start;
    }
    remove(file.c_str());
    return spent.count();
}

}  // namespace

int main()
{
    for (int n : {1000, 10000, 100000})
        time_steps(n);
    printf("train_pathlet, 10000 rows, NumProj=5 NumProjPars=6 Strategy 0: %.3f s\n",
           time_training(10000));
    return 0;
}
