// The network record: construction, evaluation, and its weights in the model
// file ("Weights" of "/BELLMIX/parameters/RBFN", class 1's block first).
#include "plugins/bellmix/rbf_network.h"

#include <algorithm>
#include <cmath>

#include "plugins/model_attributes/attribute_numbers.h"
#include "scriptrun/messages.h"
#include "support/matrix.h"
#include "xml/xml_functions.h"

RbfNetwork::RbfNetwork(int dimension, int numOfClasses, int numOfMix, int diagonal)
    : dimension(dimension), numOfClasses(numOfClasses), numOfHidden(0), weights(nullptr),
      activations(nullptr), complete(0)
{
    long long hidden = static_cast<long long>(numOfClasses) * numOfMix;
    numOfHidden = hidden > 0 && hidden <= 0x7fffffff ? static_cast<int>(hidden) : 0;
    mixtures.assign(numOfClasses + 1, nullptr);
    int ready = 1;
    for (int c = 1; c <= numOfClasses; ++c) {
        mixtures[c] = new MixtureModel(dimension, numOfMix, diagonal);
        ready = ready && mixtures[c]->isComplete();
    }
    allocate_weights();
    complete = ready && weights && activations;
}

// One parse of the file. Reading stops at the first mixture that cannot be
// read, so that a large class count costs nothing before the file has shown
// it holds the classes.
RbfNetwork::RbfNetwork(const char* fileName, int numOfClasses)
    : dimension(0), numOfClasses(numOfClasses), numOfHidden(0), weights(nullptr),
      activations(nullptr), complete(0)
{
    mixtures.push_back(nullptr);
    XMLParser* handle = nullptr;
    if (!XMLopen(&handle, fileName)) {
        print_message("BELLMIX: the XML file name is not valid!\n");
        print_open_failure(&handle, fileName);
    } else
        complete = read_from_document(&handle) ? 1 : 0;
    XMLclose(&handle);
}

// Mixtures 1 .. C in one pass over the MIXTURE elements, then the weights.
bool RbfNetwork::read_from_document(XMLParser** handle)
{
    for (int c = 1; c <= numOfClasses; ++c) {
        mixtures.push_back(new MixtureModel(handle, c));
        if (!mixtures.back()->isComplete())
            return false;
        numOfHidden += mixtures.back()->getNumOfMix();
    }
    if (numOfClasses < 1)
        return false;
    dimension = mixtures[1]->getDimension();
    allocate_weights();
    return weights && activations && read_weights(handle);
}

RbfNetwork::~RbfNetwork()
{
    for (MixtureModel* m : mixtures)
        delete m;
    matrix_free(weights);
    matrix_free(activations);
}

bool RbfNetwork::has_positive_weight() const
{
    for (int c = 1; c <= numOfClasses && c < static_cast<int>(mixtures.size()); ++c)
        if (mixtures[c] && mixtures[c]->has_positive_weight())
            return true;
    return false;
}

void RbfNetwork::allocate_weights()
{
    outputs.assign(numOfClasses > 0 ? numOfClasses : 0, 0.0);
    long long count = static_cast<long long>(numOfClasses) * numOfHidden;
    if (count <= 0 || count > 0x7fffffff)
        return;
    weights = matrix_alloc(1, static_cast<int>(count));
    activations = matrix_alloc(1, numOfHidden);
    matrix_fill(weights, 0.0);
    matrix_fill(activations, 0.0);
}

namespace {

// The "Weights" of the RBFN element: exactly count finite values.
bool read_weight_list(XMLParser** handle, int count, double* to)
{
    std::vector<double> values;
    AttributeRead read = read_finite_list(handle, "Weights", count, &values);
    if (read == AttributeRead::absent)
        print_message("BELLMIX: Incompatible RBFN Weights array size!\n");
    else if (read == AttributeRead::not_number)
        print_message("BELLMIX: the Weights attribute of RBFN holds a value that is not a "
                      "finite number!\n");
    else
        std::copy(values.begin(), values.end(), to);
    return read == AttributeRead::ok;
}

}  // namespace

// The Weights list must hold exactly C x H values.
bool RbfNetwork::read_weights(XMLParser** handle)
{
    if (!XMLchangeElement(handle, "/BELLMIX/parameters")) {
        print_message("BELLMIX: BELLMIX/parameters element not found!\n");
        return false;
    }
    if (!XMLchangeElement(handle, "/BELLMIX/parameters/RBFN")) {
        print_message("BELLMIX: BELLMIX/parameters/RBFN element not found!\n");
        return false;
    }
    return read_weight_list(handle, weights->cols, weights->data);
}

void RbfNetwork::setClassWeights(const double* values, int c)
{
    if (!weights || !values || c < 0 || c > numOfClasses)
        return;
    int count = c == 0 ? weights->cols : numOfHidden;
    double* to = weights->data + (c == 0 ? 0 : static_cast<size_t>(c - 1) * numOfHidden);
    for (int h = 0; h < count; ++h)
        to[h] = values[h];
}

// activation h: the unweighted density of the h-th component in class order;
// output c-1 = sum over h of weight[(c-1) H + h] activation[h].
const double* RbfNetwork::output(const double* row)
{
    if (!complete)
        return outputs.data();
    DataMatrix view;
    matrix_wrap(&view, 1, dimension, const_cast<double*>(row));
    int h = 0;
    for (int c = 1; c <= numOfClasses; ++c)
        for (int k = 0; k < mixtures[c]->getNumOfMix() && h < numOfHidden; ++k)
            activations->data[h++] = mixtures[c]->component_density(k, 0, &view);
    for (int c = 0; c < numOfClasses; ++c) {
        const double* w = weights->data + static_cast<size_t>(c) * numOfHidden;
        double sum = 0.0;
        for (h = 0; h < numOfHidden; ++h)
            sum += w[h] * activations->data[h];
        outputs[c] = sum;
    }
    return outputs.data();
}

int RbfNetwork::writeToDocument(XMLParser** handle)
{
    if (!weights)
        return 0;
    for (int i = 0; i < weights->cols; ++i)
        if (!std::isfinite(weights->data[i])) {
            print_message("BELLMIX: the network weight %d is not a finite number; no network "
                          "weights are written\n", i + 1);
            return 0;
        }
    if (!XMLchangeElement(handle, "/BELLMIX/parameters")) {
        print_message("Could not find the 'Parameters' block!\n");
        return 0;
    }
    if (!XMLchangeElement(handle, "/BELLMIX/parameters/RBFN")) {
        XMLaddChildElement(handle, "RBFN");
        XMLchangeElement(handle, "/BELLMIX/parameters/RBFN");
    }
    XMLchangeOrAddDoubleArrayAttribute(handle, "Weights", weights->data, weights->cols, ",");
    return 1;
}

int RbfNetwork::writeToFile(const char* fileName)
{
    XMLParser* handle = nullptr;
    int saved = 0;
    if (!XMLopen(&handle, fileName))
        print_message("Could not open XML file!");
    else if (writeToDocument(&handle))
        saved = XMLsave(&handle, fileName);
    XMLclose(&handle);
    return saved;
}
