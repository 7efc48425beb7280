// The network record: allocation, layered wiring, random start, the forward
// pass, one back-propagation step and weight snapshots.
#include "nettools/net_graph.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include <unistd.h>

#include "nettools/seed_clock.h"
#include "support/random.h"

namespace {

void clear_record(NetGraph* net)
{
    std::memset(net, 0, sizeof *net);
}

// Weight and unit counts a layered network of these sizes needs; false
// when they do not fit in an int.
bool layered_counts(const int* sizes, int layers, long long* weights, long long* units)
{
    *weights = 1;
    *units = 0;
    for (int l = 1; l < layers; ++l) {
        if (sizes[l] < 0 || sizes[l - 1] < 0)
            return false;
        *weights += static_cast<long long>(sizes[l - 1]) * sizes[l];
        *units += sizes[l];
        if (*weights > 0x7fffffff || *units > 0x7fffffff)
            return false;
    }
    return true;
}

// Creating the units: the hidden layers' sigmoid units, then the output
// units, each with its own entry of the outputs and of the deltas.
bool create_layer_units(NetGraph* net)
{
    const int* n = net->layerSizes;
    int last = net->layerCount - 1;
    int i = 0;
    for (int l = 1; l <= last; ++l) {
        UnitKind kind = l == last ? net->outputKind : UNIT_SIGMOID;
        int fanOut = l == last ? 1 : n[l + 1];
        for (int m = 0; m < n[l]; ++m, ++i) {
            NetUnit* u = new (std::nothrow) NetUnit();
            net->units[i] = u;
            if (!u || !unit_init(u, n[l - 1], fanOut, kind))
                return false;
            u->outputSlot = net->unitOutputs + i;
            u->deltaSlot = net->deltas + i;
        }
    }
    return true;
}

// Connecting the units: each unit's inputs and their weights in weight
// order; each output unit's error slot through the constant last weight;
// then each hidden unit's downstream deltas and weights, the very entries
// the next layer's units use for it.
void connect_layers(NetGraph* net)
{
    const int* n = net->layerSizes;
    int last = net->layerCount - 1;
    int first_unit = 0, first_activation = 0;
    float* weight = net->weights;
    for (int l = 1; l <= last; ++l) {
        for (int m = 0; m < n[l]; ++m) {
            NetUnit* u = net->units[first_unit + m];
            for (int j = 0; j < n[l - 1]; ++j) {
                u->inputSlots[j] = net->activations + first_activation + j;
                u->inputWeights[j] = weight++;
            }
            unit_mark_consecutive(u);
            if (l == last) {
                u->downstreamDeltas[0] = net->outputErrors + m;
                u->downstreamWeights[0] = net->weights + net->weightCount - 1;
            }
        }
        if (l > 1) {
            int previous_first = first_unit - n[l - 1];
            for (int j = 0; j < n[l - 1]; ++j) {
                NetUnit* below = net->units[previous_first + j];
                for (int m = 0; m < n[l]; ++m) {
                    below->downstreamDeltas[m] = net->deltas + first_unit + m;
                    below->downstreamWeights[m] = *net->units[first_unit + m]->inputWeights + j;
                }
            }
        }
        first_activation += n[l - 1];
        first_unit += n[l];
    }
}

// Softmax outputs e^(x_j - m) / sum_k e^(x_k - m), m the largest net input
// of the layer: the same function as e^x_j / sum_k e^x_k, but no
// exponential can overflow, and the largest is 1, so that the sum is never
// 0 while the net inputs are numbers.
void softmax_outputs(NetGraph* net)
{
    int first = net->unitCount - net->outputCount;
    double largest = -HUGE_VAL;
    for (int i = first; i < net->unitCount; ++i) {
        double x = unit_net_input(net->units[i]);
        if (x > largest)
            largest = x;
    }
    for (int i = first; i < net->unitCount; ++i)
        net->units[i]->activate(net->units[i], unit_net_input(net->units[i]) - largest);
    net_normalize_outputs(net);
}

}  // namespace

double net_layered_bytes(const int* sizes, int layers)
{
    double weights = 1.0, units = 0.0, links = 0.0;
    for (int l = 1; l < layers; ++l) {
        double below = sizes[l - 1], size = sizes[l];
        double above = l + 1 < layers ? sizes[l + 1] : 1.0;
        weights += below * size;
        units += size;
        links += size * (below + above);
    }
    double floats = weights + (sizes[0] + units) + (units + sizes[layers - 1]);
    return floats * sizeof(float) + units * (sizeof(NetUnit) + sizeof(NetUnit*)) +
           links * 2.0 * sizeof(float*);
}

std::string net_memory_refusal(double bytes)
{
    long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    double memory = pages > 0 && page > 0 ? static_cast<double>(pages) * page : 0.0;
    if (memory == 0.0 || bytes <= memory)
        return std::string();
    char text[160];
    snprintf(text, sizeof text, "the network needs %.0f bytes, more than the %.0f bytes of "
             "physical memory", bytes, memory);
    return text;
}

int net_alloc(NetGraph* net, int inputs, int outputs, int units, int weightCount, int layerCount)
{
    clear_record(net);
    if (inputs < 0 || outputs < 0 || units < outputs || weightCount < 1 || layerCount < 0 ||
        static_cast<long long>(inputs) + units > 0x7fffffff ||
        static_cast<long long>(units) + outputs > 0x7fffffff)
        return 0;
    net->inputCount = inputs;
    net->outputCount = outputs;
    net->unitCount = units;
    net->weightCount = weightCount;
    net->layerCount = layerCount;
    net->activations = new (std::nothrow) float[inputs + units]();
    net->deltas = new (std::nothrow) float[units + outputs]();
    net->units = new (std::nothrow) NetUnit*[units > 0 ? units : 1]();
    net->weights = new (std::nothrow) float[weightCount];
    if (layerCount != 0)
        net->layerSizes = new (std::nothrow) int[layerCount]();
    if (!net->activations || !net->deltas || !net->units || !net->weights ||
        (layerCount != 0 && !net->layerSizes))
        return 0;
    net->weights[weightCount - 1] = 1.0f;
    net->unitOutputs = net->activations + inputs;
    net->outputVector = net->activations + inputs + units - outputs;
    net->outputErrors = net->deltas + units;
    return 1;
}

// Refuses sizes that disagree with the record's counts, so that no pointer
// can leave the arrays.
int net_wire_layers(NetGraph* net)
{
    int layers = net->layerCount;
    long long weights = 0, units = 0;
    if (layers < 2 || !net->layerSizes || net->layerSizes[0] != net->inputCount ||
        net->layerSizes[layers - 1] != net->outputCount ||
        !layered_counts(net->layerSizes, layers, &weights, &units) ||
        weights != net->weightCount || units != net->unitCount)
        return 0;
    if (!create_layer_units(net))
        return 0;
    connect_layers(net);
    return 1;
}

void net_randomize(NetGraph* net)
{
    seed_random15(seed_from_clock());
    for (int i = net->unitCount - 1; i >= 0; --i)
        unit_randomize(net->units[i]);
}

NetGraph* net_create(int inputs, int hidden, int outputs, UnitKind outputKind)
{
    NetGraph* net = new (std::nothrow) NetGraph();
    if (!net)
        return nullptr;
    long long weights = static_cast<long long>(hidden) * (static_cast<long long>(inputs) + outputs) + 1;
    bool made = hidden >= 0 && weights <= 0x7fffffff &&
                net_alloc(net, inputs, outputs, hidden + outputs, static_cast<int>(weights), 3);
    if (made) {
        net->outputKind = outputKind;
        net->layerSizes[0] = inputs;
        net->layerSizes[1] = hidden;
        net->layerSizes[2] = outputs;
        made = net_wire_layers(net);
    }
    if (!made) {
        net_destroy(net);
        delete net;
        return nullptr;
    }
    net_randomize(net);
    return net;
}

float* net_forward(NetGraph* net, const float* x)
{
    float* in = net->activations;
    if (net->normalization) {
        const float* mean = net->normalization;
        const float* scale = net->normalization + net->inputCount;
        for (int i = 0; i < net->inputCount; ++i)
            in[i] = (x[i] - mean[i]) * scale[i];
    } else {
        std::memcpy(in, x, sizeof(float) * net->inputCount);
    }
    bool softmax = net->outputKind == UNIT_EXPONENTIAL;
    int computed = softmax ? net->unitCount - net->outputCount : net->unitCount;
    for (int i = 0; i < computed; ++i)
        unit_forward(net->units[i]);
    if (softmax)
        softmax_outputs(net);
    return net->outputVector;
}

float net_normalize_outputs(NetGraph* net)
{
    double sum = 0.0;
    for (int j = 0; j < net->outputCount; ++j)
        sum += net->outputVector[j];
    if (sum != 0.0)
        for (int j = 0; j < net->outputCount; ++j)
            net->outputVector[j] = static_cast<float>(net->outputVector[j] / sum);
    return static_cast<float>(sum);
}

// E = 0.5 * sum_j (target_j - output_j)^2; the errors then reach the output
// units' deltas through their constant downstream weight 1.0.
float net_output_error(NetGraph* net, const float* target)
{
    double sum = 0.0;
    for (int j = 0; j < net->outputCount; ++j) {
        float e = target[j] - net->outputVector[j];
        net->outputErrors[j] = e;
        sum += static_cast<double>(e) * e;
    }
    for (int i = net->unitCount - 1; i >= net->unitCount - net->outputCount; --i)
        unit_backprop(net->units[i]);
    return static_cast<float>(0.5 * sum);
}

// Last to first, so every downstream delta is already the new one.
void net_backprop_hidden(NetGraph* net)
{
    for (int i = net->unitCount - net->outputCount - 1; i >= 0; --i)
        unit_backprop(net->units[i]);
}

void net_update(NetGraph* net, float rate)
{
    for (int i = net->unitCount - 1; i >= 0; --i)
        unit_update(net->units[i], rate);
}

float net_train_sample(NetGraph* net, const float* x, const float* target, float rate)
{
    net_forward(net, x);
    float error = net_output_error(net, target);
    net_backprop_hidden(net);
    net_update(net, rate);
    return error;
}

void net_save_weights(const NetGraph* net, float* buffer)
{
    std::memcpy(buffer, net->weights, sizeof(float) * net->weightCount);
    for (int i = 0; i < net->unitCount; ++i)
        buffer[net->weightCount + i] = net->units[i]->bias;
}

bool net_is_finite(const NetGraph* net)
{
    for (int w = 0; w < net->weightCount; ++w)
        if (!std::isfinite(net->weights[w]))
            return false;
    for (int i = 0; i < net->unitCount; ++i)
        if (!std::isfinite(net->units[i]->bias))
            return false;
    return true;
}

void net_restore_weights(NetGraph* net, const float* buffer)
{
    std::memcpy(net->weights, buffer, sizeof(float) * net->weightCount);
    for (int i = 0; i < net->unitCount; ++i)
        net->units[i]->bias = buffer[net->weightCount + i];
}

void net_destroy(NetGraph* net)
{
    if (net->units) {
        for (int i = 0; i < net->unitCount; ++i) {
            if (net->units[i])
                unit_destroy(net->units[i]);
            delete net->units[i];
        }
    }
    delete[] net->units;
    delete[] net->activations;
    delete[] net->deltas;
    delete[] net->weights;
    delete[] net->layerSizes;
    delete[] net->normalization;
    clear_record(net);
}
