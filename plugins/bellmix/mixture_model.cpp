// The mixture record: storage, parameter setters, and the component densities
// and likelihoods, plain and in the log domain.
#include "plugins/bellmix/mixture_model.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "scriptrun/messages.h"
#include "support/matrix.h"

const double kLogTwoPi = std::log(6.283185307184);

namespace {

const double kMinusInfinity = -std::numeric_limits<double>::infinity();

}  // namespace

MixtureModel::MixtureModel(int dimension, int numOfMix, int diagonal)
    : dimension(dimension), numOfMix(numOfMix), diagonal(diagonal), weights(nullptr),
      determinants(nullptr), workRow(nullptr), inputRow(nullptr), complete(0)
{
    allocate();
}

MixtureModel::MixtureModel(const char* fileName, int index)
    : dimension(0), numOfMix(0), diagonal(0), weights(nullptr), determinants(nullptr),
      workRow(nullptr), inputRow(nullptr), complete(0)
{
    complete = read_from_file(fileName, index) ? 1 : 0;
}

MixtureModel::MixtureModel(XMLParser** handle, int index)
    : dimension(0), numOfMix(0), diagonal(0), weights(nullptr), determinants(nullptr),
      workRow(nullptr), inputRow(nullptr), complete(0)
{
    complete = read_from_document(handle, index) ? 1 : 0;
}

MixtureModel::~MixtureModel()
{
    release();
}

// Every matrix at 0 and every covariance singular, so that a record that is
// written before it is fitted holds defined values; complete is 1 when every
// allocation succeeded.
void MixtureModel::allocate()
{
    int D = dimension, K = numOfMix;
    int covRows = diagonal ? 1 : D;
    complete = 0;
    if (D <= 0 || K <= 0)
        return;
    bool ok = true;
    for (int k = 0; k < K; ++k) {
        covariances.push_back(matrix_alloc(covRows, D));
        factors.push_back(matrix_alloc(covRows, D));
        means.push_back(matrix_alloc(1, D));
        ok = ok && covariances.back() && factors.back() && means.back();
    }
    weights = matrix_alloc(1, K);
    determinants = matrix_alloc(1, K);
    workRow = matrix_alloc(1, D);
    inputRow = matrix_alloc(1, D);
    if (!ok || !weights || !determinants || !workRow || !inputRow)
        return;
    for (int k = 0; k < K; ++k) {
        matrix_fill(covariances[k], 0.0);
        matrix_fill(factors[k], 0.0);
        matrix_fill(means[k], 0.0);
    }
    matrix_fill(weights, 0.0);
    matrix_fill(determinants, 0.0);
    matrix_fill(workRow, 0.0);
    matrix_fill(inputRow, 0.0);
    logNormalisers.assign(K, kMinusInfinity);
    singular.assign(K, 1);
    solveRow.assign(D, 0.0);
    complete = 1;
}

void MixtureModel::release()
{
    for (DataMatrix* m : covariances)
        matrix_free(m);
    for (DataMatrix* m : factors)
        matrix_free(m);
    for (DataMatrix* m : means)
        matrix_free(m);
    covariances.clear();
    factors.clear();
    means.clear();
    matrix_free(weights);
    matrix_free(determinants);
    matrix_free(workRow);
    matrix_free(inputRow);
    weights = determinants = workRow = inputRow = nullptr;
}

void MixtureModel::setWeights(const DataMatrix* w)
{
    if (complete)
        matrix_copy(weights, w);
}

void MixtureModel::setMean(int k, const DataMatrix* m)
{
    if (complete && k >= 0 && k < numOfMix)
        matrix_copy(means[k], m);
}

void MixtureModel::setVarianceFloors(const double* floors)
{
    if (floors)
        varianceFloors.assign(floors, floors + dimension);
    else
        varianceFloors.clear();
}

// Every variance of covariance k (its diagonal) is a positive number above
// its floor whose reciprocal is finite: a variance within rounding of 0 at
// its feature's own scale (a constant feature) is no variance.
bool MixtureModel::variances_regular(int k) const
{
    const double* c = covariances[k]->data;
    for (int i = 0; i < dimension; ++i) {
        double v = diagonal ? c[i] : c[static_cast<size_t>(i) * dimension + i];
        double floor = varianceFloors.empty() ? 0.0 : varianceFloors[i];
        if (!(v > floor) || !std::isfinite(1.0 / v))
            return false;
    }
    return true;
}

// Factors covariance k and sets its normaliser; false, with the component
// marked singular, when the covariance is singular relative to its scale.
bool MixtureModel::factor_component(int k)
{
    double logDet = 0.0;
    bool regular = all_finite(covariances[k]) && variances_regular(k);
    if (regular && diagonal) {
        regular = invert_diagonal(covariances[k]->data, dimension, kCovariancePivots,
                                  factors[k]->data, &logDet);
    } else if (regular) {
        matrix_copy(factors[k], covariances[k]);
        regular = cholesky_factor(factors[k], kCovariancePivots);
        if (regular)
            logDet = cholesky_log_determinant(factors[k]);
    }
    singular[k] = !regular;
    determinants->data[k] = regular ? std::exp(logDet) : 0.0;
    logNormalisers[k] = regular ? -0.5 * (dimension * kLogTwoPi + logDet) : kMinusInfinity;
    return regular;
}

// A covariance that overflowed is reported as such, not as singular.
double MixtureModel::setCovariance(int k, const DataMatrix* c)
{
    if (!complete || k < 0 || k >= numOfMix)
        return 0.0;
    matrix_copy(covariances[k], c);
    if (factor_component(k))
        return determinants->data[k];
    if (all_finite(covariances[k]))
        print_message("ERROR: NON-INVERTIBLE COVARIANCE MATRIX!\n");
    else
        print_message("ERROR: the covariance matrix of component %d is not a finite number!\n",
                      k);
    return 0.0;
}

bool MixtureModel::parameters_finite() const
{
    if (!all_finite(weights))
        return false;
    for (int k = 0; k < numOfMix; ++k)
        if (!all_finite(means[k]) || !all_finite(covariances[k]))
            return false;
    return true;
}

bool MixtureModel::has_positive_weight() const
{
    for (int k = 0; complete && k < numOfMix; ++k)
        if (weights->data[k] > 0.0)
            return true;
    return false;
}

void MixtureModel::copyParameters(const MixtureModel& other)
{
    if (!complete || !other.complete || other.numOfMix != numOfMix ||
        other.dimension != dimension || other.diagonal != diagonal)
        return;
    for (int k = 0; k < numOfMix; ++k) {
        matrix_copy(covariances[k], other.covariances[k]);
        matrix_copy(factors[k], other.factors[k]);
        matrix_copy(means[k], other.means[k]);
    }
    matrix_copy(weights, other.weights);
    matrix_copy(determinants, other.determinants);
    logNormalisers = other.logNormalisers;
    singular = other.singular;
}

// log N(x; mean k, cov k) = logNormaliser k - q / 2 with q = d' cov^-1 d:
// sum of d[i]^2 / variance i, or |L^-1 d|^2 through the Cholesky factor.
double MixtureModel::log_density_of_work_row(int k)
{
    double* d = workRow->data;
    const double* mean = means[k]->data;
    for (int i = 0; i < dimension; ++i)
        d[i] -= mean[i];
    if (singular[k])
        return kMinusInfinity;
    const double* f = factors[k]->data;
    double q = 0.0;
    if (diagonal) {
        for (int i = 0; i < dimension; ++i)
            q += f[i] * d[i] * d[i];
    } else {
        std::memcpy(solveRow.data(), d, sizeof(double) * dimension);
        DataMatrix whitened = {dimension, 1, solveRow.data()};
        cholesky_solve_lower(factors[k], &whitened);
        for (int i = 0; i < dimension; ++i)
            q += solveRow[i] * solveRow[i];
    }
    return logNormalisers[k] - 0.5 * q;
}

double MixtureModel::component_density(int k, int weighted)
{
    if (!complete || k < 0 || k >= numOfMix)
        return 0.0;
    double density = std::exp(log_density_of_work_row(k));
    return weighted ? density * weights->data[k] : density;
}

double MixtureModel::component_density(int k, int weighted, const DataMatrix* x)
{
    if (!complete)
        return 0.0;
    matrix_copy(workRow, x);
    return component_density(k, weighted);
}

double MixtureModel::likelihood(const DataMatrix* x)
{
    if (!complete)
        return 0.0;
    matrix_copy(inputRow, x);
    double sum = 0.0;
    for (int k = 0; k < numOfMix; ++k) {
        std::memcpy(workRow->data, inputRow->data, sizeof(double) * dimension);
        sum += component_density(k, 1);
    }
    return sum;
}

double MixtureModel::likelihood(const double* row)
{
    DataMatrix view;
    matrix_wrap(&view, 1, dimension, const_cast<double*>(row));
    return likelihood(&view);
}

double MixtureModel::log_component_density(int k, int weighted, const double* row)
{
    if (!complete || k < 0 || k >= numOfMix)
        return kMinusInfinity;
    std::memcpy(workRow->data, row, sizeof(double) * dimension);
    double value = log_density_of_work_row(k);
    if (!weighted)
        return value;
    double w = weights->data[k];
    return w > 0.0 ? value + std::log(w) : kMinusInfinity;
}

// log sum_k exp(t_k) kept as max + log(sum exp(t_k - max)) in one pass:
// when a larger term arrives the running sum is rescaled to it.
double MixtureModel::log_likelihood(const double* row)
{
    if (!complete)
        return kMinusInfinity;
    std::memcpy(inputRow->data, row, sizeof(double) * dimension);
    double top = kMinusInfinity, sum = 0.0;
    for (int k = 0; k < numOfMix; ++k) {
        double t = log_component_density(k, 1, inputRow->data);
        if (std::isnan(t))
            return t;
        if (t == kMinusInfinity)
            continue;
        if (t > top) {
            sum = sum * std::exp(top - t) + 1.0;
            top = t;
        } else {
            sum += std::exp(t - top);
        }
    }
    return top == kMinusInfinity ? top : top + std::log(sum);
}
