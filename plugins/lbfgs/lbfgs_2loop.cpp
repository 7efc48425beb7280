// Two-loop L-BFGS recursion. The correction pairs live in a ring that grows
// as pairs arrive, up to the m the caller asked for, so that a large m costs
// only the room of the pairs an optimisation really stores; storing a pair
// copies that one pair.
#include "plugins/lbfgs/lbfgs_2loop.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "plugins/lbfgs/correction_pair.h"
#include "scriptrun/messages.h"

namespace {

struct Lbfgs2LoopMemory {
    bool ready = false;              // lbfgs_2loop_init succeeded
    int n = 0;                       // length of every vector
    int m = 0;                       // most correction pairs kept
    int capacity = 0;                // pairs the ring has room for (count <= capacity <= m)
    int count = 0;                   // pairs stored
    int newest = -1;                 // ring position of the newest pair
    std::vector<double> S;           // capacity x n: position differences
    std::vector<double> Y;           // capacity x n: gradient differences
    std::vector<double> rho;         // capacity: 1/(y.s) per pair
    std::vector<double> alpha;       // capacity: first-loop coefficients of the last call
    std::vector<double> direction;   // n (at least 1): the returned vector
    std::vector<double> gradient;    // n: copy of the last call's gradient
    std::vector<double> s;           // n: position difference of the last call
    std::vector<double> y;           // n: gradient difference of the last call
};

Lbfgs2LoopMemory memory;  // this deliverable's one optimiser memory

double dot(const double* a, const double* b, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

// Ring position of the i-th newest pair (0 the newest), without a sum that
// could pass the range of an int in a ring of more than 2^30 pairs.
int position(int i)
{
    const int at = memory.newest - i;
    return at < 0 ? at + memory.capacity : at;
}

// Doubles the ring's room (at most m), the pairs laid out oldest first.
// When the room cannot be had, the ring keeps the room it has and from then
// on drops its oldest pair for each new one, as a smaller m would.
void grow()
{
    const int n = memory.n;
    // Doubled in a wider type: past 2^30 pairs twice the room overflows an int.
    const int capacity = static_cast<int>(
        std::min<long long>(memory.m, std::max(1LL, 2LL * memory.capacity)));
    try {
        std::vector<double> S(static_cast<size_t>(capacity) * n), Y(S.size());
        std::vector<double> rho(capacity), alpha(capacity);
        for (int i = 0; i < memory.count; ++i) {
            int from = position(memory.count - 1 - i);
            std::copy_n(&memory.S[static_cast<size_t>(from) * n], n, &S[static_cast<size_t>(i) * n]);
            std::copy_n(&memory.Y[static_cast<size_t>(from) * n], n, &Y[static_cast<size_t>(i) * n]);
            rho[i] = memory.rho[from];
        }
        memory.S.swap(S);
        memory.Y.swap(Y);
        memory.rho.swap(rho);
        memory.alpha.swap(alpha);
        memory.newest = memory.count - 1;
        memory.capacity = capacity;
    } catch (const std::bad_alloc&) {
        print_message("lbfgs_2loop_direction: out of memory; %d correction pairs are kept\n",
                      memory.capacity);
        memory.m = memory.capacity;
    }
}

// The last call's pair becomes the newest, over the oldest when the ring is
// full.
void store_pair(double sy)
{
    if (memory.count == memory.capacity && memory.capacity < memory.m)
        grow();
    if (memory.capacity == 0)
        return;
    memory.newest = (memory.newest + 1) % memory.capacity;
    if (memory.count < memory.capacity)
        ++memory.count;
    const size_t at = static_cast<size_t>(memory.newest) * memory.n;
    std::copy(memory.s.begin(), memory.s.end(), memory.S.begin() + at);
    std::copy(memory.y.begin(), memory.y.end(), memory.Y.begin() + at);
    memory.rho[memory.newest] = 1.0 / sy;
}

}  // namespace

int lbfgs_2loop_init(int n, int m)
{
    memory = Lbfgs2LoopMemory();  // a run that never freed its memory does not leak it
    if (n < 0) {
        print_message("lbfgs_2loop_init: bad size (n=%d, m=%d)\n", n, m);
        return 0;
    }
    // A memory of no pairs (m of 0 or below) is plain steepest descent: every
    // call returns the gradient unchanged.
    memory.n = n;
    memory.m = m < 0 ? 0 : m;
    try {
        memory.direction.assign(std::max(n, 1), 0.0);
        memory.gradient.assign(n, 0.0);
        memory.s.assign(n, 0.0);
        memory.y.assign(n, 0.0);
    } catch (const std::bad_alloc&) {
        memory = Lbfgs2LoopMemory();
        print_message("out of memory\n");
        return 0;
    }
    memory.ready = true;
    return 1;
}

// Slots that hold no pair yet count as zero pairs, which change nothing, so
// the recursion runs over the newest min(k, m, pairs stored) pairs; the
// initial scaling uses the newest pair's rho, 1.0 before any pair.
double* lbfgs_2loop_direction(const double* x, const double* xPrev,
                              const double* g, const double* gPrev, int k)
{
    if (!memory.ready) return nullptr;  // used without lbfgs_2loop_init
    const int n = memory.n;
    double yy = 0.0, sy = 0.0;
    correction_pair(x, xPrev, g, gPrev, n, memory.s.data(), memory.y.data(),
                    memory.gradient.data(), &yy, &sy);
    const int used = std::min(k, memory.m);
    if (sy > 0 && used > 0) store_pair(sy);
    double* d = memory.direction.data();
    std::copy_n(g, n, d);
    if (used <= 0) return d;

    const int pairs = std::min(used, memory.count);
    for (int i = 0; i < pairs; ++i) {
        const int j = position(i);
        const double* Sj = &memory.S[static_cast<size_t>(j) * n];
        const double* Yj = &memory.Y[static_cast<size_t>(j) * n];
        memory.alpha[j] = memory.rho[j] * dot(Sj, d, n);
        for (int t = 0; t < n; ++t) d[t] -= memory.alpha[j] * Yj[t];
    }
    // Initial scaling (s.y)/(y.y) when this call's pair was stored. A zero
    // or non-finite divisor (the gradient did not change) leaves d unscaled.
    const double scale = yy * (memory.count > 0 ? memory.rho[memory.newest] : 1.0);
    if (scale != 0.0 && std::isfinite(scale))
        for (int t = 0; t < n; ++t) d[t] /= scale;
    for (int i = pairs - 1; i >= 0; --i) {
        const int j = position(i);
        const double* Sj = &memory.S[static_cast<size_t>(j) * n];
        const double* Yj = &memory.Y[static_cast<size_t>(j) * n];
        const double beta = memory.rho[j] * dot(Yj, d, n);
        for (int t = 0; t < n; ++t) d[t] += (memory.alpha[j] - beta) * Sj[t];
    }
    return d;
}

void lbfgs_2loop_free()
{
    memory = Lbfgs2LoopMemory();
}
