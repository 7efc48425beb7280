// The four training processes: online back-propagation, and the batch
// frame (direction, then line search) of conjugate gradient and both
// L-BFGS variants, with their stopping rules and progress lines.
#include "plugins/neurnet/training.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include <unistd.h>

#include "plugins/lbfgs/lbfgs_2loop.h"
#include "plugins/neurnet/conjgrad.h"
#include "plugins/neurnet/lbfgs_mx_repr.h"
#include "scriptrun/messages.h"

namespace {

// Error or count divided by a row count; 0 over no rows.
double per_row(double value, int rows)
{
    return rows > 0 ? value / rows : 0.0;
}

double test_ratio(Network* network, const TrainingRows& rows)
{
    double ratio = 0.0, squared = 0.0;
    test_network(network, rows.test, rows.test_count, &ratio, &squared);
    return ratio;
}

// A direction module: init, direction and free, and where its line-search
// progress lines go.
struct DirectionModule {
    int (*init)(int n, int m);  // 1 on success, 0 after its message
    double* (*direction)(const double*, const double*, const double*, const double*, int);
    void (*release)();
    bool progress_on_stdout;    // the two-loop process prints its search lines there
    bool prints_ratio;          // the L-BFGS processes print the test ratio each iteration
    bool keeps_rise;            // a step that raised the error stays (L-BFGS: its pair informs)
    double (*store_bytes)(double n, double m);  // what init takes, allocation overhead included
};

int conjgrad_init_m(int n, int)
{
    return conjgrad_init(n);
}

double conjgrad_bytes(double n, double)
{
    return 16 * n;
}

// A slot vector of n doubles each for s and y, rho, alpha, beta and two
// slot pointers per pair; four vectors of n.
double lbfgs_2loop_bytes(double n, double m)
{
    return m * (2 * (8 * n + 16) + 40) + 32 * n;
}

// Rows of n for S and Y, three m x m matrices, seven vectors of m, row
// pointers, four vectors of n.
double lbfgs_mx_repr_bytes(double n, double m)
{
    return 8 * (2 * m * n + 3 * m * m + 7 * m + 4 * n) + 40 * m;
}

// The number of the first line of the file that format reads, times unit;
// HUGE_VAL when the file or the line is missing.
double read_memory_file(const char* path, const char* format, double unit)
{
    double limit = HUGE_VAL;
    FILE* file = std::fopen(path, "r");
    if (!file) return limit;
    char line[256];
    unsigned long long value = 0;
    while (std::fgets(line, sizeof line, file))
        if (std::sscanf(line, format, &value) == 1) {
            limit = static_cast<double>(value) * unit;
            break;
        }
    std::fclose(file);
    return limit;
}

// Bytes the system can still serve without killing the process: the
// memory it reports available, within the control group's limit.
double memory_available()
{
    double available = read_memory_file("/proc/meminfo", "MemAvailable: %llu kB", 1024.0);
    if (available == HUGE_VAL) {
        const long pages = sysconf(_SC_AVPHYS_PAGES), size = sysconf(_SC_PAGESIZE);
        if (pages > 0 && size > 0) available = static_cast<double>(pages) * size;
    }
    const double limit = read_memory_file("/sys/fs/cgroup/memory.max", "%llu", 1.0);
    const double used = read_memory_file("/sys/fs/cgroup/memory.current", "%llu", 1.0);
    if (limit != HUGE_VAL && used != HUGE_VAL) available = std::min(available, limit - used);
    return available;
}

// A memory the system cannot serve is refused before it is asked for: the
// compact store is taken whole at the start, the two-loop store grows with
// its pairs up to all of them when no iteration limit stops it, and a system
// short of memory kills the process rather than fail the allocation. Half of
// what is available leaves room for the rest of the process and for
// whatever else runs.
bool store_fits(const DirectionModule& module, int n, int pairs)
{
    if (module.store_bytes(n, pairs) <= memory_available() / 2) return true;
    print_message("a memory of %d correction pairs for %d weights would not fit\n", pairs, n);
    print_message("out of memory\n");
    return false;
}

// A process starts only from a finite error: from an infinite one (units
// saturated against their targets under cross entropy) no step can be
// judged better, and a network that gives no number has nothing to learn
// from.
bool finite_start(double total)
{
    if (std::isfinite(total)) return true;
    print_message("the error at the start of the process is not a finite number; nothing is "
                  "trained\n");
    return false;
}

bool finite_vector(const double* v, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

void progress(const DirectionModule& module, const char* text)
{
    if (module.progress_on_stdout) {
        std::fputs(text, stdout);
        std::fflush(stdout);
    } else {
        print_message("%s", text);
    }
}

// Four vectors of n doubles, zeroed, for the batch frame.
struct FrameVectors {
    std::vector<double> x, xPrev, g, gPrev;
};

bool make_vectors(int n, FrameVectors* v)
{
    try {
        v->x.assign(n, 0.0);
        v->xPrev.assign(n, 0.0);
        v->g.assign(n, 0.0);
        v->gPrev.assign(n, 0.0);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// A process without an iteration limit could otherwise go on for ever on
// steps too small to matter: units nearly saturated still move each weight
// by some 1e-11 an epoch and leave the error where it was. The error is a
// sum of `terms` non-negative terms (rows times outputs), so its rounding is
// at most about terms * DBL_EPSILON of its value; a step makes progress
// when its error lies below the lowest met so far by more than
// stall_margin times that. The lowest starts at the error at the start, so
// that a first step that raises the error sets no reference from which
// every later step would count as new. A new lowest by such a margin can be
// met only finitely often, so stall_steps steps in a row without one end
// the process.
constexpr double stall_margin = 4.0;

struct StallWatch {
    double lowest;    // lowest error met so far
    double relative;  // margin of progress, relative to lowest
    int steps = 0;    // steps in a row without progress
};

StallWatch stall_watch(double start, const Network* network, int rows)
{
    const double terms = static_cast<double>(rows) * network->layers[network->last].count;
    return StallWatch{start, stall_margin * std::max(terms, 1.0) * DBL_EPSILON};
}

// Counts the step of this error; true, after saying so, when it ends a
// process that has no iteration limit.
bool stall_ends(StallWatch* watch, double error, const TrainingRows& rows, bool* stalled)
{
    const bool progress = error < watch->lowest - watch->relative * watch->lowest;
    watch->steps = progress ? 0 : watch->steps + 1;
    watch->lowest = std::fmin(watch->lowest, error);
    if (rows.max_iter_num > 0 || watch->steps < stall_steps) return false;
    print_message("%s: the process stops\n", stall_text().c_str());
    if (stalled) *stalled = true;
    return true;
}

// The frame's set-up: direction memory, vectors, the error at the start.
// False after a message (memory, or an error at the start that is not a
// finite number), with nothing left allocated.
bool start_batch(Network* network, const TrainingRows& rows, const ProcessSettings& settings,
                 const DirectionModule& module, FrameVectors* v, double* f)
{
    const int n = weight_count(network);
    // No more pairs than the process has iterations can ever be stored: a
    // larger memory gives the same directions and only costs room (the
    // compact one takes m x m of it).
    const int pairs = rows.max_iter_num > 0 && settings.m > rows.max_iter_num
                          ? rows.max_iter_num : settings.m;
    if (!store_fits(module, n, pairs) || !module.init(n, pairs)) return false;
    if (!make_vectors(n, v)) {
        print_message("out of memory\n");
        module.release();
        return false;
    }
    get_weight_vector(network, v->x.data());
    *f = optim_objective(v->x.data(), v->g.data());
    if (finite_start(*f)) return true;
    module.release();
    return false;
}

enum class StepEnd { kept, taken_back, no_direction };

// One step of the frame: direction k, then the line search along it. The
// conjugate gradient does not keep a step that raised the error: the
// network, x, g and f go back to where the step started.
StepEnd batch_step(Network* network, const ProcessSettings& settings,
                   const DirectionModule& module, int k, FrameVectors* v, double* f)
{
    const int n = static_cast<int>(v->x.size());
    double* r = module.direction(v->x.data(), v->xPrev.data(), v->g.data(), v->gPrev.data(), k);
    // No step can be taken along it, and the next call would give it again.
    if (!finite_vector(r, n)) {
        print_message("the search direction is not a finite number; the process stops\n");
        return StepEnd::no_direction;
    }
    v->gPrev = v->g;
    v->xPrev = v->x;
    const double start = *f;
    progress(module, "starting line search\n");
    line_search(n, settings.max_jump, settings.num_of_max_iter, settings.alpha0,
                settings.alpha_multiplier, v->xPrev.data(), v->x.data(), v->gPrev.data(),
                v->g.data(), f, r, optim_objective);
    progress(module, "line search finished\n");
    if (module.keeps_rise || !(*f > start)) return StepEnd::kept;
    v->x = v->xPrev;
    v->g = v->gPrev;
    *f = start;
    set_weight_vector(network, v->x.data());
    print_message("the step raised the error and is taken back\n");
    return StepEnd::taken_back;
}

int train_batch(Network* network, const TrainingRows& rows, const ProcessSettings& settings,
                ErrorFunction error, const DirectionModule& module, bool* stalled)
{
    set_optim_objective_context(network, rows.learn, rows.learn_count, error);
    FrameVectors v;
    double f = 0.0;
    if (!start_batch(network, rows, settings, module, &v, &f)) return -1;
    StallWatch watch = stall_watch(f, network, rows.learn_count);
    int i = 0;
    for (int restart = 0;;) {
        const StepEnd end = batch_step(network, settings, module, i - restart, &v, &f);
        if (end == StepEnd::no_direction) break;
        print_message("mean error:%f\n", per_row(f, rows.learn_count));
        if (module.prints_ratio) print_message("ratio:%f\n", test_ratio(network, rows));
        ++i;
        if (i == rows.max_iter_num) break;
        if (rows.break_if_test_ratio < 1 && test_ratio(network, rows) >= rows.break_if_test_ratio)
            break;
        if (per_row(f, rows.learn_count) <= settings.error_level) break;
        // A step taken back is followed by one along the gradient, as at the
        // start; when that one is taken back too, every later one would
        // repeat it. Otherwise the next step would start where this one did
        // and take the same direction (a gradient of exact zeros, or no
        // trial that was kept).
        if (end == StepEnd::taken_back && i - 1 > restart) {
            restart = i;
        } else if (v.x == v.xPrev) {
            print_message("no weight changed in this step: the process stops\n");
            break;
        }
        if (stall_ends(&watch, f, rows, stalled)) break;
    }
    module.release();
    return i;
}

// True when some connection's weight differs from its value before the
// last online update, so that the momentum term still moves it.
bool momentum_carried(const Network* network)
{
    for (int i = 0; i < network->last; ++i)
        for (const Neuron& n : network->layers[i].neurons)
            for (const Connection& c : n.conns)
                if (c.weight != c.prev_weight) return true;
    return false;
}

// Epochs until a stopping rule fires. An epoch that changed no weight and
// started with no momentum carried leaves the network as it found it, so
// every later epoch would repeat it: the process stops there.
int backprop_epochs(Network* network, const TrainingRows& rows, const ProcessSettings& settings,
                    ErrorFunction error, StallWatch watch, bool* stalled)
{
    std::vector<double> before(static_cast<size_t>(weight_count(network))), after(before.size());
    for (int i = 1;; ++i) {
        get_weight_vector(network, before.data());
        const bool carried = momentum_carried(network);
        const double total = backprop_epoch(network, rows.learn, rows.learn_count,
                                            settings.learning_rate, settings.momentum_factor,
                                            error);
        const double mean = per_row(total, rows.learn_count);
        print_message("mean error:%f\n", mean);
        const double ratio = test_ratio(network, rows);
        print_message("ratio:%f\n", ratio);
        if (i == rows.max_iter_num) return i;
        if (!weights_finite(network)) return i;  // diverged: no epoch brings it back
        if (rows.break_if_test_ratio < 1 && ratio >= rows.break_if_test_ratio) return i;
        if (mean <= settings.error_level) return i;
        get_weight_vector(network, after.data());
        if (!carried && after == before) {
            print_message("no weight changed in this epoch: the process stops\n");
            return i;
        }
        if (stall_ends(&watch, total, rows, stalled)) return i;
    }
}

}  // namespace

std::string stall_text()
{
    return "the error has reached no new lowest value in " + std::to_string(stall_steps) +
           " steps";
}

int train_backprop(Network* network, const TrainingRows& rows,
                   const ProcessSettings& settings, ErrorFunction error, bool* stalled)
{
    const double start = batch_gradient(network, rows.learn, rows.learn_count, error);
    if (!finite_start(start)) return -1;
    try {
        return backprop_epochs(network, rows, settings, error,
                               stall_watch(start, network, rows.learn_count), stalled);
    } catch (const std::bad_alloc&) {
        print_message("out of memory\n");
        return -1;
    }
}

int train_conjgrad(Network* network, const TrainingRows& rows,
                   const ProcessSettings& settings, ErrorFunction error, bool* stalled)
{
    const DirectionModule module{conjgrad_init_m, conjgrad_direction, conjgrad_free, false,
                                 false, false, conjgrad_bytes};
    return train_batch(network, rows, settings, error, module, stalled);
}

int train_lbfgs_2loop(Network* network, const TrainingRows& rows,
                      const ProcessSettings& settings, ErrorFunction error, bool* stalled)
{
    const DirectionModule module{lbfgs_2loop_init, lbfgs_2loop_direction, lbfgs_2loop_free,
                                 true, true, true, lbfgs_2loop_bytes};
    return train_batch(network, rows, settings, error, module, stalled);
}

int train_lbfgs_mx_repr(Network* network, const TrainingRows& rows,
                        const ProcessSettings& settings, ErrorFunction error, bool* stalled)
{
    const DirectionModule module{lbfgs_mx_repr_init, lbfgs_mx_repr_direction,
                                 lbfgs_mx_repr_free, false, true, true, lbfgs_mx_repr_bytes};
    return train_batch(network, rows, settings, error, module, stalled);
}
