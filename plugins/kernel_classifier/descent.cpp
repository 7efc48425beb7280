// L-BFGS descent with backtracking. Each iteration: gradient at the start,
// direction d = -H g, trial steps lambda = 1, beta, beta^2, ... until
// f(start) + lambda * delta * (d . g) >= f(trial) or the trial budget is
// spent; the last trial point is taken either way.
#include "plugins/kernel_classifier/descent.h"

#include <cmath>
#include <new>
#include <vector>

#include "plugins/lbfgs/lbfgs_2loop.h"
#include "scriptrun/messages.h"

namespace {

// The iteration's vectors (J values each), the objective of the point that
// the last step took, and the lowest objective met so far, starting with
// that of the starting point.
struct DescentVectors {
    std::vector<double> trial, x, xPrev, g, gPrev;
    double taken = 0.0;
    double lowest = INFINITY;
};

// Iterations in a row without a new lowest objective after which a
// training without an iteration limit stops.
constexpr int kStallLimit = 100;

double dot(const double* a, const double* b, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; i++)
        sum += a[i] * b[i];
    return sum;
}

bool all_finite(const std::vector<double>& a)
{
    for (double x : a)
        if (!std::isfinite(x))
            return false;
    return true;
}

bool same_point(const std::vector<double>& a, const double* b)
{
    for (size_t i = 0; i < a.size(); i++)
        if (a[i] != b[i])
            return false;
    return true;
}

// True when another trial step could not lead anywhere new: the trial point
// is the start itself, or, when nothing else limits the trials, lambda has
// stopped shrinking toward 0 (a factor of 1 or more, or of 0, NaN or
// infinite). A trial budget ends the search by itself, so with one every
// trial step it allows is taken, growing or not.
bool backtracking_exhausted(double lambda, double previous, int maxTrials,
                            const DescentVectors& v, const double* start)
{
    if (same_point(v.trial, start))
        return true;
    return maxTrials <= 0 && (lambda == 0.0 || !std::isfinite(lambda) ||
                              std::fabs(lambda) >= std::fabs(previous));
}

// The backtracking search along d from problem.point; v.trial gets the last
// trial point. Returns its objective.
double backtrack(const DescentProblem& p, const LearningSettings& s, const double* d, double f0,
                 double slope, DescentVectors& v)
{
    double lambda = 1.0 / s.armijoMultiplier, fnew;
    for (int t = 0;;) {
        double previous = lambda;
        lambda *= s.armijoMultiplier;
        for (int j = 0; j < p.size; j++)
            v.trial[j] = p.point[j] + lambda * d[j];
        fnew = p.objective(v.trial.data(), p.context);
        print_message("Lambda:%f\n", lambda);
        t++;
        if (t == s.maxArmijoIter || f0 + lambda * slope >= fnew ||
            backtracking_exhausted(lambda, previous, s.maxArmijoIter, v, p.point))
            return fnew;
    }
}

const char* const keeps_last_finite =
    "the objective or its gradient is not finite: the class keeps its last finite "
    "coefficients\n";

// Whether an iteration's start has a finite objective and gradient norm.
// Otherwise says why training stops and puts the point back to the previous
// start, or, at the first start (k = 0), marks the class failed.
bool finite_start(const DescentProblem& p, int k, const DescentVectors& v, double f0,
                  double norm, bool* failed)
{
    if (std::isfinite(f0) && std::isfinite(norm))
        return true;
    if (k == 0) {
        print_message("the objective or its gradient is not finite at the starting "
                      "coefficients: the class cannot be trained\n");
        *failed = true;
        return false;
    }
    print_message("%s", keeps_last_finite);
    std::copy(v.xPrev.begin(), v.xPrev.end(), p.point);
    return false;
}

// One iteration from problem.point; false when training must stop: at a
// start that is not finite (see finite_start), after a trial point that is
// not finite or has no finite objective (never taken), or after a step that
// changed no value.
bool iterate(const DescentProblem& p, const LearningSettings& s, int k, DescentVectors& v,
             double* norm, bool* failed)
{
    int n = p.size;
    v.x.assign(p.point, p.point + n);
    p.gradient(p.point, v.g.data(), p.context);
    double f0 = p.objective(p.point, p.context);
    *norm = std::sqrt(std::fabs(dot(v.g.data(), v.g.data(), n))) / p.normDivisor;
    if (!finite_start(p, k, v, f0, *norm, failed))
        return false;
    if (k == 0)
        v.lowest = f0;
    double* d = lbfgs_2loop_direction(v.x.data(), v.xPrev.data(), v.g.data(), v.gPrev.data(), k);
    for (int j = 0; j < n; j++)
        d[j] = -d[j];
    v.gPrev = v.g;
    v.xPrev = v.x;
    print_message("computing Armijo step\n");
    if (p.capStep && cap_direction(d, n, s.maxStepSize))
        print_message("STEP SIZE IS MODIFIED.\n");
    double slope = s.armijoDelta * dot(d, v.g.data(), n);
    double fnew = backtrack(p, s, d, f0, slope, v);
    bool finite = std::isfinite(fnew) && all_finite(v.trial);
    bool moved = finite && !same_point(v.trial, p.point);
    if (finite)
        std::copy(v.trial.begin(), v.trial.end(), p.point);
    v.taken = fnew;
    print_message("(%d) fnew=%.3f, f-fnew=%.3f, ", k, fnew, f0 - fnew);
    p.report(p.point, *norm, p.context);
    if (!finite)
        print_message("%s", keeps_last_finite);
    else if (!moved)
        print_message("no coefficient changed in this step: the class's training stops\n");
    return moved;
}

}  // namespace

LearningSettings learning_settings(double gradThreshold, double nu, double alpha, int maxIter,
                                   int maxArmijoIter, double armijoMultiplier,
                                   double armijoDelta, double maxStepSize, int m)
{
    LearningSettings s;
    s.gradThreshold = gradThreshold;
    s.nu = nu;
    s.alpha = alpha;
    s.maxIter = maxIter;
    s.maxArmijoIter = maxArmijoIter;
    s.armijoMultiplier = armijoMultiplier;
    s.armijoDelta = armijoDelta;
    s.maxStepSize = maxStepSize;
    s.m = m;
    return s;
}

bool cap_direction(double* d, int n, double maxStep)
{
    double largest = 0.0;
    for (int j = 0; j < n; j++)
        if (std::fabs(d[j]) > maxStep && std::fabs(d[j]) > largest)
            largest = std::fabs(d[j]);
    if (largest <= 0.0)
        return false;
    for (int j = 0; j < n; j++)
        d[j] *= maxStep / largest;
    return true;
}

int descend(const DescentProblem& p, const LearningSettings& s)
{
    DescentVectors v;
    try {
        v.trial.resize(p.size);
        // No more pairs than iterations can ever be stored: a larger memory
        // gives the same directions and only costs room.
        int pairs = s.maxIter > 0 && s.m > s.maxIter ? s.maxIter : s.m;
        if (!lbfgs_2loop_init(p.size, pairs)) {
            print_message("out of memory\n");
            return 0;
        }
        v.x.assign(p.size, 0.0);
        v.xPrev.assign(p.size, 0.0);
        v.g.assign(p.size, 0.0);
        v.gPrev.assign(p.size, 0.0);
    } catch (const std::bad_alloc&) {
        if (!v.trial.empty())
            lbfgs_2loop_free();
        print_message("out of memory\n");
        return 0;
    }
    double norm = 0.0;
    bool failed = false;
    for (int k = 0, stalled = 0;;) {
        if (!iterate(p, s, k, v, &norm, &failed))
            break;
        k++;
        if (k == s.maxIter || !(norm > s.gradThreshold))
            break;
        // Steps may raise the objective, so without an iteration limit a
        // cycle of points could go on for ever. A new lowest objective (a
        // double) can be reached only finitely often, so a bounded run of
        // steps without one ends the training. The lowest starts at the
        // starting objective: a first step that raises it far sets no
        // reference from which every later step would count as new.
        stalled = v.taken < v.lowest ? 0 : stalled + 1;
        v.lowest = std::fmin(v.lowest, v.taken);
        if (s.maxIter <= 0 && stalled == kStallLimit) {
            print_message("the objective has reached no new lowest value in %d steps: the "
                          "class's training stops\n", kStallLimit);
            break;
        }
    }
    lbfgs_2loop_free();
    return failed ? 0 : 1;
}
