// Seeds from the current time, through a replaceable source.
#include "nettools/seed_clock.h"

#include <ctime>

namespace {
SeedClock installed = nullptr;  // null: the real clock
}

unsigned seed_from_clock()
{
    return installed ? installed() : static_cast<unsigned>(std::time(nullptr));
}

void set_seed_clock(SeedClock clock)
{
    installed = clock;
}
