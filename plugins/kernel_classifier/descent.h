// The classifiers' per-class optimiser: L-BFGS directions with a
// backtracking (Armijo) line search, printing one progress line per
// iteration.
#ifndef KERNEL_CLASSIFIER_DESCENT_H
#define KERNEL_CLASSIFIER_DESCENT_H

#include "plugins/kernel_classifier/classifier.h"

// What one class's descent works on.
struct DescentProblem {
    int size;                                              // J, length of the point
    double* point;                                         // J values, improved in place
    double (*objective)(const double* v, void* context);   // f(v)
    void (*gradient)(const double* v, double* g, void* context);  // grad f(v) into g
    void (*report)(const double* v, double norm, void* context);  // end of the progress line
    void* context;                                         // passed to the three above
    double normDivisor;                                    // the printed norm is |g| / this
    bool capStep;                                          // scale d to max |d_j| = maxStepSize
};

// Runs iterations until max_iter_num is reached or the norm of the gradient
// at an iteration's start is at or below grad_threshold. Also stops, with a
// message, when a step changed no value, when a trial point or its
// objective is not finite (the point stays where the iteration started),
// and when an iteration's starting objective or norm is not finite (the
// point goes back to the previous start; at the first start nothing is
// trained). So the point left is always finite. Without an iteration limit
// it also stops after 100 steps in a row that reach no objective below the
// lowest met so far (the starting objective the first reference), which
// ends any cycle. Returns 1, or 0 after "out
// of memory\n" or a first start that is not finite.
int descend(const DescentProblem& problem, const LearningSettings& settings);

// The settings of the spelled-out parameter lists of the classes' training.
LearningSettings learning_settings(double gradThreshold, double nu, double alpha, int maxIter,
                                   int maxArmijoIter, double armijoMultiplier,
                                   double armijoDelta, double maxStepSize, int m);

// The direction scaled so that its largest magnitude is maxStep, when some
// component exceeds maxStep in magnitude; true when it was scaled.
bool cap_direction(double* d, int n, double maxStep);

#endif
