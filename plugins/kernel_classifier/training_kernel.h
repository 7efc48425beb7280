// Kernel values of a class's training, row by row: the whole matrix kept
// while it fits a memory budget, otherwise asked of the kernel record (and
// its cache) each time.
#ifndef KERNEL_CLASSIFIER_TRAINING_KERNEL_H
#define KERNEL_CLASSIFIER_TRAINING_KERNEL_H

struct KernelMatrix;

// Largest kernel matrix kept whole, in bytes: 1 GiB unless changed (tests
// change it to take the other road).
void set_kept_kernel_budget(long long bytes);

// Computes and keeps k's values when they fit the budget; a matrix kept for
// an identical kernel over the same rows (the previous class's) is reused.
// False when the values are not kept.
bool keep_training_kernel(KernelMatrix* k);

// Ends the kept values' service to their record (which is about to be
// destroyed); they stay for reuse by an identical kernel.
void detach_training_kernel();

// Frees the kept values.
void release_training_kernel();

// K(i, j) for j = 0..right rows - 1: the kept row, or the values asked of k
// in order and written to scratch.
const double* kernel_row(KernelMatrix* k, int i, double* scratch);

// out[i] = sum_j K(i, j) w[j] for every row i, each sum taken in the order
// of j (the same numbers as row by row); scratch holds one row. The result
// of the last call is kept and given again for the same kernel and vector.
void kernel_products(KernelMatrix* k, const double* w, double* out, double* scratch);

// Drops the kept result (the kernel it belongs to may go away).
void forget_kernel_products();

// Replaces k's cache with an empty one of min(request, left x right rows)
// values; none for a request of 0 or below. Prints "Cannot create cache!\n"
// when it cannot be had.
void create_kernel_cache(KernelMatrix* k, int request);

#endif
