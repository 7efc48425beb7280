// Error functions of one row. Each sets the output deltas so that the
// gradient of the row's error with respect to a weight is -out * delta.
#include "plugins/neurnet/error_functions.h"

#include <cmath>

namespace {

double minkowski_r = 2.0;  // the Minkowski exponent, kept between calls

double target(int k, int label)
{
    return k + 1 == label ? 1.0 : 0.0;
}

}  // namespace

void set_minkowski_exponent(double R)
{
    minkowski_r = R;
}

// E = sum |e_k|^R; delta_k = R |e_k|^(R-1) d_k sgn(e_k), sgn(0) = +1.
double minkowski_error(Network* network, int label)
{
    Layer& output = network->layers[network->last];
    double error = 0.0;
    for (int k = 0; k < output.count; ++k) {
        Neuron& n = output.neurons[k];
        const double e = target(k, label) - n.out;
        const double size = std::fabs(e);
        n.delta = minkowski_r * std::pow(size, minkowski_r - 1.0) * n.deriv * (e < 0 ? -1.0 : 1.0);
        error += std::pow(size, minkowski_r);
    }
    return error;
}

// E = sum e_k^2; delta_k = e_k d_k (half the derivative: no factor 2).
double tse_error_deltas(Network* network, int label)
{
    Layer& output = network->layers[network->last];
    for (int k = 0; k < output.count; ++k) {
        Neuron& n = output.neurons[k];
        n.delta = (target(k, label) - n.out) * n.deriv;
    }
    return tse_error_value(network, label);
}

double tse_error_value(const Network* network, int label)
{
    const Layer& output = network->layers[network->last];
    double error = 0.0;
    for (int k = 0; k < output.count; ++k) {
        const double e = target(k, label) - output.neurons[k].out;
        error += e * e;
    }
    return error;
}

// E = -ln(prod p_k), p_k = y_k for the label, 1 - y_k otherwise; delta_k = e_k.
double cross_entropy_deltas(Network* network, int label)
{
    Layer& output = network->layers[network->last];
    for (int k = 0; k < output.count; ++k) {
        Neuron& n = output.neurons[k];
        n.delta = target(k, label) - n.out;
    }
    return cross_entropy_value(network, label);
}

// Summed as -sum ln p_k: the same value as the logarithm of the product,
// without the product underflowing to 0 over many outputs.
double cross_entropy_value(const Network* network, int label)
{
    const Layer& output = network->layers[network->last];
    double error = 0.0;
    for (int k = 0; k < output.count; ++k) {
        const double y = output.neurons[k].out;
        error -= std::log(k + 1 == label ? y : 1.0 - y);
    }
    return error;
}

ErrorFunction select_error_function(int type)
{
    if (type == 1) return minkowski_error;
    if (type == 2) return tse_error_deltas;
    return cross_entropy_deltas;
}
