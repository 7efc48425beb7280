// The 15-bit pseudo-random generator: whole numbers 0..32767. Each deliverable
// links its own copy and so has its own state; the state is 1 until seeded.
#ifndef RANDOM_H
#define RANDOM_H

// Next number of the sequence, 0..32767.
int random15();

// Restarts the sequence; also the hook tests use to make draws repeatable.
void seed_random15(unsigned seed);

#endif
