// The seed that the random starts and the training epochs take from the
// clock: the current time in seconds, or a fixed source that tests install.
#ifndef NETTOOLS_SEED_CLOCK_H
#define NETTOOLS_SEED_CLOCK_H

typedef unsigned (*SeedClock)();

// The current time in seconds (or what the installed source returns).
unsigned seed_from_clock();
// Installs another source; null restores the clock.
void set_seed_clock(SeedClock clock);

#endif
