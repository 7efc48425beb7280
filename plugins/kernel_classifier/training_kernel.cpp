// The kept kernel matrix. Every objective and gradient pass reads all N^2
// kernel values; keeping them turns each pass into a matrix-vector product.
// The values are those the kernel record gives, so results do not change.
#include "plugins/kernel_classifier/training_kernel.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

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

bool same_kernel(const KernelMatrix* k)
{
    return kept.values != nullptr && kept.rows == k->leftRows && kept.cols == k->rightRows &&
           kept.type == k->type && std::memcmp(kept.param, k->param, sizeof kept.param) == 0 &&
           kept.left == k->left->data && kept.right == k->right->data;
}

}  // namespace

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
    for (int i = 0; i < k->leftRows; i++) {
        double* row = kept.values + static_cast<size_t>(i) * k->rightRows;
        for (int j = 0; j < k->rightRows; j++)
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
}

void release_training_kernel()
{
    std::free(kept.values);
    kept = KeptKernel();
}

const double* kernel_row(KernelMatrix* k, int i, double* scratch)
{
    if (k == kept.owner && kept.values != nullptr)
        return kept.values + static_cast<size_t>(i) * kept.cols;
    for (int j = 0; j < k->rightRows; j++)
        scratch[j] = kernel_matrix_entry(k, i, j);
    return scratch;
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
