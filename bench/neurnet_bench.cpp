// Times neurnet's training steps on the network of a default init file for
// 64 features and 10 classes (64-73-10): one back-propagation epoch, one
// batch objective (forward and backward pass over every row) and one
// two-loop L-BFGS iteration (direction and line search), at 200 and 2000
// rows, so that the cost per row can be seen to stay flat.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "plugins/lbfgs/lbfgs_2loop.h"
#include "plugins/neurnet/init_file.h"
#include "plugins/neurnet/network_document.h"
#include "plugins/neurnet/training.h"

namespace {

const int features = 64, classes = 10;

// Learnable rows: class c has mean 0.5 sin(c (i + 1)) in feature i, plus uniform
// noise of width 3.
std::vector<double> make_rows(int n)
{
    std::vector<double> data(static_cast<size_t>(n) * (features + 1));
    unsigned state = 99;
    for (int r = 0; r < n; ++r) {
        const int label = r % classes + 1;
        double* row = &data[static_cast<size_t>(r) * (features + 1)];
        for (int i = 0; i < features; ++i) {
            state = state * 1664525u + 1013904223u;
            row[i] = 0.5 * std::sin(label * (i + 1.0)) + 3.0 * ((state >> 8) / double(1u << 24) - 0.5);
        }
        row[features] = label;
    }
    return data;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Network* default_network(const char* file)
{
    write_init_file({features, features + classes - 1, classes}, file);
    XMLParser* document = nullptr;
    XMLopen(&document, file);
    Network* network = nullptr;
    network_from_xml(&network, &document);
    XMLclose(&document);
    return network;
}

void measure(const char* file, int n)
{
    Network* network = default_network(file);
    if (!network) return;
    const std::vector<double> data = make_rows(n);
    std::vector<const double*> rows;
    for (int r = 0; r < n; ++r) rows.push_back(&data[static_cast<size_t>(r) * (features + 1)]);
    const int epochs = 20;
    double first = 0.0, last = 0.0;
    auto start = std::chrono::steady_clock::now();
    for (int e = 0; e < epochs; ++e) {
        last = backprop_epoch(network, rows.data(), n, 0.3, 0.0, cross_entropy_deltas) / n;
        if (e == 0) first = last;
    }
    const double epoch = seconds_since(start) / epochs;

    set_optim_objective_context(network, rows.data(), n, cross_entropy_deltas);
    const int w = weight_count(network);
    std::vector<double> x(w), xPrev(w), g(w), gPrev(w);
    get_weight_vector(network, x.data());
    start = std::chrono::steady_clock::now();
    double f = optim_objective(x.data(), g.data());
    const double objective = seconds_since(start);
    lbfgs_2loop_init(w, 7);
    const int iterations = 20;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i) {
        double* r = lbfgs_2loop_direction(x.data(), xPrev.data(), g.data(), gPrev.data(), i);
        gPrev = g;
        xPrev = x;
        line_search(w, 4, 4, 1, 0.4, xPrev.data(), x.data(), gPrev.data(), g.data(), &f, r,
                    optim_objective);
    }
    const double iteration = seconds_since(start) / iterations;
    lbfgs_2loop_free();
    network_free(network);
    std::printf("%5d rows: epoch %.4f s (%.2f us/row), objective %.4f s, L-BFGS iteration "
                "%.4f s\n       (mean error %.4f in the first epoch, %.4f in the last, %.4f after %d "
                "iterations)\n",
                n, epoch, 1e6 * epoch / n, objective, iteration, first, last, f / n, iterations);
}

// Multiply-adds of one online epoch: a forward and an update per connection
// and row, plus the weighted delta sums of the hidden neurons.
long long epoch_multiply_adds(const Network* network, int n)
{
    long long per_row = 2LL * weight_count(network);
    for (int i = 1; i < network->last; ++i)
        for (const Neuron& neuron : network->layers[i].neurons) per_row += neuron.n_out;
    return per_row * n;
}

}  // namespace

int main()
{
    const std::string file = "/tmp/neurnet_bench_" + std::to_string(getpid()) + ".xml";
    std::fclose(stderr);  // the line search's progress lines
    Network* network = default_network(file.c_str());
    if (!network) return 1;
    std::printf("network 64-73-10 (bias units included: 65-74-10), %d weights; one epoch over "
                "2000 rows is %lld multiply-adds\n",
                weight_count(network), epoch_multiply_adds(network, 2000));
    network_free(network);
    measure(file.c_str(), 200);
    measure(file.c_str(), 2000);
    std::remove(file.c_str());
    return 0;
}
