// The line search and the four training processes of a learning race.
#ifndef NEURNET_TRAINING_H
#define NEURNET_TRAINING_H

#include <string>

#include "plugins/neurnet/error_functions.h"

enum class ProcessKind { none, back, conj, lbfgs_2, lbfgs_m };

// One process element's settings; which fields apply depends on the kind.
struct ProcessSettings {
    ProcessKind kind = ProcessKind::none;  // which training process
    double learning_rate = 0.3;            // back: step of the online update
    double momentum_factor = 0.0;          // back: weight of the previous change
    int m = 7;                             // L-BFGS: correction pairs kept
    double alpha0 = 1.0;                   // line search: first step length
    double alpha_multiplier = 0.4;         // line search: step shrink factor, in (0, 1)
    int num_of_max_iter = 4;               // line search: trials at most
    double max_jump = 0.4;                 // line search: largest direction component, > 0
    double error_level = 0.0;              // stop at a mean error this low
};

// The objective of the batch optimisers: f(x), gradient into g.
typedef double (*Objective)(const double* x, double* g);

// Backtracking along -r from xPrev (r clamped in place so that its largest
// component is max_jump). Stops at the first trial below *f, or after
// num_of_max_iter trials keeping the last one, unless that one is not
// finite: then it returns to xPrev. x, g and *f hold the point chosen.
void line_search(double n, double max_jump, double num_of_max_iter, double alpha0,
                 double alpha_multiplier, const double* xPrev, double* x, const double* gPrev,
                 double* g, double* f, double* r, Objective objective);

// Rows and stopping rules shared by the processes of a race.
struct TrainingRows {
    const double* const* learn;  // learning rows
    int learn_count;             // number of learning rows
    const double* const* test;   // test rows
    int test_count;              // number of test rows
    double break_if_test_ratio;  // stop at this test hit ratio (off at 1 or more)
    int max_iter_num;            // stop after this many iterations (no limit at 0 or less)
};

// Each returns the epochs or iterations done, or -1 after a message when
// memory ran out or the error at the start is not a finite number (nothing
// is trained then). A step or epoch that changes no weight, and so would
// be repeated for ever, ends the process. Without an iteration limit a
// process also ends after stall_steps steps in a row whose error is not
// below the lowest met so far by more than a few times its rounding (see
// training.cpp); *stalled, when given, is set when it ended so. A
// conjugate-gradient step that raised the error is taken back, and the
// direction starts anew from the gradient.
int train_backprop(Network* network, const TrainingRows& rows,
                   const ProcessSettings& settings, ErrorFunction error, bool* stalled);
int train_conjgrad(Network* network, const TrainingRows& rows,
                   const ProcessSettings& settings, ErrorFunction error, bool* stalled);
int train_lbfgs_2loop(Network* network, const TrainingRows& rows,
                      const ProcessSettings& settings, ErrorFunction error, bool* stalled);
int train_lbfgs_mx_repr(Network* network, const TrainingRows& rows,
                        const ProcessSettings& settings, ErrorFunction error, bool* stalled);

// Steps in a row without a new lowest error that end a process with no
// iteration limit, and the words that the console and the history give
// for that end. Training that still improves can wander long before its
// next lowest: online back-propagation's epoch error jumps about, and
// L-BFGS runs on the iris rows went up to some 5000 steps between new
// lowest values; twice that leaves them their course.
constexpr int stall_steps = 10000;
std::string stall_text();

#endif
