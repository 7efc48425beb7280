// Samples per second of one training epoch in each sampling order, for a
// network of 64 inputs, 100 hidden units and 10 outputs, over 10^4 and 10^5
// rows (an epoch must cost the same per sample at both sizes).
#include <chrono>
#include <cstdio>
#include <vector>

#include "nettools/net_graph.h"
#include "nettools/sampling.h"

namespace {

const int features = 64, hidden = 100, classes = 10;

struct Rows {
    std::vector<float> data;       // rows x features
    std::vector<int> labels;       // class index per row
    std::vector<int> index;        // rows grouped by class
    std::vector<int> counts;       // rows per class
};

Rows make_rows(int n)
{
    Rows r;
    r.data.resize(static_cast<size_t>(n) * features);
    unsigned long long state = 12345;
    for (int i = 0; i < n; ++i) {
        int c = (i * 7 + i / 13) % classes;
        r.labels.push_back(c);
        for (int f = 0; f < features; ++f) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            r.data[static_cast<size_t>(i) * features + f] =
                static_cast<float>(state >> 40) / 16777216.0f + (f % classes == c ? 0.5f : 0.0f);
        }
    }
    r.counts.assign(classes, 0);
    for (int c = 0; c < classes; ++c)
        for (int i = 0; i < n; ++i)
            if (r.labels[i] == c) {
                r.index.push_back(i);
                ++r.counts[c];
            }
    return r;
}

// Seconds one epoch of the given order takes.
double time_epoch(int order, NetGraph* net, const Rows& r, int n, const ClassSampler* sampler)
{
    auto start = std::chrono::steady_clock::now();
    if (order == 0)
        net_epoch_full(net, r.data.data(), r.labels.data(), n, 0.1f);
    else if (order == 1)
        net_epoch_class_uniform(net, r.data.data(), n / classes, classes, r.index.data(),
                                r.counts.data(), 0.1f);
    else
        net_epoch_frequency(net, r.data.data(), n, classes, r.index.data(), r.counts.data(), 0.1f,
                            sampler);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main()
{
    const char* names[3] = {"full", "class uniform", "frequency 0.5"};
    printf("%-14s %8s %10s %14s\n", "order", "rows", "seconds", "samples/s");
    for (int n : {10000, 100000}) {
        Rows rows = make_rows(n);
        std::vector<float> w(classes);
        for (int c = 0; c < classes; ++c)
            w[c] = 0.5f / classes + 0.5f * rows.counts[c] / n;
        ClassSampler sampler;
        sampler_build(&sampler, w.data(), classes);
        for (int order = 0; order < 3; ++order) {
            NetGraph* net = net_create(features, hidden, classes, UNIT_SIGMOID);
            double seconds = time_epoch(order, net, rows, n, &sampler);
            printf("%-14s %8d %10.3f %14.0f\n", names[order], n, seconds, n / seconds);
            fflush(stdout);
            net_destroy(net);
            delete net;
        }
        sampler_free(&sampler);
    }
    return 0;
}
