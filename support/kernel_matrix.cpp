// Kernel matrices: the kernel codes, the prefix cache, and centring of a
// training kernel or of new rows against the training rows.
#include "kernel_matrix.h"

#include <cmath>
#include <cstdlib>

#include "matrix.h"
#include "meschach_bridge.h"
#include "scriptrun/messages.h"

namespace {

const double* sample(const DataMatrix* m, int i)
{
    return m->data + static_cast<size_t>(i) * m->cols;
}

// Whole exponents up to this size are taken by repeated multiplication.
const double LARGEST_WHOLE_DEGREE = 1024.0;

// base^exponent: by squaring and multiplying for a whole exponent (many
// times faster than pow, equal to rounding), else by pow.
double power(double base, double exponent)
{
    if (exponent != std::floor(exponent) || std::fabs(exponent) > LARGEST_WHOLE_DEGREE)
        return std::pow(base, exponent);
    double result = 1.0, factor = base;
    for (long e = static_cast<long>(std::fabs(exponent)); e > 0; e >>= 1) {
        if (e & 1)
            result *= factor;
        factor *= factor;
    }
    return exponent < 0 ? 1.0 / result : result;
}

double kernel_of(const KernelMatrix* k, int i, int j)
{
    return kernel_function(sample(k->left, i), sample(k->right, j), k->left->cols, k->type,
                           k->param);
}

// The value at row-major position t = i * rightRows + j: from the cache, or
// computed and appended when t is the next position and there is room.
double cached_value(KernelMatrix* k, int i, int j)
{
    int64_t t = static_cast<int64_t>(i) * k->rightRows + j;
    if (t < k->cacheCount)
        return k->cache[t];
    double v = kernel_of(k, i, j);
    if (t == k->cacheCount && k->cacheCount < k->cacheCapacity)
        k->cache[k->cacheCount++] = v;
    return v;
}

void fill_kernel(KernelMatrix* k, DataMatrix* out)
{
    for (int i = 0; i < k->leftRows; i++) {
        double* row = matrix_row(out, i);
        for (int j = 0; j < k->rightRows; j++)
            row[j] = cached_value(k, i, j);
    }
}

// The kernel of a sample set with itself: every code gives k(x, y) and
// k(y, x) bit for bit alike, so the entries left of the diagonal are copied
// from the rows above; the cache still grows in row-major order with them.
void fill_symmetric_kernel(KernelMatrix* k, DataMatrix* out)
{
    int n = k->leftRows;
    for (int i = 0; i < n; i++) {
        double* row = matrix_row(out, i);
        for (int j = 0; j < i; j++) {
            row[j] = matrix_row(out, j)[i];
            int64_t t = static_cast<int64_t>(i) * n + j;
            if (t == k->cacheCount && k->cacheCount < k->cacheCapacity)
                k->cache[k->cacheCount++] = row[j];
        }
        for (int j = i; j < n; j++)
            row[j] = cached_value(k, i, j);
    }
}

// K_ij - (C_j + R_i) + S / (n n): R_i row means, C_j column means, S the
// sum. K is symmetric, so C_j = R_j (the same sums in the same order) and
// the result is exactly symmetric too.
void centre_training(DataMatrix* out)
{
    int n = out->rows;
    double* mean = static_cast<double*>(std::calloc(n, sizeof(double)));
    if (!mean)
        fatal_message("get_centralized_kernel_matrix: not enough memory!\n");
    double total = 0.0;
    for (int i = 0; i < n; i++) {
        const double* row = matrix_row(out, i);
        for (int j = 0; j < n; j++)
            mean[i] += row[j];
        total += mean[i];
    }
    for (int i = 0; i < n; i++)
        mean[i] /= n;
    double grand = total / (static_cast<double>(n) * n);
    for (int i = 0; i < n; i++) {
        double* row = matrix_row(out, i);
        for (int j = 0; j < n; j++)
            row[j] = row[j] - (mean[j] + mean[i]) + grand;
    }
    std::free(mean);
}

// K_ij - mean_l k(x_i, t_l) - mean_l k(t_l, t_j) + mean_l,l' k(t_l, t_l'),
// x_i the new rows, t_l the training rows; the training kernel is computed
// afresh (m * m values) and never touches the cache.
void centre_new_rows(const KernelMatrix* k, DataMatrix* out)
{
    int n = out->rows, m = out->cols;
    for (int i = 0; i < n; i++) {
        double* row = matrix_row(out, i);
        double sum = 0.0;
        for (int j = 0; j < m; j++)
            sum += row[j];
        for (int j = 0; j < m; j++)
            row[j] -= sum / m;
    }
    double total = 0.0;
    for (int j = 0; j < m; j++) {
        double column = 0.0;
        for (int l = 0; l < m; l++)
            column += kernel_function(sample(k->right, l), sample(k->right, j), k->right->cols,
                                      k->type, k->param);
        for (int i = 0; i < n; i++)
            matrix_row(out, i)[j] -= column / m;
        total += column;
    }
    double grand = total / (static_cast<double>(m) * m);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            matrix_row(out, i)[j] += grand;
}

}  // namespace

KernelMatrix* init_kernel_matrix(DataMatrix* left, DataMatrix* right, int cacheSize)
{
    if (!left || !right || left->cols != right->cols) {
        print_message("init_kernel_matrix: error with sizes!\n");
        return nullptr;
    }
    KernelMatrix* k = static_cast<KernelMatrix*>(std::calloc(1, sizeof(KernelMatrix)));
    if (!k)
        return nullptr;
    k->left = left;
    k->right = right;
    k->leftRows = left->rows;
    k->rightRows = right->rows;
    int64_t positions = static_cast<int64_t>(left->rows) * right->rows;
    if (cacheSize > 0 && positions > 0) {
        int capacity = positions < cacheSize ? static_cast<int>(positions) : cacheSize;
        k->cache = static_cast<double*>(std::malloc(sizeof(double) * capacity));
        if (k->cache)
            k->cacheCapacity = capacity;
        else
            print_message("Cannot create cache!\n");
    }
    return k;
}

void destroy_kernel_matrix(KernelMatrix* k)
{
    if (!k) {
        print_message("destroy_kernel_matrix: empty kernel structure\n!");
        return;
    }
    std::free(k->leftIndex);
    std::free(k->rightIndex);
    std::free(k->cache);
    std::free(k);
}

void set_kernel_type(KernelMatrix* k, int type)
{
    if (!k) {
        print_message("set_kernel_type: empty kernel structure\n!");
        return;
    }
    int8_t code = static_cast<int8_t>(type & 0xff);
    if (code < 0 || code > 3) {
        print_message("set_kernel_type: unknown kernel type!\n");
        return;
    }
    if (code != k->type) {
        k->type = code;
        k->cacheCount = 0;
    }
}

void set_kernel_parameter(KernelMatrix* k, int index, double value)
{
    if (!k) {
        print_message("set_kernel_parameter: empty kernel structure\n!");
        return;
    }
    if (index < 0 || index > 4)
        return;
    if (k->param[index] != value)
        k->cacheCount = 0;
    k->param[index] = value;
}

double kernel_function(const double* x, const double* y, int n, int type, const double* param)
{
    double sum = 0.0;
    switch (type) {
    case 0:
    case 1:
        for (int f = 0; f < n; f++)
            sum += x[f] * y[f];
        return type == 0 ? sum : power(sum + param[1], param[0]);
    case 2:
        for (int f = 0; f < n; f++)
            sum += (x[f] - y[f]) * (x[f] - y[f]);
        return std::exp(-sum / (param[0] * param[0]));
    case 3:
        return inner_product(x, y, n);
    default:
        fatal_message("Unknown kernel type!\n");
    }
}

double kernel_matrix_entry(KernelMatrix* k, int i, int j)
{
    if (!k || i < 0 || i >= k->leftRows || j < 0 || j >= k->rightRows)
        return 0.0;
    return cached_value(k, i, j);
}

void get_centralized_kernel_matrix(KernelMatrix* k, DataMatrix* out)
{
    if (!k || !out || !out->data || out->rows != k->leftRows || out->cols != k->rightRows ||
        out->rows <= 0 || out->cols <= 0)
        return;
    if (k->left == k->right) {
        fill_symmetric_kernel(k, out);
        centre_training(out);
    } else {
        fill_kernel(k, out);
        centre_new_rows(k, out);
    }
}

KernelFault kernel_fault(int type, const double* param, int* parameter)
{
    *parameter = 0;
    if (type < 0 || type > 3)
        return KernelFault::unknown_type;
    for (int p = 0; p < 5; p++)
        if (!std::isfinite(param[p])) {
            *parameter = p;
            return KernelFault::parameter_not_finite;
        }
    // The square, not the width, divides: a width of 1e-200 is as empty as 0.
    if (type == 2 && param[0] * param[0] == 0.0)
        return KernelFault::no_width;
    return KernelFault::none;
}

const char* kernel_fault_text(KernelFault fault)
{
    switch (fault) {
    case KernelFault::unknown_type: return "names no kernel type";
    case KernelFault::parameter_not_finite: return "holds a value that is not a finite number";
    case KernelFault::no_width: return "gives the exponential kernel no width";
    default: return "";
    }
}
