// The layered feed-forward network that neurnet trains: records, row loading,
// the forward pass, the flat weight vector, random weights, testing and
// evaluation. Building from and writing to a document: network_document.h.
#ifndef NEURNET_NETWORK_H
#define NEURNET_NETWORK_H

#include <vector>

// One outgoing connection of a neuron.
struct Connection {
    int target;          // 0-based index of the target neuron in the next layer
    double weight;       // current weight
    double grad;         // gradient of the error summed over a batch
    double prev_weight;  // weight before the last online update (momentum)
};

struct Neuron {
    double out = 0.0;                    // output for the current row
    double deriv = 0.0;                  // out * (1 - out); 0 on the input layer
    double net = 0.0;                    // summed weighted input
    double delta = 0.0;                  // error term of the current row
    int n_out = 0;                       // number of outgoing connections
    std::vector<Connection> conns;       // n_out outgoing connections
};

struct Layer {
    int count = 0;                // neurons, bias unit included
    std::vector<Neuron> neurons;  // count neurons
};

struct Network {
    std::vector<Layer> layers;  // 0 (input) .. last (output)
    int last = 0;               // index of the output layer
    int full = 1;               // 1 fully connected, 0 sparse (targets listed)
    int bias = 0;               // 1 when the input layer's last neuron is a bias unit
    std::vector<double> sums;   // work: net sums of one layer, as long as the widest
};

void network_free(Network* network);

// Puts the row's features into the input layer (the bias unit outputs 0.5)
// and returns its label, the column after the features truncated toward 0
// (0 when it is no number an int can hold).
int load_row(Network* network, const double* row);

// Columns a database row must have for this network: features and label.
int row_columns(const Network* network);

// Logistic units on every layer but the input layer.
void forward_pass(Network* network);

// Weights in weight-vector order: layer by layer, neuron by neuron,
// connection by connection.
int weight_count(const Network* network);
void get_weight_vector(const Network* network, double* out);
void set_weight_vector(Network* network, const double* in);

// True when every weight is a finite number: a training that diverged
// leaves some that are not, and such a network is never saved.
bool weights_finite(const Network* network);

// New weights ((r mod 100) * 0.01 - 0.5) * 10 / sqrt(count) from the
// plug-in's 15-bit generator, for every layer below index `layers`.
void init_random_weights(std::vector<Layer>& layer_array, int layers);

// Hit ratio (0 over no rows) and summed squared error over the rows.
void test_network(Network* network, const double* const* rows, int count,
                  double* ratio, double* squaredError);

// Each row's K outputs and its truncated label into result rows of K + 1.
void evaluate_rows(Network* network, const double* const* rows, int count,
                   double* const* result);

#endif
