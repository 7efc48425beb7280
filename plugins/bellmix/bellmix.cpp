// Script functions of the mixture plug-in: train_bellmix fits per-class
// Gaussian mixtures (and network weights) into a model file; test_bellmix and
// test_rbfn report how many rows the mixtures or the network classify right.
// All three split the label column off the caller's matrix in place.
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "filesave/filesave.h"
#include "plugins/bellmix/arguments.h"
#include "plugins/bellmix/class_training.h"
#include "plugins/bellmix/mixture_model.h"
#include "plugins/bellmix/model_file.h"
#include "plugins/bellmix/testing.h"
#include "plugins/bellmix/training.h"
#include "scriptrun/messages.h"
#include "support/matrix.h"

namespace {

void print_training_header(int n, int D, int C, const TrainingOptions& o)
{
    print_message("\nNumber of data lines: %d\n", n);
    print_message("Number of features:   %d\n", D);
    print_message("Number of classes:    %d\n", C);
    print_message("Number of Gaussians per class:  %d\n", o.numOfMix);
    print_message("Forcing covariance to diagonal: %s\n", o.diagonal ? "YES" : "NO");
    print_message("Number of K-Means starts:       %d\n", o.kmeansStarts);
    print_message("Max No. of K-Means iterations:  %d\n", o.kmeansMaxIt);
    if (o.emMaxIt >= 0) {
        print_message("Optimizing the weights by Expectation Maximization\n");
        print_message("Max No. of EM iterations:       %d\n", o.emMaxIt);
        print_message("EM stopping threshold:          %f\n\n", o.epsilon);
    } else if (o.emMaxIt == -1) {
        print_message("Optimizing the weights by pseudo inverse calculation\n");
    } else if (o.emMaxIt == -2) {
        print_message("Optimizing the weights by matrix inversion\n");
    }
}

// The test calls' common start: counts printed, labels split off. Null
// (matrix untouched) when the database has no label of 1 or more.
DataMatrix* split_test_database(DataMatrix* db, int* C)
{
    print_message("NUMDATA: %d\n", db->rows);
    print_message("DIM: %d\n", db->cols - 1);
    *C = database_classes(db);
    if (*C < 1) {
        print_message("BELLMIX: the database holds no class label of 1 or more\n");
        return nullptr;
    }
    DataMatrix* labels = matrix_alloc(db->rows, 1);
    if (!labels) {
        print_message("BELLMIX: not enough memory for the labels\n");
        return nullptr;
    }
    split_label_column(db, labels);
    print_message("NumClass: %d\n", *C);
    return labels;
}

// The dimension check of both tests: a mismatch is reported and waits for one
// character (end of input counts as one).
bool dimensions_agree(const std::vector<int>& dimensions, int D)
{
    for (int d : dimensions)
        if (d != D) {
            print_message("ERROR: INCOMPATIBLE DATABASE AND BELLMIX DIMENSION!");
            std::getchar();
            return false;
        }
    return true;
}

void refuse_unread_model()
{
    print_message("BELLMIX: the model could not be read; nothing is tested\n");
}

// With every mixing weight 0 (no class could be fitted) every row would go
// to class 1 by the tie rule.
void refuse_unusable_model()
{
    print_message("BELLMIX: no class of the model has a component of weight above 0; no class "
                  "can be scored\n");
}

void run_test_bellmix(DataMatrix* db, const char* file, const DataMatrix* labels, int C)
{
    auto mixtures = read_class_mixtures(file, C);
    if (mixtures.empty())
        return refuse_unread_model();
    std::vector<int> dimensions;
    bool usable = false;
    for (int c = 1; c <= C; ++c) {
        dimensions.push_back(mixtures[c]->getDimension());
        usable = usable || mixtures[c]->has_positive_weight();
    }
    if (!usable)
        return refuse_unusable_model();
    if (!dimensions_agree(dimensions, db->cols))
        return;
    print_message("Testing... ");
    print_test_report(count_correct_by_likelihood(mixtures, db, labels), db->rows);
}

void run_test_rbfn(DataMatrix* db, const char* file, const DataMatrix* labels, int C)
{
    RbfNetwork net(file, C);
    if (!net.isComplete())
        return refuse_unread_model();
    if (!net.has_positive_weight())
        return refuse_unusable_model();
    std::vector<int> dimensions;
    for (int c = 1; c <= C; ++c)
        dimensions.push_back(net.getMixture(c)->getDimension());
    if (!dimensions_agree(dimensions, db->cols))
        return;
    print_message("Testing... ");
    print_test_report(count_correct_by_network(&net, db, labels), db->rows);
}

typedef void (*TestRun)(DataMatrix* db, const char* file, const DataMatrix* labels, int C);

void run_test(void** values, int* types, int count, TestRun run)
{
    BellmixArguments args;
    if (!check_bellmix_arguments(values, types, count, &args))
        return;
    int C = 0;
    DataMatrix* labels = split_test_database(args.db, &C);
    if (!labels)
        return;
    try {
        run(args.db, args.file, labels, C);
    } catch (const std::bad_alloc&) {
        print_message("BELLMIX: not enough memory\n");
    }
    matrix_free(labels);
}

// The open model document of a training call, closed once on every path.
struct ModelDocument {
    XMLParser* handle = nullptr;  // the XML library's handle, or null
    ~ModelDocument() { XMLclose(&handle); }
};

// Refusals that leave the database and the model file alone: the options,
// the database, an output that may not be written, and a kept file that
// cannot take the class.
bool ready_to_train(const BellmixArguments& args, TrainingOptions* o, ModelDocument* document,
                    bool* existing)
{
    if (!read_training_options(args.options, o) || !check_training_request(args.db, *o))
        return false;
    if (!output_writable(print_message, "BELLMIX", "model file", args.file))
        return false;
    return open_model_document(&document->handle, args.file, *o, args.db->cols - 1, existing);
}

// Builds the whole model in the document, then saves it once: a training
// that stops or fails part-way leaves the earlier file as it was.
void train_and_save(DataMatrix* db, const DataMatrix* labels, int C, const TrainingOptions& o,
                    const char* file, ModelDocument* document, bool existing)
{
    seed_training_generator();
    add_training_items(&document->handle, existing, file, o, db->rows, db->cols);
    if (!train_classes(db, labels, C, o, &document->handle))
        print_message("BELLMIX: the model could not be built; the model file '%s' is left as "
                      "it was\n", file);
    else if (!XMLsave(&document->handle, file))
        print_message("BELLMIX: the model file '%s' could not be written; it is left as it "
                      "was\n", file);
}

}  // namespace

// (database matrix, model file name [, options]): writes the model file;
// options NumOfMix, Diagonal, KMeansStarts, EMMaxIt, ClassToTrain, Epsilon,
// KMeansMaxIt.
PLUGIN_EXPORT void* train_bellmix(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    BellmixArguments args;
    if (!check_bellmix_arguments(values, types, count, &args))
        return nullptr;
    try {
        TrainingOptions o;
        ModelDocument document;
        bool existing = false;
        if (!ready_to_train(args, &o, &document, &existing))
            return nullptr;
        std::unique_ptr<DataMatrix, void (*)(DataMatrix*)> labels(
            matrix_alloc(args.db->rows, 1), matrix_free);
        if (!labels) {
            print_message("BELLMIX: not enough memory for the labels\n");
            return nullptr;
        }
        split_label_column(args.db, labels.get());
        int C = max_label(labels.get());
        print_training_header(args.db->rows, args.db->cols, C, o);
        train_and_save(args.db, labels.get(), C, o, args.file, &document, existing);
    } catch (const std::bad_alloc&) {
        print_message("BELLMIX: not enough memory\n");
    }
    return nullptr;
}

// (database matrix, model file name [, ignored string]): the rate of rows
// given their own class by the largest mixture likelihood.
PLUGIN_EXPORT void* test_bellmix(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    run_test(values, types, count, run_test_bellmix);
    return nullptr;
}

// (database matrix, model file name [, ignored string]): the rate of rows
// given their own class by the largest network output.
PLUGIN_EXPORT void* test_rbfn(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    run_test(values, types, count, run_test_rbfn);
    return nullptr;
}
