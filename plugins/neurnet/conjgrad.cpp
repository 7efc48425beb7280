// Conjugate-gradient memory: the previous search direction, no restarts.
#include "plugins/neurnet/conjgrad.h"

#include <cstdlib>

#include "scriptrun/messages.h"

namespace {

struct ConjgradMemory {
    int n = 0;               // vector length
    double* r = nullptr;     // n: the vector returned to the caller
    double* dPrev = nullptr; // n: the previous search direction (unclamped)
};

ConjgradMemory memory;

}  // namespace

int conjgrad_init(int n)
{
    conjgrad_free();
    const size_t size = n > 0 ? n : 1;
    memory.r = static_cast<double*>(std::calloc(size, sizeof(double)));
    memory.dPrev = static_cast<double*>(std::calloc(size, sizeof(double)));
    if (!memory.r || !memory.dPrev) {
        conjgrad_free();
        print_message("Out of memory\n");
        return 0;
    }
    memory.n = n;
    return 1;
}

double* conjgrad_direction(const double*, const double*, const double* g,
                           const double* gPrev, int k)
{
    const int n = memory.n;
    if (k > 0 && n > 0) {
        double a = 0.0, b = 0.0;
        for (int i = 0; i < n; ++i) {
            a += g[i] * g[i];
            b += gPrev[i] * gPrev[i];
        }
        if (b != 0.0) {
            for (int i = 0; i < n; ++i) {
                memory.dPrev[i] = (a / b) * memory.dPrev[i] - g[i];
                memory.r[i] = -memory.dPrev[i];
            }
            return memory.r;
        }
    }
    for (int i = 0; i < n; ++i) {
        memory.r[i] = g[i];
        memory.dPrev[i] = -g[i];
    }
    return memory.r;
}

void conjgrad_free()
{
    std::free(memory.r);
    std::free(memory.dPrev);
    memory = ConjgradMemory();
}
