// Learn: open the init file, apply the options, load, train class by
// class, save under the output name. Evaluate: open the model, load it
// against the database's rows, classify.
#include "plugins/kernel_classifier/script_flow.h"

#include <cmath>
#include <string>
#include <vector>

#include "filesave/filesave.h"
#include "plugins/kernel_classifier/database_checks.h"
#include "plugins/kernel_classifier/kernel_options.h"
#include "plugins/kernel_classifier/model_io.h"
#include "plugins/kernel_classifier/training_kernel.h"
#include "scriptrun/messages.h"
#include "support/kernel_matrix.h"
#include "support/matrix.h"
#include "xml/xml_functions.h"

namespace {

void* const success = reinterpret_cast<void*>(1);

// +1.0 for a decision value of 0 or more, -1.0 below; a value that is not
// finite stays as it is, for the caller to refuse.
double sign_of(double value)
{
    return !std::isfinite(value) ? value : value >= 0.0 ? 1.0 : -1.0;
}

bool check_learn_arguments(const int* types, int count, const ClassifierNames& names)
{
    const char* problem = nullptr;
    if (count < 2)
        problem = "there must be at least 2 parameters\n";
    else if (types[0] != VALUE_STRING)
        problem = "1st parameter must be a String (initfile name)\n";
    else if (types[1] != VALUE_STRING)
        problem = "2nd parameter must be a String (output file name)\n";
    else if (count >= 3 && types[2] != VALUE_STRING)
        problem = "3nd parameter must be a String (parameter name = value)";
    if (problem)
        print_message("%s: %s", names.learn, problem);
    return problem == nullptr;
}

// Trains every class in turn; false (model kept for the caller to free) when
// a class runs out of memory or cannot start from finite values.
bool train_classes(KernelClassModel* classes, int count, const ClassifierHooks& hooks,
                   const LearningSettings& settings, int cacheSize)
{
    bool trained = true;
    for (int c = 0; c < count; c++) {
        KernelClassModel* cls = &classes[c];
        if (trained) {
            print_message("\n\nTEACHING CLASS %d.\n", c + 1);
            // A kept matrix makes the cache pointless: every value is then
            // computed once whatever "cachesize" says.
            if (!keep_training_kernel(cls->kernelMatrix) && hooks.cachesKernel)
                create_kernel_cache(cls->kernelMatrix, cacheSize);
            trained = hooks.trainClass(cls, settings) != 0;
            detach_training_kernel();
            if (!trained)
                print_message("%s: class %d is not trained: no model file is written\n",
                              hooks.names->learn, c + 1);
        }
        destroy_kernel_matrix(cls->kernelMatrix);
        cls->kernelMatrix = nullptr;
    }
    release_training_kernel();
    return trained;
}

}  // namespace

namespace {

// What Learn takes from its option string: the cache size and the kernel
// that replaces every class's; false after the refusal of either.
bool read_learn_options(void** values, int count, const char* prefix, int* cacheSize,
                        KernelChoice* kernel)
{
    const char* options = count >= 3 ? static_cast<const char*>(values[2]) : nullptr;
    return read_kernel_choice(options, prefix, kernel) &&
           read_cache_size(options, prefix, cacheSize) && kernel_choice_usable(*kernel, prefix);
}

}  // namespace

void* learn_classifier(void** values, const int* types, int count, const ClassifierHooks& hooks)
{
    const ClassifierNames& names = *hooks.names;
    int cacheSize;
    KernelChoice kernel;
    if (!check_learn_arguments(types, count, names) ||
        !output_writable(print_message, names.learn, "model file",
                         static_cast<const char*>(values[1])) ||
        !read_learn_options(values, count, names.learn, &cacheSize, &kernel))
        return nullptr;
    XMLParser* h = nullptr;
    if (values[0] == nullptr || !XMLopen(&h, static_cast<const char*>(values[0]))) {
        print_message("%s: The init file name is not valid!\n", names.badInitFile);
        XMLclose(&h);
        return nullptr;
    }
    LearningSettings settings;
    KernelClassModel* classes = nullptr;
    if (!read_learning_settings(&h, names, names.learn, &settings)) {
        XMLclose(&h);
        return nullptr;
    }
    rewrite_kernels(&h, names, kernel);
    if (!hooks.loadModel(&h, &classes, nullptr)) {
        XMLclose(&h);
        return nullptr;
    }
    int classCount = stored_class_count(&h, names);
    print_message("Grad. threshold:%f\n", settings.gradThreshold);
    bool trained = train_classes(classes, classCount, hooks, settings, cacheSize);
    if (trained)
        hooks.saveModel(&h, static_cast<const char*>(values[1]), classes, classCount);
    hooks.freeModel(&classes, classCount);
    XMLclose(&h);
    return trained ? success : nullptr;
}

namespace {

bool check_evaluate_arguments(const int* types, int count, const ClassifierNames& names)
{
    const char* problem = nullptr;
    if (count != 2)
        problem = "there must be exactly 2 parameters\n";
    else if (types[0] != VALUE_STRING)
        problem = "1st parameter must be a String (initfile name)\n";
    else if (types[1] != VALUE_MATRIX)
        problem = "2nd parameter must be a Matrix (a database matrix)\n";
    if (problem)
        print_message("%s: %s", names.evaluate, problem);
    return problem == nullptr;
}

// The database's features X and labels Y; false after the message.
bool split_database(const DataMatrix* db, DataMatrix** X, DataMatrix** Y)
{
    *X = db ? matrix_alloc(db->rows, db->cols - 1) : nullptr;
    if (*X == nullptr) {
        print_message("not enough memory (X)!\n");
        return false;
    }
    *Y = matrix_alloc(db->rows, 1);
    if (*Y == nullptr) {
        print_message("not enough memory (y)!\n");
        matrix_free(*X);
        return false;
    }
    split_features_labels(db, *X, *Y);
    return true;
}

void destroy_kernels(KernelClassModel* classes, int count)
{
    for (int c = 0; c < count; c++)
        destroy_kernel_matrix(classes[c].kernelMatrix);
}

}  // namespace

void* evaluate_classifier(void** values, const int* types, int count, int* resultType,
                          const ClassifierHooks& hooks,
                          void (*classify)(const KernelClassModel* classes, int classCount,
                                           const DataMatrix* labels, DataMatrix* out))
{
    const ClassifierNames& names = *hooks.names;
    *resultType = VALUE_EMPTY;
    if (!check_evaluate_arguments(types, count, names))
        return nullptr;
    XMLParser* h = nullptr;
    DataMatrix *X = nullptr, *Y = nullptr, *out = nullptr;
    KernelClassModel* classes = nullptr;
    int classCount = 0;
    if (values[0] == nullptr || !XMLopen(&h, static_cast<const char*>(values[0])))
        print_message("%s: The init file name is not valid!\n", names.evaluate);
    else if (split_database(static_cast<const DataMatrix*>(values[1]), &X, &Y)) {
        if (hooks.loadModel(&h, &classes, X))
            classCount = stored_class_count(&h, names);
        out = classCount > 0 ? matrix_alloc(Y->rows, classCount + 1) : nullptr;
        if (classCount > 0 && out == nullptr)
            print_message("Out of memory\n");
        if (out != nullptr)
            classify(classes, classCount, Y, out);
        if (out != nullptr && !check_kernel_values(out, classCount, names.evaluate)) {
            matrix_free(out);
            out = nullptr;
        }
        if (classCount > 0) {
            destroy_kernels(classes, classCount);
            hooks.freeModel(&classes, classCount);
        }
    }
    matrix_free(X);
    matrix_free(Y);
    XMLclose(&h);
    if (out != nullptr)
        *resultType = VALUE_MATRIX;
    return out;
}

void classify_by_sign(const KernelClassModel* classes, int classCount, const DataMatrix* labels,
                      DataMatrix* out,
                      double (*decision)(const KernelClassModel& cls, const double* kernelRow))
{
    int n = classes[0].rows;
    std::vector<double> row(n);
    for (int c = 0; c < classCount; c++) {
        KernelMatrix* k = classes[c].kernelMatrix;
        for (int i = 0; i < labels->rows; i++) {
            for (int j = 0; j < n; j++)
                row[j] = kernel_matrix_entry(k, i, j);
            matrix_row(out, i)[c] = sign_of(decision(classes[c], row.data()));
        }
    }
    for (int i = 0; i < labels->rows; i++)
        matrix_row(out, i)[classCount] = labels->data[i];
}
