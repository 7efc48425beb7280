// The frame the kernel feature-extraction plug-ins share: argument checks,
// option keys, kernel set-up, the model file and the projection function.
// Each plug-in supplies its texts and its training step.
#ifndef KERNEL_FRAME_H
#define KERNEL_FRAME_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scriptrun/plugin_api.h"
#include "support/kernel_matrix.h"
#include "support/matrix.h"

// The texts and keys in which the four plug-ins differ.
struct KernelTexts {
    const char* root;            // "WARPFOLD": document element, word of the execute texts
    const char* train_prefix;    // "compute_warpfold" or "CURVAXIS": training messages
    const char* compute_name;    // "compute_warpfold": prefix of the general memory message
    const char* execute_prefix;  // "execute_warpfold" or "Execute CURVAXIS"
    const char* coefficients;    // "V" or "VW": stem of the coefficient rows
    const char* own_key;         // "epsilon", "maxiter" or null
};

// What the training functions need of the label column.
enum class LabelRule {
    unused,       // labels are not read
    finite,       // compared as stored reals: any finite value
    class_number  // truncated to a class number: finite and at least 1
};

// Training settings of one call.
struct KernelSettings {
    int cache_size;    // kernel values the cache may hold
    int8_t kernel;     // kernel code 0..3
    double param[5];   // kernel parameters p0..p4
    int feanum;        // directions asked for; the row count by default
    double epsilon;    // ridge added to KW's diagonal (warpfold)
    int maxiter;       // iteration limit (unmixer)
};

struct MatrixRelease {
    void operator()(DataMatrix* m) const { matrix_free(m); }
};
// A record released with matrix_free when it goes out of scope.
using OwnedMatrix = std::unique_ptr<DataMatrix, MatrixRelease>;

inline OwnedMatrix make_matrix(int rows, int cols)
{
    return OwnedMatrix(matrix_alloc(rows, cols));
}

// The training rows and their kernel, owned by one training call.
struct TrainingSet {
    int n;                 // training rows
    int d;                 // feature columns
    OwnedMatrix x;         // n x d features
    OwnedMatrix y;         // n x 1 labels
    KernelMatrix* kernel;  // over (x, x), settings applied; owned
};

// What a training step hands back to be written.
struct KernelModel {
    OwnedMatrix coefficients;          // A, n x m: the coefficient rows
    std::vector<std::string> settings; // initial_settings items after item 8
};

// A plug-in's training step: prints its own message and returns false when
// it ends without a model.
using TrainingStep = bool (*)(TrainingSet& set, const KernelSettings& settings,
                              const KernelTexts& texts, KernelModel* model);

// The whole training script function: checks, settings, set-up, the step,
// the model file.
void* compute_kernel_model(void** values, const int* types, int count, int* resultType,
                           const KernelTexts& texts, LabelRule labels, TrainingStep step);

// The whole projection script function.
void* execute_kernel_model(void** values, const int* types, int count, int* resultType,
                           const KernelTexts& texts);

// Reads the settings from options (null: defaults only) for n training rows
// into *out. Refuses, naming the option after "<train prefix>: ", a
// cachesize, feanum or maxiter that is not a whole number within int, and
// a kernel that cannot be used (kernel_fault): false after the message.
bool read_kernel_settings(const char* options, int n, const KernelTexts& texts,
                          KernelSettings* out);

// The centred kernel of the training rows (n x n), or null after a message:
// "<prefix>: not enough memory (K)!" or a kernel value that is not finite.
OwnedMatrix centred_training_kernel(TrainingSet& set, const KernelTexts& texts);

// Eigenvalues of the centred kernel above this count as positive.
const double positive_eigenvalue = 1e-5;

// The number of leading entries of the descending column values greater
// than the threshold (counting stops at the first that is not).
int leading_run(const DataMatrix* values, double threshold);

// The eigenvalues of the symmetric matrix a, descending (a->rows x 1), or
// null after a message.
OwnedMatrix descending_eigenvalues(const DataMatrix* a, const KernelTexts& texts);

// Drops the reduced form descending_eigenvalues keeps for the eigenvector
// call (n(n+1)/2 reals), for a step that returns before making that call.
void release_kept_reduction();

// The unit eigenvectors of the symmetric a (as columns, first entry not
// negative) for the first m entries of values, which is cut to m rows; null
// after a message.
OwnedMatrix leading_eigenvectors(const DataMatrix* a, DataMatrix* values, int m,
                                 const KernelTexts& texts);

// Divides each column v_j of v by sqrt(v_j' K v_j), K the uncentred training
// kernel, where that is positive; columns with r_j <= 0 stay as they are.
void normalise_against_kernel(KernelMatrix* kernel, DataMatrix* v);

// The types of a script call's first two arguments: a database matrix and a
// file name; prints "<prefix>: 1st/2nd parameter must be ..." otherwise.
bool check_matrix_and_name(const int* types, const char* prefix);

// "<compute name>: not enough memory\n", the general memory message.
void print_memory_message(const KernelTexts& texts);

// True when the eigenvector columns of v are finite and none is zero; prints
// "<prefix>: the eigenvectors could not be computed" otherwise.
bool usable_directions(const DataMatrix* v, const KernelTexts& texts);

// printf-style formatting into a text of any length.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
