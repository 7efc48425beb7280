// Units: the five activation kinds with their deltas, and the per-unit steps
// of the forward pass, back-propagation and the weight update.
#include <cmath>
#include <new>

#include "nettools/net_graph.h"
#include "support/random.h"

namespace {

// x: net input; a: the unit's output; s: the back-propagated sum.
void sigmoid_activate(NetUnit* u, double x) { *u->outputSlot = static_cast<float>(1.0 / (1.0 + std::exp(-x))); }
void sigmoid_derive(NetUnit* u, double s)
{
    double a = *u->outputSlot;
    *u->deltaSlot = static_cast<float>(a * (1.0 - a) * s);
}

void exponential_activate(NetUnit* u, double x) { *u->outputSlot = static_cast<float>(std::exp(x)); }
void linear_activate(NetUnit* u, double x) { *u->outputSlot = static_cast<float>(x); }
void plain_derive(NetUnit* u, double s) { *u->deltaSlot = static_cast<float>(s); }

void tanh_activate(NetUnit* u, double x) { *u->outputSlot = static_cast<float>(2.0 / (1.0 + std::exp(-2.0 * x)) - 1.0); }
void tanh_derive(NetUnit* u, double s)
{
    double a = *u->outputSlot;
    *u->deltaSlot = static_cast<float>((1.0 - a * a) * s);
}

// NaN fails both comparisons, so it lands on 0 with the negative inputs.
void clamp_activate(NetUnit* u, double x)
{
    double a = x > 1.0 ? 1.0 : (x >= 0.0 ? x : 0.0);
    *u->outputSlot = static_cast<float>(a);
}
void clamp_derive(NetUnit* u, double s)
{
    double a = *u->outputSlot;
    *u->deltaSlot = static_cast<float>(a < 0.0 ? 0.0 : (a <= 1.0 ? s * a : s));
}

struct KindEntry {
    UnitActivate activate;  // a(x)
    UnitDerive derive;      // delta(a, s)
    float rateFactor;       // learning-rate factor
    const char* name;       // printed for an output layer of this kind
};

const KindEntry kinds[UNIT_KIND_COUNT] = {
    {sigmoid_activate, sigmoid_derive, 1.0f, "Sigmoid"},
    {exponential_activate, plain_derive, 0.13f, "Softmax"},
    {linear_activate, plain_derive, 0.1f, "Linear"},
    {tanh_activate, tanh_derive, 0.5f, "Linear"},
    {clamp_activate, clamp_derive, 1.01f, "Linear"},
};

}  // namespace

float random_weight()
{
    return static_cast<float>(random15() * 0.1 * (1.0 / 32767) - 0.05);
}

int unit_init(NetUnit* unit, int fanIn, int fanOut, UnitKind kind)
{
    const KindEntry& k = kinds[kind < UNIT_KIND_COUNT ? kind : UNIT_SIGMOID];
    unit->fanIn = fanIn;
    unit->fanOut = fanOut;
    unit->kind = kind;
    unit->activate = k.activate;
    unit->derive = k.derive;
    unit->rateFactor = k.rateFactor;
    unit->bias = 0.0f;
    unit->consecutive = false;
    unit->outputSlot = unit->deltaSlot = nullptr;
    unit->inputSlots = new (std::nothrow) float*[fanIn > 0 ? fanIn : 1];
    unit->inputWeights = new (std::nothrow) float*[fanIn > 0 ? fanIn : 1];
    unit->downstreamDeltas = new (std::nothrow) float*[fanOut > 0 ? fanOut : 1];
    unit->downstreamWeights = new (std::nothrow) float*[fanOut > 0 ? fanOut : 1];
    return unit->inputSlots && unit->inputWeights && unit->downstreamDeltas &&
           unit->downstreamWeights;
}

void unit_destroy(NetUnit* unit)
{
    delete[] unit->inputSlots;
    delete[] unit->inputWeights;
    delete[] unit->downstreamDeltas;
    delete[] unit->downstreamWeights;
    unit->inputSlots = unit->inputWeights = unit->downstreamDeltas = unit->downstreamWeights =
        nullptr;
}

const char* output_kind_name(UnitKind kind)
{
    return kind < UNIT_KIND_COUNT ? kinds[kind].name : "Linear";
}

void unit_set_weights(NetUnit* unit, const double* q)
{
    for (int j = 0; j < unit->fanIn; ++j)
        *unit->inputWeights[j] = static_cast<float>(q[j]);
    unit->bias = static_cast<float>(q[unit->fanIn]);
}

void unit_get_inputs(const NetUnit* unit, double* q)
{
    for (int j = 0; j < unit->fanIn; ++j)
        q[j] = *unit->inputSlots[j];
}

void unit_mark_consecutive(NetUnit* unit)
{
    bool consecutive = true;
    for (int j = 1; j < unit->fanIn && consecutive; ++j)
        consecutive = unit->inputWeights[j] == unit->inputWeights[0] + j &&
                      unit->inputSlots[j] == unit->inputSlots[0] + j;
    unit->consecutive = consecutive;
}

// net input = bias + sum_j w_j a_j, summed in double from the bias. Over
// consecutive arrays four partial sums run side by side, so that the adds
// do not wait on each other.
double unit_net_input(const NetUnit* unit)
{
    double sum = unit->bias;
    int n = unit->fanIn;
    if (unit->consecutive && n > 0) {
        const float* w = unit->inputWeights[0];
        const float* a = unit->inputSlots[0];
        double part[4] = {sum, 0.0, 0.0, 0.0};
        int j = 0;
        for (; j + 4 <= n; j += 4)
            for (int k = 0; k < 4; ++k)
                part[k] += static_cast<double>(w[j + k]) * a[j + k];
        for (; j < n; ++j)
            part[0] += static_cast<double>(w[j]) * a[j];
        sum = (part[0] + part[1]) + (part[2] + part[3]);
    } else {
        for (int j = 0; j < n; ++j)
            sum += static_cast<double>(*unit->inputWeights[j]) * *unit->inputSlots[j];
    }
    return sum;
}

void unit_forward(NetUnit* unit)
{
    unit->activate(unit, unit_net_input(unit));
}

// s = sum_k (downstream weight k) * (downstream delta k).
void unit_backprop(NetUnit* unit)
{
    double sum = 0.0;
    for (int k = 0; k < unit->fanOut; ++k)
        sum += static_cast<double>(*unit->downstreamWeights[k]) * *unit->downstreamDeltas[k];
    unit->derive(unit, sum);
}

// w_j += f * (a_j * delta) and bias += f * delta, f = rate * rateFactor.
void unit_update(NetUnit* unit, float rate)
{
    float f = rate * unit->rateFactor;
    float delta = *unit->deltaSlot;
    int n = unit->fanIn;
    if (unit->consecutive && n > 0) {
        float* w = unit->inputWeights[0];
        const float* a = unit->inputSlots[0];
        for (int j = 0; j < n; ++j)
            w[j] += f * (a[j] * delta);
    } else {
        for (int j = 0; j < n; ++j)
            *unit->inputWeights[j] += f * (*unit->inputSlots[j] * delta);
    }
    unit->bias += f * delta;
}

void unit_randomize(NetUnit* unit)
{
    for (int j = 0; j < unit->fanIn; ++j)
        *unit->inputWeights[j] = random_weight();
    unit->bias = random_weight();
}
