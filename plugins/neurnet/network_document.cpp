// Reading the NEURNET element into network records, with the checks that
// keep a malformed document from building a network that reads or writes
// outside its arrays, and writing the trained weights back.
#include "plugins/neurnet/network_document.h"

#include <cstdio>
#include <new>
#include <string>

#include "plugins/neurnet/attributes.h"
#include "scriptrun/messages.h"

namespace {

const char* const neurnet_path = "/feed-forward_neural_network/parameters/NEURNET";

// Layer and neuron elements are found through their "ID" attributes.
bool select_layer(XMLParser** document, int layer)
{
    const std::string id = std::to_string(layer + 1);
    return XMLchangeElementWithAttribute(document, (std::string(neurnet_path) + "/layer").c_str(),
                                         "ID", id.c_str()) != 0;
}

bool select_neuron(XMLParser** document, int layer, int neuron)
{
    char path[200];
    std::snprintf(path, sizeof path, "%s%d%s%d", (std::string(neurnet_path) + "/").c_str(),
                  layer + 1, "/", neuron + 1);
    return XMLchangeElement(document, path) != 0;
}

[[noreturn]] void invalid_network()
{
    fatal_message("\nThe NEURNET is not valid\n");
}

// A count attribute read as an integer (absent: -1). Text that is no
// finite number makes the file inconsistent: false after a message naming
// the element, which the caller gives in where.
bool read_count(XMLParser** document, const char* name, const char* where, int* count)
{
    double value = 0.0;
    std::string text;
    if (attribute_real(document, name, &value, &text) == NumberRead::not_a_number) {
        print_message("%s: \"%s\" (\"%s\") is not a number\n", where, name, text.c_str());
        return false;
    }
    *count = XMLgetAttrIntValue(document, name, -1);
    return true;
}

// The "NO" of layer i; its neuron array allocated.
bool read_layer_size(Network* network, XMLParser** document, int i)
{
    if (!select_layer(document, i)) {
        print_message("NEURNET layer %d: there is no layer element with this ID\n", i + 1);
        return false;
    }
    const std::string where = "NEURNET layer " + std::to_string(i + 1);
    int count = -1;
    if (!read_count(document, "NO", where.c_str(), &count)) return false;
    if (count < 0) invalid_network();
    print_message("number of neurons=%d\n", count);
    if (XMLgetNumofChildElements(document) < count) {
        print_message("NEURNET layer %d: %d neurons, but the layer holds fewer neuron "
                      "elements\n", i + 1, count);
        return false;
    }
    network->layers[i].count = count;
    network->layers[i].neurons.resize(count);
    if (network->sums.size() < static_cast<size_t>(count)) network->sums.resize(count);
    return true;
}

// Steps 1 to 4: bias, layer count and sizes, connection kind.
bool read_layers(Network* network, XMLParser** document)
{
    const bool found = XMLchangeElement(document, neurnet_path) != 0;
    network->bias = found && XMLhasAttr(document, "bias", "yes") ? 1 : 0;
    int layers = -1;
    if (found && !read_count(document, "num_of_layers", "NEURNET", &layers)) return false;
    print_message("number of layers:%d\n", layers);
    if (layers < 0) invalid_network();
    if (layers == 0) {
        print_message("NEURNET: the network has no layer\n");
        return false;
    }
    // Sizes are trusted only as far as the document holds elements for them.
    if (XMLgetNumofChildElements(document) < layers) {
        print_message("NEURNET: %d layers, but the element holds fewer layer elements\n", layers);
        return false;
    }
    network->last = layers - 1;
    std::string type;
    network->full = attribute_text(document, "type", &type) && type.compare(0, 4, "spar") == 0
                        ? 0 : 1;
    network->layers.resize(layers);
    for (int i = 0; i < layers; ++i)
        if (!read_layer_size(network, document, i)) return false;
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

// One neuron's outgoing connections; false (after a message) when they are
// no numbers or do not fit the next layer.
bool read_connections(Network* network, XMLParser** document, int i, int j)
{
    const int next = network->layers[i + 1].count;
    std::vector<double> weights;
    if (!read_weights(document, i, j, &weights)) return false;
    const int n_out = static_cast<int>(weights.size());
    std::vector<int> targets;
    if (network->full) {
        if (n_out > next) {
            print_message("NEURNET layer %d, neuron %d: %d weights for a next layer of %d "
                          "neurons\n", i + 1, j + 1, n_out, next);
            return false;
        }
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

// Step 5: every neuron element present, those below the output layer with
// connections that fit.
bool read_neurons(Network* network, XMLParser** document)
{
    for (int i = 0; i <= network->last; ++i)
        for (int j = 0; j < network->layers[i].count; ++j) {
            if (!select_neuron(document, i, j)) {
                print_message("NEURNET layer %d, neuron %d: there is no neuron element with "
                              "this ID\n", i + 1, j + 1);
                return false;
            }
            if (i < network->last && !read_connections(network, document, i, j)) return false;
        }
    return true;
}

// Step 6: a fresh init file asks for random weights once.
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
        for (int i = 0; i < network->last; ++i)
            for (int j = 0; j < network->layers[i].count; ++j) {
                if (!select_neuron(document, i, j)) continue;
                const Neuron& neuron = network->layers[i].neurons[j];
                XMLchangeOrAddAttribute(document, "out_weights", weight_text(neuron, false).c_str());
                if (!network->full)
                    XMLchangeOrAddAttribute(document, "out_connect",
                                            weight_text(neuron, true).c_str());
            }
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
