// The multi-start driver: K-means clusterings from random seeds, the one
// whose mixture gives the largest log-likelihood kept as EM's start.
#include "plugins/bellmix/training.h"

#include <cmath>
#include <ctime>
#include <limits>
#include <vector>

#include "scriptrun/messages.h"
#include "support/matrix.h"
#include "support/random.h"

namespace {

unsigned time_seed()
{
    return static_cast<unsigned>(std::time(nullptr));
}

unsigned (*seedSource)() = time_seed;  // where each training call's seed comes from

// A clustering of the listed rows.
struct Clustering {
    std::vector<int> assignment;  // n: cluster of each listed row
    std::vector<int> sizes;       // K: rows per cluster
    DataMatrix* centres;          // K x D
};

bool make_clustering(Clustering* c, int n, int K, int D)
{
    c->assignment.assign(n, 0);
    c->sizes.assign(K, 0);
    c->centres = matrix_alloc(K, D);
    return c->centres != nullptr;
}

void copy_clustering(Clustering* to, const Clustering& from)
{
    to->assignment = from.assignment;
    to->sizes = from.sizes;
    matrix_copy(to->centres, from.centres);
}

double mixture_log_likelihood(MixtureModel* m, const DataMatrix* features, const int* rows,
                              int n)
{
    double L = 0.0;
    for (int j = 0; j < n; ++j)
        L += m->log_likelihood(features->data + static_cast<size_t>(rows[j]) * features->cols);
    return L;
}

// One start: clustering, parameters, log-likelihood; false when the start
// gives no mixture.
bool try_start(MixtureModel* m, const DataMatrix* features, const int* rows, int n,
               int kmeansMaxIt, Clustering* c, double* L)
{
    int K = m->getNumOfMix();
    if (kmeans_cluster(features, rows, c->assignment.data(), c->sizes.data(), c->centres, n, K,
                       kmeansMaxIt) == 0)
        print_message("Warning: maximum iteration count reached in K-means!\n");
    print_message("Preparing parameters for EM\n");
    int set = mixture_from_clusters(m, features, rows, c->assignment.data(), c->sizes.data(),
                                    c->centres, n);
    if (set < K) {
        print_message("PANIC EXIT for component %d\n", set);
        return false;
    }
    *L = mixture_log_likelihood(m, features, rows, n);
    print_message("Log-likelihood: %lf\n", *L);
    return true;
}

// The best of the starts into best; false when none gave a finite
// log-likelihood. Ties go to the later start.
bool best_start(MixtureModel* m, const DataMatrix* features, const int* rows, int n,
                int starts, int kmeansMaxIt, Clustering* work, Clustering* best)
{
    double bestL = -std::numeric_limits<double>::infinity();
    bool kept = false;
    for (int s = 0; s < starts; ++s) {
        print_message("\nK-means clustering No %d.\n", s + 1);
        double L = 0.0;
        if (!try_start(m, features, rows, n, kmeansMaxIt, work, &L))
            continue;
        if (std::isfinite(L) && L >= bestL) {
            copy_clustering(best, *work);
            bestL = L;
            kept = true;
        }
    }
    if (kept)
        print_message("\nBest likelihood found: %lf\n", bestL);
    return kept;
}

// Rounding at each feature's own scale: a mean of n rows is off by about
// n eps times the rows' magnitude, so a variance below (n eps)^2 times the
// feature's mean square is indistinguishable from 0. Formed through the
// largest magnitude M as (n eps M)^2 mean((x / M)^2), so that no square
// overflows before it must.
std::vector<double> rounding_floors(const DataMatrix* features, const int* rows, int n)
{
    int D = features->cols;
    std::vector<double> largest(D, 0.0), floors(D, 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < D; ++i)
            largest[i] = std::fmax(largest[i],
                                   std::fabs(features->data[static_cast<size_t>(rows[j]) * D + i]));
    const double eps = std::numeric_limits<double>::epsilon();
    for (int i = 0; i < D; ++i) {
        if (largest[i] == 0.0)
            continue;
        double sum = 0.0;
        for (int j = 0; j < n; ++j) {
            double x = features->data[static_cast<size_t>(rows[j]) * D + i] / largest[i];
            sum += x * x;
        }
        double rounding = n * eps * largest[i];
        floors[i] = rounding * rounding * (sum / n);
    }
    return floors;
}

int fit_from_best(MixtureModel* m, const DataMatrix* features, const int* rows, int n,
                  const Clustering& best, int emMaxIt, double epsilon)
{
    if (mixture_from_clusters(m, features, rows, best.assignment.data(), best.sizes.data(),
                              best.centres, n) < m->getNumOfMix()) {
        print_message("Could not initialize some of the mixtures!\n");
        return 0;
    }
    if (em_refine(m, features, rows, n, emMaxIt, epsilon) == 0)
        print_message("Warning: maximum iteration count reached in EM!\n");
    return 1;
}

}  // namespace

int train_mixture(MixtureModel* m, const DataMatrix* features, const int* rows, int n, int K,
                  int starts, int emMaxIt, double epsilon, int kmeansMaxIt)
{
    int D = features ? features->cols : 0;
    if (D * K == 0 || !m->isComplete() || m->getNumOfMix() != K || m->getDimension() != D) {
        print_message("Invalid NumDim or NumMix value\n");
        return 0;
    }
    print_message("Number of data lines: %d\n\n", n);
    // The seed positions run over 0 .. n-2, so a mixture needs two rows.
    if (n < 2) {
        print_message("Too few data lines to fit a mixture!\n");
        return 0;
    }
    m->setVarianceFloors(rounding_floors(features, rows, n).data());
    Clustering work{}, best{};
    int fitted = 0;
    if (!make_clustering(&work, n, K, D) || !make_clustering(&best, n, K, D))
        print_message("Not enough memory for the clustering!\n");
    else if (starts < 1 || !best_start(m, features, rows, n, starts, kmeansMaxIt, &work, &best))
        print_message("No good clustering found to start EM!\n");
    else
        fitted = fit_from_best(m, features, rows, n, best, emMaxIt, epsilon);
    matrix_free(work.centres);
    matrix_free(best.centres);
    return fitted;
}

void set_training_seed_source(unsigned (*source)())
{
    seedSource = source ? source : time_seed;
}

void seed_training_generator()
{
    seed_random15(seedSource());
}
