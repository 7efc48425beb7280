// Reading weights, normalisation and class-frequency files. Every count and
// index is checked before it is used, so that a damaged file is refused and
// nothing is read or written outside the record's arrays.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "nettools/data_file.h"
#include "nettools/net_files.h"
#include "nettools/text_numbers.h"
#include "nettools/token_reader.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Header items 1 to 5, the hidden sizes, the flag and the output kind.
struct WeightsHeader {
    int inputs, outputs, units, weights, layers;  // counts as written
    std::vector<int> sizes;                       // all layer sizes (layered form)
    int present;                                  // weights and biases follow when not 0
    int kind;                                     // output kind
};

int refuse(const std::string& path, const char* why)
{
    printf("Error in weightsfile %s: %s!\n", path.c_str(), why);
    return -2;
}

// Counts and sizes that agree with each other; the layered counts follow
// from the sizes.
const char* check_header(const WeightsHeader& h, long long bytes)
{
    if (h.inputs < 1 || h.outputs < 1 || h.units < h.outputs || h.weights < 1)
        return "bad counts";
    if (h.outputs > kMaxLabel)
        return "the output count must be from 1 to 500";
    if (h.layers == 1 || h.layers < 0)
        return "bad layer count";
    if (h.kind < 0 || h.kind >= static_cast<int>(UNIT_KIND_COUNT))
        return "the output kind must be 0 to 4";
    if (h.present != 0 && static_cast<long long>(h.weights) + h.units > bytes)
        return "fewer values than the counts require";
    // Without weights in the file, an explicit network's weights are still
    // named by the index pairs of its unit lines: no more than it has bytes.
    if (h.layers == 0 && h.weights > bytes)
        return "more weights than the file can describe";
    if (h.layers == 0)
        return h.units > bytes ? "fewer units than the counts require" : nullptr;
    long long weights = 1, units = 0;
    for (size_t l = 1; l < h.sizes.size(); ++l) {
        if (h.sizes[l] < 0)
            return "bad layer size";
        weights += static_cast<long long>(h.sizes[l - 1]) * h.sizes[l];
        units += h.sizes[l];
        if (weights > h.weights || units > h.units)
            break;
    }
    if (weights != h.weights || units != h.units)
        return "the counts do not agree with the layer sizes";
    return nullptr;
}

bool read_header(TokenReader& in, WeightsHeader* h)
{
    if (!(in.read_int(&h->inputs) && in.read_int(&h->outputs) && in.read_int(&h->units) &&
          in.read_int(&h->weights) && in.read_int(&h->layers)))
        return false;
    if (h->layers >= 2) {
        h->sizes.push_back(h->inputs);
        for (int l = 1; l < h->layers - 1; ++l) {
            int size = 0;
            if (!in.read_int(&size))
                return false;
            h->sizes.push_back(size);
        }
        h->sizes.push_back(h->outputs);
    }
    return in.read_int(&h->present) && in.read_int(&h->kind);
}

bool read_index(TokenReader& in, int limit, int* index)
{
    return in.read_int(index) && *index >= 0 && *index < limit;
}

// One unit line of the explicit form; false on a missing or bad number.
bool read_unit(TokenReader& in, NetGraph* net, int i, long long bytes)
{
    int fanIn = 0, fanOut = 0, w = 0, a = 0;
    if (!in.read_int(&fanIn) || !in.read_int(&fanOut) || fanIn < 0 || fanOut < 0 ||
        static_cast<long long>(fanIn) + fanOut > bytes)
        return false;
    UnitKind kind = i < net->unitCount - net->outputCount ? UNIT_SIGMOID : net->outputKind;
    NetUnit* u = new (std::nothrow) NetUnit();
    net->units[i] = u;
    if (!u || !unit_init(u, fanIn, fanOut, kind))
        return false;
    u->outputSlot = net->unitOutputs + i;
    u->deltaSlot = net->deltas + i;
    for (int j = 0; j < fanIn; ++j) {
        if (!read_index(in, net->weightCount, &w) ||
            !read_index(in, net->inputCount + net->unitCount, &a))
            return false;
        u->inputWeights[j] = net->weights + w;
        u->inputSlots[j] = net->activations + a;
    }
    for (int k = 0; k < fanOut; ++k) {
        if (!read_index(in, net->weightCount, &w) ||
            !read_index(in, net->unitCount + net->outputCount, &a))
            return false;
        u->downstreamWeights[k] = net->weights + w;
        u->downstreamDeltas[k] = net->deltas + a;
    }
    unit_mark_consecutive(u);
    return true;
}

bool read_values(TokenReader& in, NetGraph* net)
{
    for (int w = 0; w < net->weightCount; ++w)
        if (!in.read_float(&net->weights[w]))
            return false;
    for (int i = 0; i < net->unitCount; ++i)
        if (!in.read_float(&net->units[i]->bias))
            return false;
    return true;
}

// The random start of an explicit network also reaches the weights that no
// unit takes as an input; only the constant last weight keeps its 1.0.
void randomize_unused_weights(NetGraph* net)
{
    std::vector<char> used(static_cast<size_t>(net->weightCount), 0);
    used.back() = 1;
    for (int i = 0; i < net->unitCount; ++i)
        for (int j = 0; j < net->units[i]->fanIn; ++j)
            used[static_cast<size_t>(net->units[i]->inputWeights[j] - net->weights)] = 1;
    for (size_t w = 0; w < used.size(); ++w)
        if (!used[w])
            net->weights[w] = random_weight();
}

// Items after the header: the wiring, then the weights or a random start.
int read_body(TokenReader& in, NetGraph* net, const WeightsHeader& h, long long bytes,
              const std::string& path)
{
    if (h.layers != 0) {
        for (int l = 0; l < h.layers; ++l)
            net->layerSizes[l] = h.sizes[l];
        if (!net_wire_layers(net))
            return refuse(path, "not enough memory for the network");
    } else {
        for (int i = 0; i < net->unitCount; ++i) {
            if (!read_unit(in, net, i, bytes)) {
                char why[64];
                snprintf(why, sizeof why, "bad connections of unit %d", i);
                return refuse(path, why);
            }
        }
    }
    if (h.present == 0) {
        net_randomize(net);
        if (h.layers == 0)
            randomize_unused_weights(net);
    } else if (!read_values(in, net))
        return refuse(path, "too few or malformed weights and biases");
    return h.layers;
}

// The shape alone, for a caller that reports a network it cannot feed.
int keep_shape(NetGraph* net, const WeightsHeader& h, const std::string& path)
{
    net->inputCount = h.inputs;
    net->outputCount = h.outputs;
    net->outputKind = static_cast<UnitKind>(h.kind);
    if (h.layers != 0) {
        net->layerSizes = new (std::nothrow) int[h.sizes.size()];
        if (!net->layerSizes)
            return refuse(path, "not enough memory for the network");
        std::copy(h.sizes.begin(), h.sizes.end(), net->layerSizes);
        net->layerCount = h.layers;
    }
    return NET_READ_SHAPE_ONLY;
}

}  // namespace

int net_read(NetGraph* net, const std::string& path, int maxInputs)
{
    *net = NetGraph();
    std::string refusal;
    File f(open_input(path, &refusal));
    if (!f) {
        // Gone since the caller looked for it: said all the same.
        if (refusal.empty())
            return refuse(path, std::strerror(errno)), -1;
        return refuse(path, refusal.c_str());
    }
    long long bytes = file_size(f.get());
    TokenReader in(f.get());
    WeightsHeader h{};
    if (!read_header(in, &h))
        return refuse(path, "truncated or malformed header");
    if (const char* why = check_header(h, bytes))
        return refuse(path, why);
    if (h.inputs > maxInputs)
        return keep_shape(net, h, path);
    if (h.layers != 0) {
        std::string why = net_memory_refusal(net_layered_bytes(h.sizes.data(), h.layers));
        if (!why.empty())
            return refuse(path, why.c_str());
    }
    if (!net_alloc(net, h.inputs, h.outputs, h.units, h.weights, h.layers)) {
        net_destroy(net);
        return refuse(path, "not enough memory for the network");
    }
    net->outputKind = static_cast<UnitKind>(h.kind);
    int result = read_body(in, net, h, bytes, path);
    if (result < 0)
        net_destroy(net);
    return result;
}

int net_load(NetGraph* net, const std::string& path, const std::string& normPath,
             int maxInputs)
{
    int layers = net_read(net, path, maxInputs);
    if (layers >= 0 && !net_read_normalization(net, normPath)) {
        net_destroy(net);
        return -2;
    }
    return layers;
}
