// Row loading, the forward pass, the weight vector, random weights, testing
// and evaluation of the feed-forward network.
#include "plugins/neurnet/network.h"

#include <climits>
#include <cmath>

#include "support/random.h"

void network_free(Network* network)
{
    delete network;
}

int row_columns(const Network* network)
{
    return network->layers[0].count - network->bias + 1;
}

// Truncation toward zero of a label, kept inside int.
static int label_value(double value)
{
    if (!(value > INT_MIN - 1.0 && value < INT_MAX + 1.0)) return 0;
    return static_cast<int>(value);
}

int load_row(Network* network, const double* row)
{
    Layer& input = network->layers[0];
    const int features = input.count - network->bias;
    for (int i = 0; i < features; ++i) input.neurons[i].out = row[i];
    if (network->bias) input.neurons[features].out = 0.5;
    return label_value(row[features]);
}

// net of the next layer = sum of out * weight over the incoming
// connections; out = 1 / (1 + e^-net), deriv = out * (1 - out).
void forward_pass(Network* network)
{
    for (int i = 0; i < network->last; ++i) {
        std::vector<Neuron>& next = network->layers[i + 1].neurons;
        const int count = network->layers[i + 1].count;
        // Sums gathered in one plain array, sized once for the widest layer.
        if (network->sums.size() < static_cast<size_t>(count)) network->sums.resize(count);
        double* net = network->sums.data();
        for (int k = 0; k < count; ++k) net[k] = 0.0;
        for (const Neuron& source : network->layers[i].neurons) {
            const double out = source.out;
            const Connection* c = source.conns.data();
            for (int k = source.n_out - 1; k >= 0; --k) net[c[k].target] += out * c[k].weight;
        }
        for (int k = 0; k < count; ++k) {
            Neuron& n = next[k];
            n.net = net[k];
            n.out = 1.0 / (1.0 + std::exp(-n.net));
            n.deriv = n.out * (1.0 - n.out);
        }
    }
}

int weight_count(const Network* network)
{
    int count = 0;
    for (int i = 0; i < network->last; ++i)
        for (const Neuron& n : network->layers[i].neurons) count += n.n_out;
    return count;
}

void get_weight_vector(const Network* network, double* out)
{
    for (int i = 0; i < network->last; ++i)
        for (const Neuron& n : network->layers[i].neurons)
            for (const Connection& c : n.conns) *out++ = c.weight;
}

void set_weight_vector(Network* network, const double* in)
{
    for (int i = 0; i < network->last; ++i)
        for (Neuron& n : network->layers[i].neurons)
            for (Connection& c : n.conns) c.weight = *in++;
}

bool weights_finite(const Network* network)
{
    for (int i = 0; i < network->last; ++i)
        for (const Neuron& n : network->layers[i].neurons)
            for (const Connection& c : n.conns)
                if (!std::isfinite(c.weight)) return false;
    return true;
}

void init_random_weights(std::vector<Layer>& layer_array, int layers)
{
    for (int i = 0; i < layers; ++i) {
        const double s = 1.0 / std::sqrt(static_cast<double>(layer_array[i].count));
        for (Neuron& n : layer_array[i].neurons)
            for (Connection& c : n.conns) {
                c.weight = ((random15() % 100) * 0.01 - 0.5) * s * 10;
                c.prev_weight = c.weight;
            }
    }
}

// The first output with the largest |y| (1-based), 0 when every |y| is 0.
static int winner(const Layer& output)
{
    int best = 0;
    double largest = 0.0;
    for (int k = 0; k < output.count; ++k) {
        const double size = std::fabs(output.neurons[k].out);
        if (size > largest) {
            largest = size;
            best = k + 1;
        }
    }
    return best;
}

void test_network(Network* network, const double* const* rows, int count,
                  double* ratio, double* squaredError)
{
    const Layer& output = network->layers[network->last];
    int hits = 0;
    double sum = 0.0;
    for (int r = 0; r < count; ++r) {
        const int label = load_row(network, rows[r]);
        forward_pass(network);
        for (int k = 0; k < output.count; ++k) {
            const double e = (k + 1 == label ? 1.0 : 0.0) - output.neurons[k].out;
            sum += e * e;
        }
        if (winner(output) == label) ++hits;
    }
    *ratio = count > 0 ? static_cast<double>(hits) / count : 0.0;
    *squaredError = sum;
}

void evaluate_rows(Network* network, const double* const* rows, int count,
                   double* const* result)
{
    const Layer& output = network->layers[network->last];
    const int features = network->layers[0].count - network->bias;
    for (int r = 0; r < count; ++r) {
        load_row(network, rows[r]);
        forward_pass(network);
        for (int k = 0; k < output.count; ++k) result[r][k] = output.neurons[k].out;
        // + 0.0: a label between -1 and 0 truncates to 0, not to -0.
        result[r][output.count] = std::trunc(rows[r][features]) + 0.0;
    }
}
