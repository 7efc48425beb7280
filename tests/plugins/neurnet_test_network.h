// Small networks built directly as records for the neurnet tests.
#ifndef NEURNET_TEST_NETWORK_H
#define NEURNET_TEST_NETWORK_H

#include <vector>

#include "plugins/neurnet/network.h"

// A full network with the given neuron counts (bias units included) whose
// neurons connect to every neuron of the next layer but, below the output
// layer, its last one (the bias unit); weights drawn from a repeatable
// sequence in [-1, 1).
inline Network make_network(const std::vector<int>& counts, int bias, unsigned seed)
{
    Network net;
    net.bias = bias;
    net.full = 1;
    net.last = static_cast<int>(counts.size()) - 1;
    net.layers.resize(counts.size());
    for (size_t i = 0; i < counts.size(); ++i) {
        net.layers[i].count = counts[i];
        net.layers[i].neurons.resize(counts[i]);
    }
    for (int i = 0; i < net.last; ++i) {
        const int targets = counts[i + 1] - (i + 1 < net.last ? 1 : 0);
        for (Neuron& n : net.layers[i].neurons) {
            n.n_out = targets;
            for (int k = 0; k < targets; ++k) {
                seed = seed * 1664525u + 1013904223u;
                const double w = (seed >> 8) / double(1u << 23) - 1.0;
                n.conns.push_back(Connection{k, w, 0.0, w});
            }
        }
    }
    return net;
}

#endif
