// MixtureModel: one class's Gaussian mixture, its densities and likelihoods,
// and its place in the model file (the index-th MIXTURE element).
#ifndef BELLMIX_MIXTURE_MODEL_H
#define BELLMIX_MIXTURE_MODEL_H

#include <vector>

#include "scriptrun/plugin_api.h"
#include "support/cholesky.h"
#include "xml/xml_functions.h"

// A covariance, or the network's normal equations, counts as singular when a
// pivot is not positive or falls below 1e-12 of its own diagonal entry: the
// pivot over its diagonal entry is one minus the squared multiple
// correlation of that feature on the ones before it, which no change of
// units moves.
constexpr PivotRule kCovariancePivots = {PivotScale::own_diagonal, 1e-12, true};

// log(6.283185307184): the normaliser's constant as the model defines it,
// slightly above 2 pi.
extern const double kLogTwoPi;

class MixtureModel {
public:
    // Sizes; weights, means and covariances start at 0 (covariances singular).
    MixtureModel(int dimension, int numOfMix, int diagonal);
    // The index-th MIXTURE (from 1) of a model file; on a failure the message
    // is printed and isComplete() is 0.
    MixtureModel(const char* fileName, int index);
    // The same from an open document (its cursor moves).
    MixtureModel(XMLParser** handle, int index);
    ~MixtureModel();
    MixtureModel(const MixtureModel&) = delete;
    MixtureModel& operator=(const MixtureModel&) = delete;

    int getDimension() const { return dimension; }
    int getNumOfMix() const { return numOfMix; }
    int getDiagonal() const { return diagonal; }
    // 1 when every matrix is allocated and, for a file, every value was read.
    int isComplete() const { return complete; }

    void setWeights(const DataMatrix* w);
    void setMean(int k, const DataMatrix* m);
    // Keeps c as component k's covariance; returns |det c|, or 0 after
    // "ERROR: NON-INVERTIBLE COVARIANCE MATRIX!\n" when c is singular
    // relative to its scale (or after a message saying that c holds a value
    // that is not a finite number). isSingular tells a singular covariance
    // from a regular one whose determinant underflows.
    double setCovariance(int k, const DataMatrix* c);
    int isSingular(int k) const { return singular[k]; }
    // Variance i of every covariance set from now on must exceed floors[i]
    // (D values: rounding at the feature's own scale in the data the
    // mixture is fitted to); null: only a positive variance is asked for.
    void setVarianceFloors(const double* floors);

    const DataMatrix* getWeights() const { return weights; }
    const DataMatrix* getMean(int k) const { return means[k]; }
    const DataMatrix* getCovariance(int k) const { return covariances[k]; }
    // Copies every parameter of other, which has the same sizes.
    void copyParameters(const MixtureModel& other);

    // Density of component k at the work row (overwritten with the sample
    // minus mean k), times weight k when weighted; 0 for a singular component.
    double component_density(int k, int weighted);
    double component_density(int k, int weighted, const DataMatrix* x);
    // Sum over the components of weight k times density k.
    double likelihood(const DataMatrix* x);
    double likelihood(const double* row);

    // The same in the log domain, where no density underflows: log density
    // of component k at row (plus log weight k when weighted; minus infinity
    // for a weight that is not positive or a singular component), and the
    // log-likelihood by log-sum-exp over the components.
    double log_component_density(int k, int weighted, const double* row);
    double log_likelihood(const double* row);

    // Writes the mixture as the index-th MIXTURE of the open document; 0
    // after a message, which is also the answer for a mixture holding a value
    // that is not finite.
    int writeToDocument(XMLParser** handle, int index);
    // The same into the model file, saved at once; 1 when it was saved.
    int writeToFile(const char* fileName, int index);
    // Whether weights, means and covariances are all finite numbers.
    bool parameters_finite() const;
    // Whether a component has a weight above 0, so that the mixture may win
    // a row (an unfitted mixture or a placeholder has weights 0).
    bool has_positive_weight() const;

private:
    int dimension;                           // D, the number of features
    int numOfMix;                            // K, the number of components
    int diagonal;                            // non-zero: diagonal covariances
    std::vector<DataMatrix*> covariances;    // K: 1 x D variances or D x D, as set
    std::vector<DataMatrix*> factors;        // K: 1 x D reciprocals or D x D lower Cholesky factor
    std::vector<DataMatrix*> means;          // K: 1 x D
    DataMatrix* weights;                     // 1 x K mixing weights
    DataMatrix* determinants;                // 1 x K: |det| of each covariance
    std::vector<double> logNormalisers;      // K: -0.5 (D kLogTwoPi + log det)
    std::vector<int> singular;               // K: 1 when the covariance has no factor
    std::vector<double> varianceFloors;      // D, or empty: each variance must exceed it
    DataMatrix* workRow;                     // 1 x D: sample minus a mean
    DataMatrix* inputRow;                    // 1 x D: the sample under evaluation
    std::vector<double> solveRow;            // D: the whitened difference
    int complete;                            // see isComplete

    void allocate();
    void release();
    double log_density_of_work_row(int k);
    bool variances_regular(int k) const;
    bool factor_component(int k);
    bool read_from_file(const char* fileName, int index);
    bool read_from_document(XMLParser** handle, int index);
};

// The number of MIXTURE elements of an open model document.
int count_mixtures(XMLParser** handle);

// Whether the MIXTURE elements of an open model document that training
// class index into it keeps (every one but the index-th) read back in full
// and have the database's feature count, so that the file stays consistent
// and no value that is not a finite number is saved again. Prints the first
// fault, naming fileName.
bool kept_mixtures_fit(XMLParser** handle, const char* fileName, int index, int dimension);

#endif
