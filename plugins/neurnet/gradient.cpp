// The backward pass shared by the batch gradient and online
// back-propagation, and the objective the batch optimisers minimise.
#include "plugins/neurnet/error_functions.h"

#include <cstddef>

namespace {

// The optimisers' objective: which network, rows and error function.
struct ObjectiveContext {
    Network* network = nullptr;        // network whose weights are optimised
    const double* const* rows = nullptr;  // learning rows
    int count = 0;                     // number of learning rows
    ErrorFunction error = nullptr;     // error function of the race
};

ObjectiveContext context;

// Sum over a neuron's connections of weight * target delta, in four partial
// sums so that the additions do not wait on each other.
inline double weighted_deltas(const Neuron& n, const double* delta)
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    const Connection* c = n.conns.data();
    int k = 0;
    for (; k + 3 < n.n_out; k += 4) {
        s0 += c[k].weight * delta[c[k].target];
        s1 += c[k + 1].weight * delta[c[k + 1].target];
        s2 += c[k + 2].weight * delta[c[k + 2].target];
        s3 += c[k + 3].weight * delta[c[k + 3].target];
    }
    for (; k < n.n_out; ++k) s0 += c[k].weight * delta[c[k].target];
    return (s0 + s1) + (s2 + s3);
}

// The deltas of layer i + 1 side by side, in the network's work array.
const double* next_deltas(Network* network, int i)
{
    const Layer& next = network->layers[i + 1];
    if (network->sums.size() < static_cast<size_t>(next.count)) network->sums.resize(next.count);
    double* delta = network->sums.data();
    for (int k = 0; k < next.count; ++k) delta[k] = next.neurons[k].delta;
    return delta;
}

// delta_j = deriv_j * sum_c weight_c * delta(target_c) and
// grad_c -= out_j * delta(target_c), from the output side down. Input
// neurons have no derivative, so their deltas are 0.
void backward_accumulate(Network* network)
{
    for (int i = network->last - 1; i >= 0; --i) {
        const double* delta = next_deltas(network, i);
        for (Neuron& n : network->layers[i].neurons) {
            const double out = n.out;
            for (Connection& c : n.conns) c.grad -= out * delta[c.target];
            n.delta = i > 0 ? n.deriv * weighted_deltas(n, delta) : 0.0;
        }
    }
}

void clear_gradients(Network* network)
{
    for (int i = 0; i < network->last; ++i)
        for (Neuron& n : network->layers[i].neurons)
            for (Connection& c : n.conns) c.grad = 0.0;
}

// Online step of one neuron's connections: w' = w + momentum (w - prev) +
// rate * out * delta(target); prev = w; the neuron's delta uses the old w.
void update_neuron(Neuron& n, const double* delta, bool hidden, double learningRate,
                   double momentum)
{
    if (hidden) n.delta = n.deriv * weighted_deltas(n, delta);
    const double step = learningRate * n.out;
    for (Connection& c : n.conns) {
        const double w = c.weight;
        c.weight = w + momentum * (w - c.prev_weight) + step * delta[c.target];
        c.prev_weight = w;
    }
}

}  // namespace

double batch_gradient(Network* network, const double* const* rows, int count,
                      ErrorFunction error)
{
    clear_gradients(network);
    double total = 0.0;
    for (int r = 0; r < count; ++r) {
        const int label = load_row(network, rows[r]);
        forward_pass(network);
        total += error(network, label);
        backward_accumulate(network);
    }
    return total;
}

double network_error_and_gradient(Network* network, const double* const* rows, int count,
                                  const double* x, double* g, ErrorFunction error)
{
    set_weight_vector(network, x);
    const double total = batch_gradient(network, rows, count, error);
    for (int i = 0; i < network->last; ++i)
        for (const Neuron& n : network->layers[i].neurons)
            for (const Connection& c : n.conns) *g++ = c.grad;
    return total;
}

void set_optim_objective_context(Network* network, const double* const* rows, int count,
                                 ErrorFunction error)
{
    context = ObjectiveContext{network, rows, count, error};
}

double optim_objective(const double* x, double* g)
{
    return network_error_and_gradient(context.network, context.rows, context.count, x, g,
                                      context.error);
}

// Every row's deltas are its own: the hidden and input deltas are worked
// out afresh for each row, never carried over from the previous one.
double backprop_epoch(Network* network, const double* const* rows, int count,
                      double learningRate, double momentum, ErrorFunction error)
{
    double total = 0.0;
    for (int r = 0; r < count; ++r) {
        const int label = load_row(network, rows[r]);
        forward_pass(network);
        total += error(network, label);
        for (int i = network->last - 1; i >= 0; --i) {
            const double* delta = next_deltas(network, i);
            for (Neuron& n : network->layers[i].neurons) {
                if (i == 0) n.delta = 0.0;
                update_neuron(n, delta, i > 0, learningRate, momentum);
            }
        }
    }
    return total;
}
