// Weights files in their two forms. Header: input, output, unit, weight and
// layer counts, the hidden layer sizes (layered form), the weights-present
// flag and the output kind; the explicit form then lists every unit's
// connections as indexes; all weights and the biases close the file.
#include <cstdio>

#include "nettools/net_files.h"

namespace {

void write_header(const NetGraph* net, FILE* f, int layerCount)
{
    fprintf(f, "%i\n%i\n%i\n%i\n%i\n", net->inputCount, net->outputCount, net->unitCount,
            net->weightCount, layerCount);
    for (int l = 1; l < layerCount - 1; ++l)
        fprintf(f, "%i\n", net->layerSizes[l]);
    fprintf(f, "%i\n%i\n", 1, static_cast<int>(net->outputKind));
}

// One line per unit: fan-in, fan-out, then (weight, activation) index pairs
// for the inputs and (weight, delta) index pairs downstream.
void write_connections(const NetGraph* net, FILE* f)
{
    for (int i = 0; i < net->unitCount; ++i) {
        const NetUnit* u = net->units[i];
        fprintf(f, "%i %i ", u->fanIn, u->fanOut);
        for (int j = 0; j < u->fanIn; ++j)
            fprintf(f, "%i %i ", static_cast<int>(u->inputWeights[j] - net->weights),
                    static_cast<int>(u->inputSlots[j] - net->activations));
        for (int k = 0; k < u->fanOut; ++k)
            fprintf(f, "%i %i ", static_cast<int>(u->downstreamWeights[k] - net->weights),
                    static_cast<int>(u->downstreamDeltas[k] - net->deltas));
        fprintf(f, "\n");
    }
}

void write_values(const NetGraph* net, FILE* f)
{
    for (int w = 0; w < net->weightCount; ++w)
        fprintf(f, "%f ", net->weights[w]);
    fprintf(f, "\n");
    for (int i = 0; i < net->unitCount; ++i)
        fprintf(f, "%f ", net->units[i]->bias);
}

int write_form(const NetGraph* net, const std::string& path, bool layered)
{
    FILE* f = fopen(path.c_str(), "w");
    if (!f)
        return 1;
    write_header(net, f, layered ? net->layerCount : 0);
    if (!layered)
        write_connections(net, f);
    write_values(net, f);
    bool failed = ferror(f) != 0;
    return (fclose(f) != 0 || failed) ? 1 : 0;
}

}  // namespace

int net_write_layered(const NetGraph* net, const std::string& path)
{
    return write_form(net, path, true);
}

int net_write_explicit(const NetGraph* net, const std::string& path)
{
    return write_form(net, path, false);
}

int write_class_frequencies(const std::string& path, int classes, const int* counts)
{
    FILE* f = fopen(path.c_str(), "w");
    if (!f)
        return 1;
    long long total = 0;
    fprintf(f, "%i\n", classes);
    for (int c = 0; c < classes; ++c) {
        fprintf(f, "%i\n", counts[c]);
        total += counts[c];
    }
    fprintf(f, "%lli\n", total);
    bool failed = ferror(f) != 0;
    return (fclose(f) != 0 || failed) ? 1 : 0;
}
