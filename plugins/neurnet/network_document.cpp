// Reading the NEURNET element into network records, with the checks that
// keep a malformed document from building a network that reads or writes
// outside its arrays, and writing the trained weights back.
#include "plugins/neurnet/network_document.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "plugins/neurnet/attributes.h"
#include "scriptrun/messages.h"
#include "xml/finite_values.h"

namespace {

const char* const neurnet_path = "/feed-forward_neural_network/parameters/NEURNET";

// The number j of the element under the cursor when its "ID" is the decimal
// text of j + 1 with j below count (and, when name is given, the element is
// so named); -1 otherwise. IDs are matched as texts, as a look-up by ID
// matches them: "01" is not 1.
int id_index(XMLParser** element, const char* name, int count)
{
    if (name) {
        const char* actual = XMLgetActualElementName(element);
        if (!actual || std::strcmp(actual, name) != 0) return -1;
    }
    std::string id;
    int value = 0;
    if (!attribute_text(element, "ID", &id) || !read_whole_text(id.c_str(), &value) ||
        value < 1 || value > count || std::to_string(value) != id)
        return -1;
    return value - 1;
}

// Walks the children of the cursor's element once, in document order, and
// calls visit(j, element) with a cursor on the first child numbered j (see
// id_index), as a look-up by ID would find it; found[j] records which were
// met. The walk moves a cursor of its own, a copy of the caller's on the
// same document, so that visit may walk the children of its element in turn
// while this walk still resumes where it stood: every element is looked at
// a bounded number of times, whatever the width of a layer. False when
// visit returns false.
template <typename Visit>
bool walk_numbered(XMLParser** document, const char* name, std::vector<char>* found, Visit visit)
{
    if (!*document) return false;
    XMLParser cursor(**document);
    XMLParser* walk = &cursor;
    const int count = static_cast<int>(found->size());
    const int children = XMLgetNumofChildElements(&walk);
    for (int c = 1; c <= children; ++c) {
        if (XMLgotoChildElementWithNum(&walk, c) != c) return false;
        const int j = id_index(&walk, name, count);
        bool ok = true;
        if (j >= 0 && !(*found)[j]) {
            (*found)[j] = 1;
            ok = visit(j, &walk);
        }
        XMLchangeElementBack(&walk);
        if (!ok) return false;
    }
    return true;
}

// visit(i, j, element) for every neuron element of the layers below
// `layers`, layer and neuron elements found by their IDs. False at the first
// neuron that has no element (after a message) or when visit returns false.
template <typename Visit>
bool walk_neurons(const Network* network, XMLParser** document, int layers, Visit visit)
{
    if (!XMLchangeElement(document, neurnet_path)) return false;
    std::vector<char> found_layers(static_cast<size_t>(layers));
    return walk_numbered(document, "layer", &found_layers, [&](int i, XMLParser** layer) {
        std::vector<char> found(static_cast<size_t>(network->layers[i].count));
        if (!walk_numbered(layer, nullptr, &found,
                           [&](int j, XMLParser** neuron) { return visit(i, j, neuron); }))
            return false;
        for (size_t j = 0; j < found.size(); ++j)
            if (!found[j]) {
                print_message("NEURNET layer %d, neuron %d: there is no neuron element with "
                              "this ID\n", i + 1, static_cast<int>(j) + 1);
                return false;
            }
        return true;
    });
}

// A count ("num_of_layers", "NO"): a whole number from 0 up. False after a
// message naming the element, which where gives.
bool read_count(XMLParser** element, const char* name, const char* where, int* count)
{
    std::string text;
    if (!attribute_text(element, name, &text)) {
        print_message("%s: there is no \"%s\" attribute\n", where, name);
        return false;
    }
    if (!read_whole_text(text.c_str(), count) || *count < 0) {
        print_message("%s: \"%s\" (\"%s\") is not a whole number from 0 up\n", where, name,
                      text.c_str());
        return false;
    }
    return true;
}

// The "NO" of layer i, whose element is under the cursor; its neuron array
// allocated.
bool read_layer_size(Network* network, XMLParser** layer, int i)
{
    const std::string where = "NEURNET layer " + std::to_string(i + 1);
    int count = 0;
    if (!read_count(layer, "NO", where.c_str(), &count)) return false;
    print_message("number of neurons=%d\n", count);
    // Sizes are trusted only as far as the document holds elements for them.
    if (XMLgetNumofChildElements(layer) < count) {
        print_message("NEURNET layer %d: %d neurons, but the layer holds fewer neuron "
                      "elements\n", i + 1, count);
        return false;
    }
    network->layers[i].count = count;
    network->layers[i].neurons.resize(count);
    if (network->sums.size() < static_cast<size_t>(count)) network->sums.resize(count);
    return true;
}

// The network's shape: the bias unit, the layer count, each layer's size and
// whether connections are full or listed per neuron.
bool read_layers(Network* network, XMLParser** document)
{
    if (!XMLchangeElement(document, neurnet_path)) {
        print_message("there is no NEURNET element under \"parameters\"\n");
        return false;
    }
    network->bias = XMLhasAttr(document, "bias", "yes") ? 1 : 0;
    int layers = 0;
    if (!read_count(document, "num_of_layers", "NEURNET", &layers)) return false;
    print_message("number of layers:%d\n", layers);
    if (layers == 0) {
        print_message("NEURNET: the network has no layer\n");
        return false;
    }
    if (XMLgetNumofChildElements(document) < layers) {
        print_message("NEURNET: %d layers, but the element holds fewer layer elements\n", layers);
        return false;
    }
    network->last = layers - 1;
    std::string type;
    network->full = attribute_text(document, "type", &type) && type.compare(0, 4, "spar") == 0
                        ? 0 : 1;
    network->layers.resize(layers);
    std::vector<char> found(static_cast<size_t>(layers));
    if (!walk_numbered(document, "layer", &found, [&](int i, XMLParser** layer) {
            return read_layer_size(network, layer, i);
        }))
        return false;
    for (int i = 0; i < layers; ++i)
        if (!found[i]) {
            print_message("NEURNET layer %d: there is no layer element with this ID\n", i + 1);
            return false;
        }
    if (network->layers[0].count < network->bias) {
        print_message("NEURNET layer 1: the input layer has no neuron for the bias unit\n");
        return false;
    }
    return true;
}

// The neuron's "out_weights", every item a finite number.
bool read_weights(XMLParser** document, int i, int j, std::vector<double>* weights)
{
    int position = 0;
    std::string item;
    const NumberRead read = attribute_reals(document, "out_weights", weights, &position, &item);
    if (read == NumberRead::absent)
        print_message("NEURNET layer %d, neuron %d: there is no \"out_weights\" attribute\n",
                      i + 1, j + 1);
    else if (read == NumberRead::not_a_number)
        print_message("NEURNET layer %d, neuron %d: item %d of \"out_weights\" (\"%s\") is not a "
                      "finite number\n", i + 1, j + 1, position, item.c_str());
    return read == NumberRead::read;
}

// A sparse neuron's "out_connect": one whole number per weight.
bool read_targets(XMLParser** document, int i, int j, int n_out, std::vector<int>* targets)
{
    int position = 0;
    std::string item;
    const NumberRead read = attribute_ints(document, "out_connect", targets, &position, &item);
    if (read == NumberRead::not_a_number) {
        print_message("NEURNET layer %d, neuron %d: item %d of \"out_connect\" (\"%s\") is not "
                      "a neuron index\n", i + 1, j + 1, position, item.c_str());
        return false;
    }
    if (read == NumberRead::absent || static_cast<int>(targets->size()) != n_out) {
        print_message("NEURNET layer %d, neuron %d: \"out_connect\" does not list one target "
                      "per weight\n", i + 1, j + 1);
        return false;
    }
    return true;
}

// In a full network every neuron of a layer has one weight per neuron of
// the next layer, in order: all of the output layer's; of an inner layer
// all but its last, the bias unit that no connection enters, or all of them
// in a network without such units, the same for every neuron of the layer.
// *width is the layer's count so far (-1 before its first neuron).
bool full_width_fits(const Network* network, int i, int j, int n_out, int* width)
{
    const int next = network->layers[i + 1].count;
    const bool inner = i + 1 < network->last;
    if (*width >= 0 ? n_out == *width : n_out == next || (inner && n_out == next - 1)) {
        *width = n_out;
        return true;
    }
    if (*width >= 0)
        print_message("NEURNET layer %d, neuron %d: %d weights, where the layer's other neurons "
                      "have %d\n", i + 1, j + 1, n_out, *width);
    else if (inner)
        print_message("NEURNET layer %d, neuron %d: %d weights; a full network has %d (the next "
                      "layer's bias unit left out) or %d\n", i + 1, j + 1, n_out, next - 1, next);
    else
        print_message("NEURNET layer %d, neuron %d: %d weights; a full network has one per "
                      "neuron of the next layer, %d\n", i + 1, j + 1, n_out, next);
    return false;
}

// One neuron's outgoing connections; false (after a message) when they are
// no numbers or do not fit the next layer.
bool read_connections(Network* network, XMLParser** document, int i, int j, int* width)
{
    const int next = network->layers[i + 1].count;
    std::vector<double> weights;
    if (!read_weights(document, i, j, &weights)) return false;
    const int n_out = static_cast<int>(weights.size());
    std::vector<int> targets;
    if (network->full) {
        if (!full_width_fits(network, i, j, n_out, width)) return false;
        for (int k = 0; k < n_out; ++k) targets.push_back(k);
    } else if (!read_targets(document, i, j, n_out, &targets)) {
        return false;
    }
    Neuron& neuron = network->layers[i].neurons[j];
    neuron.n_out = n_out;
    neuron.conns.resize(n_out);
    for (int k = 0; k < n_out; ++k) {
        if (targets[k] < 0 || targets[k] >= next) {
            print_message("NEURNET layer %d, neuron %d: target %d is outside the next layer\n",
                          i + 1, j + 1, targets[k]);
            return false;
        }
        neuron.conns[k] = Connection{targets[k], weights[k], 0.0, weights[k]};
    }
    return true;
}

// The connections: every neuron element present, those below the output
// layer with weights (and, sparse, targets) that fit the next layer.
bool read_neurons(Network* network, XMLParser** document)
{
    std::vector<int> widths(network->layers.size(), -1);
    return walk_neurons(network, document, network->last + 1,
                        [&](int i, int j, XMLParser** neuron) {
                            return i == network->last ||
                                   read_connections(network, neuron, i, j, &widths[i]);
                        });
}

// The random start: a fresh init file asks for random weights once.
void apply_init_weights(Network* network, XMLParser** document)
{
    if (!XMLchangeElement(document, "/feed-forward_neural_network/initial_settings/general"))
        return;
    std::string value;
    if (!attribute_text(document, "init_weights", &value) || value.empty() || value[0] != 'y')
        return;
    init_random_weights(network->layers, network->last);
    XMLchangeOrAddAttribute(document, "init_weights", "no");
}

}  // namespace

int network_from_xml(Network** out, XMLParser** document)
{
    Network* network = nullptr;
    try {
        network = new Network();
        if (!read_layers(network, document) || !read_neurons(network, document)) {
            network_free(network);
            return 0;
        }
    } catch (const std::bad_alloc&) {
        network_free(network);
        print_message("out of memory\n");
        return 0;
    }
    apply_init_weights(network, document);
    *out = network;
    return 1;
}

// " %f" per weight, or " %d" per target.
static std::string weight_text(const Neuron& neuron, bool targets)
{
    std::string text;
    char item[400];
    for (const Connection& c : neuron.conns) {
        if (targets)
            std::snprintf(item, sizeof item, " %d", c.target);
        else
            std::snprintf(item, sizeof item, " %f", c.weight);
        text += item;
    }
    return text;
}

int write_weights_to_xml(const Network* network, const char* fileName, XMLParser** document)
{
    print_message("writing out weights, ");
    try {
        walk_neurons(network, document, network->last, [&](int i, int j, XMLParser** element) {
            const Neuron& neuron = network->layers[i].neurons[j];
            XMLchangeOrAddAttribute(element, "out_weights", weight_text(neuron, false).c_str());
            if (!network->full)
                XMLchangeOrAddAttribute(element, "out_connect", weight_text(neuron, true).c_str());
            return true;
        });
    } catch (const std::bad_alloc&) {
        print_message("out of memory\n");
        return 0;
    }
    if (!XMLsave(document, fileName)) {
        print_message("Could not write the output xml file\n");
        return 0;
    }
    print_message("weights are written out.\n");
    return 1;
}
