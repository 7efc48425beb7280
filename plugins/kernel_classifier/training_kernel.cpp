// The kept kernel matrix. Every objective and gradient pass reads all N^2
// kernel values; keeping them turns each pass into a matrix-vector product.
// The values are those the kernel record gives, so results do not change.
#include "plugins/kernel_classifier/training_kernel.h"

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "scriptrun/messages.h"
#include "support/kernel_matrix.h"

namespace {

// The kept matrix and the kernel it was computed for.
struct KeptKernel {
    const KernelMatrix* owner = nullptr;  // the record it now serves
    double* values = nullptr;             // rows x cols, row by row; owned
    int rows = 0, cols = 0;               // its size
    int8_t type = 0;                      // kernel code it was computed with
    double param[5] = {};                 // and parameters
    const double* left = nullptr;         // left and right sample data it covers
    const double* right = nullptr;
};

KeptKernel kept;
long long kept_kernel_budget = 1LL << 30;  // bytes

// The last kernel_products call: an iteration asks for the products of the
// same vector more than once (the gradient and the objective at its start,
// the last trial and the report of the point taken).
struct LastProducts {
    const KernelMatrix* kernel = nullptr;  // kernel of the call; null: none held
    std::vector<double> w;                 // its vector
    std::vector<double> out;               // and its result
};

LastProducts last;

bool same_kernel(const KernelMatrix* k)
{
    return kept.values != nullptr && kept.rows == k->leftRows && kept.cols == k->rightRows &&
           kept.type == k->type && std::memcmp(kept.param, k->param, sizeof kept.param) == 0 &&
           kept.left == k->left->data && kept.right == k->right->data;
}

}  // namespace

void set_kept_kernel_budget(long long bytes)
{
    kept_kernel_budget = bytes;
}

bool keep_training_kernel(KernelMatrix* k)
{
    if (k == nullptr || k->left == nullptr || k->right == nullptr)
        return false;
    if (same_kernel(k)) {
        kept.owner = k;
        return true;
    }
    release_training_kernel();
    long long count = static_cast<long long>(k->leftRows) * k->rightRows;
    if (count <= 0 || count > kept_kernel_budget / static_cast<long long>(sizeof(double)))
        return false;
    kept.values = static_cast<double*>(std::malloc(sizeof(double) * count));
    if (kept.values == nullptr)
        return false;
    // A sample set with itself: every kernel code gives k(x, y) and k(y, x)
    // bit for bit alike, so the values left of the diagonal are copied.
    bool symmetric = k->left->data == k->right->data && k->leftRows == k->rightRows;
    for (int i = 0; i < k->leftRows; i++) {
        double* row = kept.values + static_cast<size_t>(i) * k->rightRows;
        int j = 0;
        for (; symmetric && j < i; j++)
            row[j] = kept.values[static_cast<size_t>(j) * k->rightRows + i];
        for (; j < k->rightRows; j++)
            row[j] = kernel_matrix_entry(k, i, j);
    }
    kept.owner = k;
    kept.rows = k->leftRows;
    kept.cols = k->rightRows;
    kept.type = k->type;
    std::memcpy(kept.param, k->param, sizeof kept.param);
    kept.left = k->left->data;
    kept.right = k->right->data;
    return true;
}

void detach_training_kernel()
{
    kept.owner = nullptr;
    forget_kernel_products();
}

void release_training_kernel()
{
    std::free(kept.values);
    kept = KeptKernel();
    forget_kernel_products();
}

const double* kernel_row(KernelMatrix* k, int i, double* scratch)
{
    if (k == kept.owner && kept.values != nullptr)
        return kept.values + static_cast<size_t>(i) * kept.cols;
    for (int j = 0; j < k->rightRows; j++)
        scratch[j] = kernel_matrix_entry(k, i, j);
    return scratch;
}

namespace {

// out[i] = sum_j K(i, j) w[j]: four rows' sums at once on a kept matrix
// (four independent chains, each still summed in the order of j, keep the
// adder busy where one chain would wait on itself).
void multiply_rows(KernelMatrix* k, const double* w, double* out, double* scratch)
{
    int rows = k->leftRows, cols = k->rightRows, i = 0;
    if (k == kept.owner && kept.values != nullptr) {
        for (; i + 4 <= rows; i += 4) {
            const double* r0 = kept.values + static_cast<size_t>(i) * cols;
            const double *r1 = r0 + cols, *r2 = r1 + cols, *r3 = r2 + cols;
            double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
            for (int j = 0; j < cols; j++) {
                s0 += r0[j] * w[j];
                s1 += r1[j] * w[j];
                s2 += r2[j] * w[j];
                s3 += r3[j] * w[j];
            }
            out[i] = s0, out[i + 1] = s1, out[i + 2] = s2, out[i + 3] = s3;
        }
    }
    for (; i < rows; i++) {
        const double* row = kernel_row(k, i, scratch);
        double s = 0.0;
        for (int j = 0; j < cols; j++)
            s += row[j] * w[j];
        out[i] = s;
    }
}

}  // namespace

void kernel_products(KernelMatrix* k, const double* w, double* out, double* scratch)
{
    int rows = k->leftRows, cols = k->rightRows;
    if (last.kernel == k && std::memcmp(last.w.data(), w, sizeof(double) * cols) == 0) {
        std::copy(last.out.begin(), last.out.end(), out);
        return;
    }
    multiply_rows(k, w, out, scratch);
    last.kernel = k;
    last.w.assign(w, w + cols);
    last.out.assign(out, out + rows);
}

void forget_kernel_products()
{
    last = LastProducts();
}

void create_kernel_cache(KernelMatrix* k, int request)
{
    if (k == nullptr)
        return;
    std::free(k->cache);
    k->cache = nullptr;
    k->cacheCapacity = 0;
    k->cacheCount = 0;
    if (request < 0 || k->left == nullptr || k->right == nullptr)
        return;
    long long positions = static_cast<long long>(k->leftRows) * k->rightRows;
    long long capacity = request < positions ? request : positions;
    if (capacity <= 0)
        return;
    k->cache = static_cast<double*>(std::malloc(sizeof(double) * capacity));
    if (k->cache == nullptr) {
        print_message("Cannot create cache!\n");
        return;
    }
    k->cacheCapacity = static_cast<int>(capacity);
}
