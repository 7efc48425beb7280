// Init file layout: history, initial_settings (general and the learning
// races with their processes) and parameters (the NEURNET network).
#include "plugins/neurnet/init_file.h"

#include <cmath>
#include <cstring>

#include "plugins/neurnet/attributes.h"
#include "scriptrun/messages.h"

namespace {

const char* const root_path = "/feed-forward_neural_network";
const char* const learning_set_path = "/feed-forward_neural_network/initial_settings/learning_set";

// Adds a child to the element at path and moves the cursor onto it.
void add_child(XMLParser** document, const char* path, const char* name)
{
    XMLchangeElement(document, path);
    XMLaddChildElement(document, name);
    XMLgotoChildElementWithNum(document, XMLgetNumofChildElements(document));
}

void set_attributes(XMLParser** document, const std::vector<const char*>& pairs)
{
    for (size_t k = 0; k + 1 < pairs.size(); k += 2)
        XMLchangeOrAddAttribute(document, pairs[k], pairs[k + 1]);
}

void write_settings(XMLParser** document)
{
    const std::string settings = std::string(root_path) + "/initial_settings";
    add_child(document, settings.c_str(), "general");
    set_attributes(document, {"init_weights", "yes", "normalization_method", "no",
                              "test_on_learn_database", "yes", "test_database_ratio", "0.3"});
    add_child(document, settings.c_str(), "learning_set");
    add_child(document, learning_set_path, "learning");
    set_attributes(document, {"break_if_test_ratio", "1.00", "max_iter_num", "5000",
                              "error_function", "cross entropy",
                              "auto_test_after_learning", "yes"});
    const std::string race = std::string(learning_set_path) + "/learning";
    add_child(document, race.c_str(), "back_propagation");
    set_attributes(document, {"learning_rate", "0.3", "momentum_factor", "0.0",
                              "error_level", "0.05"});
    add_child(document, race.c_str(), "lbfgs_mx_repr");
    set_attributes(document, {"m", "7", "alpha0", "1", "alpha_multiplier", "0.4",
                              "num_of_max_iter", "4", "max_jump", "4", "error_level", "0.005"});
}

// One "0" per neuron of the next layer (its bias unit not counted).
std::string zero_weights(int next_size)
{
    std::string text;
    text.reserve(2 * static_cast<size_t>(next_size));
    for (int k = 0; k < next_size; ++k) text += k ? " 0" : "0";
    return text;
}

void write_layer(XMLParser** document, const std::vector<int>& sizes, size_t i)
{
    const std::string net = std::string(root_path) + "/parameters/NEURNET";
    const bool output = i + 1 == sizes.size();
    add_child(document, net.c_str(), "layer");
    XMLchangeOrAddIntAttribute(document, "ID", static_cast<int>(i) + 1);
    const int count = output ? sizes[i] : sizes[i] + 1;
    XMLchangeOrAddIntAttribute(document, "NO", count);
    XMLchangeOrAddAttribute(document, "type", i == 0 ? "input" : output ? "output" : "inner");
    const std::string weights = output ? std::string() : zero_weights(sizes[i + 1]);
    for (int j = 1; j <= count; ++j) {
        XMLaddChildElement(document, "neuron");
        XMLgotoChildElementWithNum(document, j);
        XMLchangeOrAddIntAttribute(document, "ID", j);
        XMLchangeOrAddAttribute(document, "nonlinearity", i == 0 ? "no" : "sigmoid");
        if (!output) XMLchangeOrAddAttribute(document, "out_weights", weights.c_str());
        XMLchangeElementBack(document);
    }
}

void write_network(XMLParser** document, const std::vector<int>& sizes)
{
    add_child(document, (std::string(root_path) + "/parameters").c_str(), "NEURNET");
    XMLchangeOrAddIntAttribute(document, "num_of_layers", static_cast<int>(sizes.size()));
    std::string layer_inf;
    for (size_t i = 0; i < sizes.size(); ++i)
        layer_inf += (i ? " " : "") + std::to_string(sizes[i]);
    set_attributes(document, {"layer_inf", layer_inf.c_str(), "type", "full", "bias", "yes",
                              "nonlinearity", "sigmoid"});
    for (size_t i = 0; i < sizes.size(); ++i) write_layer(document, sizes, i);
}

}  // namespace

bool write_init_file(const std::vector<int>& sizes, const char* fileName)
{
    XMLParser* document = nullptr;
    XMLcreateNewDoc(&document, "feed-forward_neural_network");
    XMLchangeElement(&document, root_path);
    for (const char* name : {"history", "initial_settings", "parameters"})
        XMLaddChildElement(&document, name);
    add_child(&document, (std::string(root_path) + "/history").c_str(), "item");
    XMLchangeOrAddAttribute(&document, "creation_time", time_text().c_str());
    write_settings(&document);
    write_network(&document, sizes);
    const bool saved = XMLsave(&document, fileName) != 0;
    if (!saved) print_message("could not save the init. XML file\n");
    XMLclose(&document);
    return saved;
}
