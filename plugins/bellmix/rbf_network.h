// RbfNetwork: a radial-basis-function network whose hidden units are the
// components of every class's mixture (unweighted densities) and whose C
// outputs are weighted sums of them, without bias; and its two weight fits.
#ifndef BELLMIX_RBF_NETWORK_H
#define BELLMIX_RBF_NETWORK_H

#include <vector>

#include "plugins/bellmix/mixture_model.h"
#include "scriptrun/plugin_api.h"

class RbfNetwork {
public:
    // C mixtures of numOfMix components each; weights start at 0.
    RbfNetwork(int dimension, int numOfClasses, int numOfMix, int diagonal);
    // Mixtures 1 .. C from MIXTURE 1 .. C, then the "RBFN" weights; messages
    // for what cannot be read, and isComplete() 0 (reading stops there).
    RbfNetwork(const char* fileName, int numOfClasses);
    ~RbfNetwork();
    RbfNetwork(const RbfNetwork&) = delete;
    RbfNetwork& operator=(const RbfNetwork&) = delete;

    int getDimension() const { return dimension; }
    int getNumOfHidden() const { return numOfHidden; }
    int getNumOfClasses() const { return numOfClasses; }
    MixtureModel* getMixture(int c) { return mixtures[c]; }
    // 1 when every mixture and the weights are present (read in full); an
    // incomplete network gives no outputs and no mixtures beyond the first
    // that failed.
    int isComplete() const { return complete; }
    // Whether some hidden unit's component has a weight above 0 (some
    // class's mixture was fitted).
    bool has_positive_weight() const;

    // c from 1 to C: H values into class c's block; c = 0: all C x H values.
    void setClassWeights(const double* values, int c);
    const DataMatrix* getWeights() const { return weights; }
    // The C outputs at a row of D reals (owned by the network).
    const double* output(const double* row);
    // Hidden unit h's value at the row last given to output.
    double activation(int h) const { return activations->data[h]; }
    // Writes the weights into the open model document; 0 after a message.
    int writeToDocument(XMLParser** handle);
    // The same into the model file, saved at once; 1 when it was saved.
    int writeToFile(const char* fileName);

private:
    int dimension;                       // D, the number of features
    int numOfClasses;                    // C
    int numOfHidden;                     // H: the sum of the mixtures' component counts
    std::vector<double> outputs;         // C: outputs of the last row evaluated
    std::vector<MixtureModel*> mixtures; // C + 1, owned; slot 0 unused
    DataMatrix* weights;                 // 1 x (C x H): class c's block at (c-1) H
    DataMatrix* activations;             // 1 x H: hidden values of the last row
    int complete;                        // see isComplete

    void allocate_weights();
    bool read_from_document(XMLParser** handle);
    bool read_weights(XMLParser** handle);
};

// Both fits refuse, returning 0 after a message (weights unspecified), a
// network without a component of weight above 0, a row whose activations
// (for the inversion: their squares) are all 0 or not all finite numbers,
// and weights that are not finite.
//
// Output weights by least squares over the n x H activations of the feature
// rows, one 0/1 target column per class (label equal to c). Returns 1, or 0
// (weights unspecified) when the fit is impossible, for example with fewer
// rows than hidden units; the reason is printed.
int rbf_weights_least_squares(RbfNetwork* net, const DataMatrix* features, int n, int C,
                              const DataMatrix* labels);
// Output weights from (Phi'Phi + n 1e-11 I) w = Phi't, rows counted for the
// class of their truncated label; returns 1, or 0 after a message.
int rbf_weights_inverse(RbfNetwork* net, const DataMatrix* features, int n, int C,
                        const DataMatrix* labels);

#endif
