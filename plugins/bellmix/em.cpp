// Mixture parameters from a clustering, and their refinement by expectation
// maximisation with the likelihoods in the log domain.
#include <cmath>
#include <limits>
#include <vector>

#include "plugins/bellmix/training.h"
#include "scriptrun/messages.h"
#include "support/matrix.h"

namespace {

const double kMinusInfinity = -std::numeric_limits<double>::infinity();

// The rows a scatter sums over, and their weights.
struct ScatterSource {
    const DataMatrix* features;  // n listed rows of D features
    const int* rows;             // row numbers of the listed rows
    int n;                       // number of listed rows
    const int* assignment;       // cluster of each listed row, or null
    int k;                       // the cluster counted
    const double* factors;       // per listed row weight, or null
};

// Weighted scatter of the listed rows about centre: each row's weight is
// scale times its entry in factors (1 where factors is null), counted only
// where the row's assignment equals k (every row when assignment is null).
// Diagonal: cov is 1 x D; full: D x D, accumulated for j <= i and mirrored.
void weighted_scatter(const ScatterSource& s, const double* centre, double scale,
                      DataMatrix* cov)
{
    int D = s.features->cols;
    bool diagonal = cov->rows == 1;
    matrix_fill(cov, 0.0);
    for (int t = 0; t < s.n; ++t) {
        if (s.assignment && s.assignment[t] != s.k)
            continue;
        const double* x = s.features->data + static_cast<size_t>(s.rows[t]) * D;
        double w = scale * (s.factors ? s.factors[t] : 1.0);
        for (int i = 0; i < D; ++i) {
            double di = x[i] - centre[i];
            if (diagonal) {
                cov->data[i] += di * di * w;
                continue;
            }
            double* covRow = cov->data + static_cast<size_t>(i) * D;
            for (int j = 0; j <= i; ++j)
                covRow[j] += di * (x[j] - centre[j]) * w;
        }
    }
    if (diagonal)
        return;
    for (int i = 0; i < D; ++i)
        for (int j = 0; j < i; ++j)
            cov->data[static_cast<size_t>(j) * D + i] = cov->data[static_cast<size_t>(i) * D + j];
}

// Per-call working state of EM, allocated once.
struct EmState {
    std::vector<double> logLikelihoods;  // n: log p[j] under the previous pass
    std::vector<double> responsibilities;  // n: r[j] of the component in hand
    std::vector<double> totals;          // K: N[k]
    DataMatrix* mean;                    // 1 x D
    DataMatrix* cov;                     // 1 x D or D x D
};

double total_log_likelihood(MixtureModel* m, const DataMatrix* features, const int* rows,
                            int n, std::vector<double>& logp)
{
    double L = 0.0;
    for (int j = 0; j < n; ++j) {
        logp[j] = m->log_likelihood(features->data + static_cast<size_t>(rows[j]) * features->cols);
        L += logp[j];
    }
    return L;
}

// Component k's new mean and covariance from its responsibilities; false when
// they sum to 1 or less or the covariance is singular.
bool update_component(MixtureModel* m, const DataMatrix* features, const int* rows, int n,
                      int k, EmState& st)
{
    int D = features->cols;
    double N = 0.0;
    for (int j = 0; j < n; ++j) {
        const double* x = features->data + static_cast<size_t>(rows[j]) * D;
        double t = m->log_component_density(k, 1, x) - st.logLikelihoods[j];
        st.responsibilities[j] = std::isnan(t) ? 0.0 : std::exp(t);
        N += st.responsibilities[j];
    }
    st.totals[k] = N;
    if (!(N > 1.0)) {
        print_message("EM: the responsibilities of component %d sum to %g; "
                      "EM stops with the last complete pass\n", k, N);
        return false;
    }
    matrix_fill(st.mean, 0.0);
    for (int j = 0; j < n; ++j) {
        const double* x = features->data + static_cast<size_t>(rows[j]) * D;
        for (int i = 0; i < D; ++i)
            st.mean->data[i] += st.responsibilities[j] * x[i];
    }
    matrix_scale(st.mean, 1.0 / N);
    m->setMean(k, st.mean);
    ScatterSource source{features, rows, n, nullptr, k, st.responsibilities.data()};
    weighted_scatter(source, st.mean->data, 1.0 / (N - 1.0), st.cov);
    m->setCovariance(k, st.cov);
    if (m->isSingular(k)) {
        print_message("EM: component %d became singular; EM stops with the last complete pass\n",
                      k);
        return false;
    }
    return true;
}

bool em_pass(MixtureModel* m, const DataMatrix* features, const int* rows, int n, EmState& st)
{
    int K = m->getNumOfMix();
    for (int k = 0; k < K; ++k)
        if (!update_component(m, features, rows, n, k, st))
            return false;
    double sum = 0.0;
    for (int k = 0; k < K; ++k)
        sum += st.totals[k];
    DataMatrix* w = matrix_alloc(1, K);
    for (int k = 0; k < K; ++k)
        w->data[k] = st.totals[k] * (1.0 / sum);
    m->setWeights(w);
    matrix_free(w);
    return true;
}

}  // namespace

int mixture_from_clusters(MixtureModel* m, const DataMatrix* features, const int* rows,
                          const int* assignment, const int* sizes, const DataMatrix* centres,
                          int n)
{
    int K = m->getNumOfMix(), D = features->cols;
    DataMatrix* w = matrix_alloc(1, K);
    DataMatrix* cov = matrix_alloc(m->getDiagonal() ? 1 : D, D);
    DataMatrix centre;
    for (int k = 0; k < K; ++k) {
        w->data[k] = static_cast<double>(sizes[k]) / n;
        m->setMean(k, matrix_wrap(&centre, 1, D, centres->data + static_cast<size_t>(k) * D));
    }
    m->setWeights(w);
    int set = 0;
    for (; set < K; ++set) {
        if (sizes[set] < 2) {
            print_message("EXIT: Mixture %i has 0 or 1 element!\n", set);
            break;
        }
        ScatterSource source{features, rows, n, assignment, set, nullptr};
        weighted_scatter(source, centres->data + static_cast<size_t>(set) * D,
                         1.0 / (sizes[set] - 1), cov);
        m->setCovariance(set, cov);
        if (m->isSingular(set))
            break;
    }
    matrix_free(w);
    matrix_free(cov);
    return set;
}

// The log-likelihood starts from minus infinity, so that EM runs on data
// sets of any size; a pass that cannot be completed is rolled back.
int em_refine(MixtureModel* m, const DataMatrix* features, const int* rows, int n, int maxIt,
              double epsilon)
{
    int D = features->cols;
    EmState st;
    st.logLikelihoods.assign(n, 0.0);
    st.responsibilities.assign(n, 0.0);
    st.totals.assign(m->getNumOfMix(), 0.0);
    st.mean = matrix_alloc(1, D);
    st.cov = matrix_alloc(m->getDiagonal() ? 1 : D, D);
    MixtureModel previous(D, m->getNumOfMix(), m->getDiagonal());
    double prev = kMinusInfinity;
    int u = 0;
    bool completed = true;
    for (;;) {
        print_message("EM iteration No. %d - ", u);
        double L = total_log_likelihood(m, features, rows, n, st.logLikelihoods);
        print_message("Log-likelihood: %lf\n", L);
        if (!(L - prev >= epsilon) || u >= maxIt)
            break;
        prev = L;
        previous.copyParameters(*m);
        if (!em_pass(m, features, rows, n, st)) {
            m->copyParameters(previous);
            completed = false;
            break;
        }
        ++u;
    }
    matrix_free(st.mean);
    matrix_free(st.cov);
    if (!completed)
        return -1;
    return u == maxIt ? 0 : u;
}
