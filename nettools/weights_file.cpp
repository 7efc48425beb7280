// Weights files in their two forms. Header: input, output, unit, weight and
// layer counts, the hidden layer sizes (layered form), the weights-present
// flag and the output kind; the explicit form then lists every unit's
// connections as indexes; all weights and the biases close the file.
// The texts are made whole in memory, for nettrain to save them together.
#include <cstdarg>
#include <cstdio>

#include "nettools/net_files.h"

namespace {

// Appends what printf would print, formatted in place at the end of out.
void append(std::string* out, const char* format, ...)
{
    va_list args, measure;
    va_start(args, format);
    va_copy(measure, args);
    int length = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length > 0) {
        size_t at = out->size();
        out->resize(at + static_cast<size_t>(length) + 1);
        vsnprintf(&(*out)[at], static_cast<size_t>(length) + 1, format, args);
        out->resize(at + static_cast<size_t>(length));
    }
    va_end(args);
}

void write_header(const NetGraph* net, std::string* out, int layerCount)
{
    append(out, "%i\n%i\n%i\n%i\n%i\n", net->inputCount, net->outputCount, net->unitCount,
           net->weightCount, layerCount);
    for (int l = 1; l < layerCount - 1; ++l)
        append(out, "%i\n", net->layerSizes[l]);
    append(out, "%i\n%i\n", 1, static_cast<int>(net->outputKind));
}

// One line per unit: fan-in, fan-out, then (weight, activation) index pairs
// for the inputs and (weight, delta) index pairs downstream.
void write_connections(const NetGraph* net, std::string* out)
{
    for (int i = 0; i < net->unitCount; ++i) {
        const NetUnit* u = net->units[i];
        append(out, "%i %i ", u->fanIn, u->fanOut);
        for (int j = 0; j < u->fanIn; ++j)
            append(out, "%i %i ", static_cast<int>(u->inputWeights[j] - net->weights),
                   static_cast<int>(u->inputSlots[j] - net->activations));
        for (int k = 0; k < u->fanOut; ++k)
            append(out, "%i %i ", static_cast<int>(u->downstreamWeights[k] - net->weights),
                   static_cast<int>(u->downstreamDeltas[k] - net->deltas));
        out->push_back('\n');
    }
}

void write_values(const NetGraph* net, std::string* out)
{
    for (int w = 0; w < net->weightCount; ++w)
        append(out, "%f ", net->weights[w]);
    out->push_back('\n');
    for (int i = 0; i < net->unitCount; ++i)
        append(out, "%f ", net->units[i]->bias);
}

}  // namespace

std::string net_weights_text(const NetGraph* net, bool layered)
{
    std::string out;
    write_header(net, &out, layered ? net->layerCount : 0);
    if (!layered)
        write_connections(net, &out);
    write_values(net, &out);
    return out;
}

std::string class_frequencies_text(int classes, const int* counts)
{
    std::string out;
    long long total = 0;
    append(&out, "%i\n", classes);
    for (int c = 0; c < classes; ++c) {
        append(&out, "%i\n", counts[c]);
        total += counts[c];
    }
    append(&out, "%lli\n", total);
    return out;
}
