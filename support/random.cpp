// Linear congruential generator returning the 15 high-order bits of its state.
#include "random.h"

#include <cstdint>

namespace {
uint32_t state = 1;  // the seed until seed_random15 is called
}

int random15()
{
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) & 0x7fff);
}

void seed_random15(unsigned seed)
{
    state = seed;
}
