// The feed-forward network shared by nettrain and nettest: units wired to
// each other through pointers into the flat arrays of one record.
#ifndef NETTOOLS_NET_GRAPH_H
#define NETTOOLS_NET_GRAPH_H

#include <cstdint>
#include <string>

// Activation kind of a unit; hidden units are always UNIT_SIGMOID.
enum UnitKind : uint32_t {
    UNIT_SIGMOID = 0,      // 1 / (1 + e^-x)
    UNIT_EXPONENTIAL = 1,  // e^x, the output layer then divided by its sum
    UNIT_LINEAR = 2,       // x
    UNIT_TANH = 3,         // 2 / (1 + e^-2x) - 1
    UNIT_CLAMP = 4         // x limited to [0, 1], 0 for NaN
};
constexpr uint32_t UNIT_KIND_COUNT = 5;

struct NetUnit;
typedef void (*UnitActivate)(NetUnit* unit, double netInput);
typedef void (*UnitDerive)(NetUnit* unit, double backSum);

struct NetUnit {
    int fanIn;                   // number of inputs
    int fanOut;                  // downstream connections (1 for an output unit)
    float rateFactor;            // learning-rate factor of the kind
    float* outputSlot;           // the unit's entry in unitOutputs
    float* deltaSlot;            // the unit's entry in deltas
    float** inputSlots;          // [fanIn] activations that feed the unit
    float** downstreamDeltas;    // [fanOut] deltas of the units it feeds
    float** inputWeights;        // [fanIn] weight of each input
    float** downstreamWeights;   // [fanOut] the weights downstream units use for it
    float bias;                  // added to the net input
    UnitKind kind;               // activation kind
    UnitActivate activate;       // output from the net input, into outputSlot
    UnitDerive derive;           // delta from the back-propagated sum, into deltaSlot
    // Set when inputWeights and inputSlots each point at consecutive floats,
    // as in every layered network: the passes then walk the arrays directly.
    bool consecutive;
};

struct NetGraph {
    int unitCount;          // hidden plus output units (inputs are no units)
    NetUnit** units;        // [unitCount] evaluation order; outputs are the last outputCount
    int inputCount;         // length of an input vector
    int outputCount;        // number of output units
    int weightCount;        // length of weights; the last is the constant 1.0
    int layerCount;         // 3 when created, L from a layered file, 0 when explicit
    UnitKind outputKind;    // kind of the output units
    int* layerSizes;        // [layerCount] units per layer, inputs first; null when 0
    float* activations;     // [inputCount + unitCount] inputs, then unit outputs
    float* outputVector;    // activations + inputCount + unitCount - outputCount
    float* outputErrors;    // deltas + unitCount: target minus output per output unit
    float* weights;         // [weightCount] all connection weights
    float* deltas;          // [unitCount + outputCount] unit deltas, then output errors
    float* unitOutputs;     // activations + inputCount
    float* normalization;   // [2 * inputCount] means, then 1/scale (0 for scale 0); or null
};

// Units.
// Sets counts, kind, functions and rate factor, and allocates the four
// pointer arrays; returns 0 when memory runs out (arrays then null).
int unit_init(NetUnit* unit, int fanIn, int fanOut, UnitKind kind);
void unit_destroy(NetUnit* unit);
void unit_set_weights(NetUnit* unit, const double* q);
void unit_get_inputs(const NetUnit* unit, double* q);
void unit_mark_consecutive(NetUnit* unit);
// bias + sum_j w_j a_j, summed in double.
double unit_net_input(const NetUnit* unit);
void unit_forward(NetUnit* unit);
void unit_backprop(NetUnit* unit);
void unit_update(NetUnit* unit, float rate);
void unit_randomize(NetUnit* unit);
// One draw of the 15-bit generator scaled to [-0.05, 0.05].
float random_weight();
const char* output_kind_name(UnitKind kind);

// The record. net_alloc returns 0 when memory runs out or a count is
// negative; the record is then safe to pass to net_destroy.
int net_alloc(NetGraph* net, int inputs, int outputs, int units, int weightCount, int layerCount);
// Bytes a layered network of these sizes (inputs first) takes once built:
// its weights, activations and deltas, the unit records and the pointer
// arrays of every unit (two per input, two per downstream connection).
double net_layered_bytes(const int* sizes, int layers);
// Empty when a network of this many bytes fits the machine's physical
// memory (or that is unknown); otherwise "the network needs N bytes, more
// than the M bytes of physical memory". Checked before anything is built:
// a file of a few bytes can claim a network larger than the machine.
std::string net_memory_refusal(double bytes);
int net_wire_layers(NetGraph* net);
void net_randomize(NetGraph* net);
NetGraph* net_create(int inputs, int hidden, int outputs, UnitKind outputKind);
float* net_forward(NetGraph* net, const float* x);
float net_normalize_outputs(NetGraph* net);
float net_output_error(NetGraph* net, const float* target);
void net_backprop_hidden(NetGraph* net);
void net_update(NetGraph* net, float rate);
float net_train_sample(NetGraph* net, const float* x, const float* target, float rate);
void net_save_weights(const NetGraph* net, float* buffer);
// True when every weight and bias is a finite number.
bool net_is_finite(const NetGraph* net);
void net_restore_weights(NetGraph* net, const float* buffer);
void net_destroy(NetGraph* net);

#endif
