// Two-loop L-BFGS recursion. Pairs enter at the newest end of a ring of slot
// pointers, so storing a pair copies one pair and moves m pointers.
#include "plugins/lbfgs/lbfgs_2loop.h"

#include <cmath>
#include <cstdlib>
#include <initializer_list>

#include "plugins/lbfgs/correction_pair.h"
#include "scriptrun/messages.h"

namespace {

struct Lbfgs2LoopMemory {
    int n = 0;                    // length of every vector
    int m = 0;                    // correction pairs kept
    double** S = nullptr;         // m slots of n: position differences, slot m-1 newest
    double** Y = nullptr;         // m slots of n: gradient differences, same order
    double* rho = nullptr;        // m: 1/(y.s) per slot, 1.0 in an empty slot
    double* alpha = nullptr;      // m: first-loop coefficients of the last call
    double* beta = nullptr;       // m: second-loop coefficients of the last call
    double* direction = nullptr;  // n: the returned vector
    double* gradient = nullptr;   // n: copy of the last call's gradient
    double* s = nullptr;          // n: position difference of the last call
    double* y = nullptr;          // n: gradient difference of the last call
};

Lbfgs2LoopMemory memory;  // this deliverable's one optimiser memory

// Zero-filled doubles; at least one so that a length of 0 is no failure.
double* zeros(int count)
{
    return static_cast<double*>(std::calloc(count > 0 ? count : 1, sizeof(double)));
}

void release_slots(double** slots, int m)
{
    if (!slots) return;
    for (int j = 0; j < m; ++j) std::free(slots[j]);
    std::free(slots);
}

void release_all()
{
    release_slots(memory.S, memory.m);
    release_slots(memory.Y, memory.m);
    for (double* p : {memory.rho, memory.alpha, memory.beta, memory.direction,
                      memory.gradient, memory.s, memory.y})
        std::free(p);
    memory = Lbfgs2LoopMemory();
}

// m slot vectors of n zeros each; null when any allocation fails (the
// partial array is left for release_all, whose free takes null entries).
double** make_slots(int m, int n)
{
    auto slots = static_cast<double**>(std::calloc(m > 0 ? m : 1, sizeof(double*)));
    if (!slots) return nullptr;
    for (int j = 0; j < m; ++j) {
        slots[j] = zeros(n);
        if (!slots[j]) {
            release_slots(slots, m);
            return nullptr;
        }
    }
    return slots;
}

double dot(const double* a, const double* b, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

// Moves every slot down by one; the dropped oldest buffers become slot m-1
// and receive the new pair.
void store_pair(double sy)
{
    const int m = memory.m;
    double* oldS = memory.S[0];
    double* oldY = memory.Y[0];
    for (int j = 0; j + 1 < m; ++j) {
        memory.S[j] = memory.S[j + 1];
        memory.Y[j] = memory.Y[j + 1];
        memory.rho[j] = memory.rho[j + 1];
    }
    for (int i = 0; i < memory.n; ++i) {
        oldS[i] = memory.s[i];
        oldY[i] = memory.y[i];
    }
    memory.S[m - 1] = oldS;
    memory.Y[m - 1] = oldY;
    memory.rho[m - 1] = 1.0 / sy;
}

}  // namespace

int lbfgs_2loop_init(int n, int m)
{
    release_all();  // a run that never freed its memory does not leak it
    if (n < 0) {
        print_message("lbfgs_2loop_init: bad size (n=%d, m=%d)\n", n, m);
        return 0;
    }
    // A memory of no pairs (m of 0 or below) is plain steepest descent: every
    // call returns the gradient unchanged.
    if (m < 0) m = 0;
    memory.n = n;
    memory.m = m;
    memory.rho = zeros(m);
    memory.alpha = zeros(m);
    memory.beta = zeros(m);
    memory.direction = zeros(n);
    memory.gradient = zeros(n);
    memory.s = zeros(n);
    memory.y = zeros(n);
    memory.S = make_slots(m, n);
    memory.Y = make_slots(m, n);
    if (!memory.rho || !memory.alpha || !memory.beta || !memory.direction ||
        !memory.gradient || !memory.s || !memory.y || !memory.S || !memory.Y) {
        release_all();
        print_message("out of memory\n");
        return 0;
    }
    for (int j = 0; j < m; ++j) memory.rho[j] = 1.0;
    return 1;
}

double* lbfgs_2loop_direction(const double* x, const double* xPrev,
                              const double* g, const double* gPrev, int k)
{
    const int n = memory.n;
    const int m = memory.m;
    if (!memory.direction) return nullptr;  // used without lbfgs_2loop_init
    double yy = 0.0, sy = 0.0;
    correction_pair(x, xPrev, g, gPrev, n, memory.s, memory.y, memory.gradient, &yy, &sy);
    const int used = k < m ? k : m;
    if (sy > 0 && used > 0) store_pair(sy);
    double* d = memory.direction;
    for (int i = 0; i < n; ++i) d[i] = g[i];
    if (used <= 0) return d;

    for (int j = m - 1; j >= m - used; --j) {
        memory.alpha[j] = memory.rho[j] * dot(memory.S[j], d, n);
        for (int i = 0; i < n; ++i) d[i] -= memory.alpha[j] * memory.Y[j][i];
    }
    // Initial scaling (s.y)/(y.y) when this call's pair was stored. A zero
    // or non-finite divisor (the gradient did not change) leaves d unscaled.
    const double scale = yy * memory.rho[m - 1];
    if (scale != 0.0 && std::isfinite(scale))
        for (int i = 0; i < n; ++i) d[i] /= scale;
    for (int j = m - used; j < m; ++j) {
        memory.beta[j] = memory.rho[j] * dot(memory.Y[j], d, n);
        for (int i = 0; i < n; ++i)
            d[i] += (memory.alpha[j] - memory.beta[j]) * memory.S[j][i];
    }
    return d;
}

void lbfgs_2loop_free()
{
    release_all();
}
