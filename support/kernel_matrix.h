// Kernel values between two sample sets, with a cache of a row-major prefix
// of the kernel matrix, and the centred kernel matrix.
#ifndef SUPPORT_KERNEL_MATRIX_H
#define SUPPORT_KERNEL_MATRIX_H

#include <cstdint>

#include "scriptrun/plugin_api.h"

// Kernel of rows x and y: 0 linear x.y; 1 polynomial (x.y + p1)^p0;
// 2 exponential exp(-|x - y|^2 / p0^2); 3 user, the library's inner product.
struct KernelMatrix {
    DataMatrix* left;    // row samples, features only; not owned
    DataMatrix* right;   // column samples, as many columns as left; not owned
    int8_t type;         // kernel code 0..3
    double param[5];     // p0..p4; zero until the caller sets them
    int leftRows;        // rows of left at creation
    int rightRows;       // rows of right at creation
    int* leftIndex;      // optional row map, owned; never set
    int* rightIndex;     // optional row map, owned; never set
    int cacheCapacity;   // values the cache can hold
    int cacheCount;      // values it holds: positions 0..cacheCount-1
    double* cache;       // cacheCapacity values, position i * rightRows + j; owned
};

KernelMatrix* init_kernel_matrix(DataMatrix* left, DataMatrix* right, int cacheSize);
void destroy_kernel_matrix(KernelMatrix* k);
void set_kernel_type(KernelMatrix* k, int type);
void set_kernel_parameter(KernelMatrix* k, int index, double value);
// Ends the process for a code outside 0..3.
double kernel_function(const double* x, const double* y, int n, int type, const double* param);
double kernel_matrix_entry(KernelMatrix* k, int i, int j);
void get_centralized_kernel_matrix(KernelMatrix* k, DataMatrix* out);

// What keeps a kernel code and its parameters from giving kernel values.
enum class KernelFault {
    none,
    unknown_type,          // a code outside 0..3
    parameter_not_finite,  // one of p0..p4 is NaN or infinite (all are stored)
    no_width               // exponential with p0 * p0 == 0: k(x, x) would be 0/0
};

// The one check of every plug-in that stores or takes a kernel, before the
// kernel is used: the first fault of code and param[0..4], and in *parameter
// the index of the parameter at fault (0 when no parameter is). A degree
// that is not whole is no fault: it gives values that are not finite only
// for negative bases, which the callers catch row by row.
KernelFault kernel_fault(int type, const double* param, int* parameter);

// The fault in words, to follow what holds it: "names no kernel type",
// "holds a value that is not a finite number", "gives the exponential
// kernel no width".
const char* kernel_fault_text(KernelFault fault);

#endif
