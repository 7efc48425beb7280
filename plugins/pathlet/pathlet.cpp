// Script functions of the projection pursuit plug-in: train_pathlet trains a
// model and writes its file, test_pathlet prints a model's classification
// error on a database. Both split the label column off the caller's matrix.
#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "filesave/filesave.h"
#include "plugins/pathlet/fitting.h"
#include "plugins/pathlet/model_file.h"
#include "plugins/pathlet/settings.h"
#include "scriptrun/messages.h"
#include "support/matrix.h"

namespace {

// The arguments of either function, borrowed from the caller.
struct Arguments {
    DataMatrix* db;       // database matrix, labels in the last column
    const char* file;     // model file name
    const char* options;  // third argument; null without one
};

// Prints a refusal; false, for the checks to return.
bool refuse(const char* message)
{
    print_message("%s", message);
    return false;
}

// (database matrix, file name [, string]) in the documented order.
bool check_arguments(void** values, const int* types, int count, Arguments* out)
{
    if (count < 2)
        return refuse("PATHLET: at least 2 parameters are required\n");
    if (types[0] != VALUE_MATRIX)
        return refuse("PATHLET: 1st parameter must be a database matrix\n");
    if (types[1] != VALUE_STRING)
        return refuse("PATHLET: 2nd parameter must be a string (XML file name)\n");
    if (count == 3 && types[2] != VALUE_STRING)
        return refuse("PATHLET: 3rd parameter can be a string (containing options)\n");
    if (count > 3)
        return refuse("PATHLET: too many parameters\n");
    DataMatrix* db = static_cast<DataMatrix*>(values[0]);
    if (!db || db->rows <= 0 || db->cols <= 0 || !db->data)
        return refuse("PATHLET: empty input matrix\n");
    const char* file = static_cast<const char*>(values[1]);
    if (!file || !file[0])
        return refuse("PATHLET: empty XML file name\n");
    // Splitting off the labels must leave at least one feature.
    if (db->cols < 2)
        return refuse("PATHLET: the database has no feature columns\n");
    *out = Arguments{db, file, count == 3 ? static_cast<const char*>(values[2]) : nullptr};
    return true;
}

// Labels whole numbers of 1 or more and features finite: what training can
// use without indexing outside the class tables or spreading NaN.
bool check_training_values(const DataMatrix* db)
{
    if (!check_labels(db, "PATHLET"))
        return false;
    for (int r = 0; r < db->rows; ++r) {
        const double* row = matrix_row(db, r);
        for (int c = 0; c + 1 < db->cols; ++c) {
            if (!std::isfinite(row[c])) {
                print_message("PATHLET: the value in row %d, column %d is not finite\n", r + 1,
                              c + 1);
                return false;
            }
        }
    }
    return true;
}

// The label column split off the caller's database, and the training state,
// released however the call ends.
class SplitCall {
public:
    explicit SplitCall(DataMatrix* db) : labels_(matrix_alloc(db->rows, 1))
    {
        if (labels_)
            split_label_column(db, labels_);
    }
    ~SplitCall()
    {
        release_training_state();
        matrix_free(labels_);
    }
    SplitCall(const SplitCall&) = delete;
    SplitCall& operator=(const SplitCall&) = delete;
    DataMatrix* labels() const { return labels_; }

private:
    DataMatrix* labels_;  // N x 1, null when memory was short
};

void print_sizes(const DataMatrix* db)
{
    print_message("Number of data lines: %d\n", db->rows);
    print_message("Number of features: %d\n", db->cols - 1);
}

// Steps 2 to 9 of a training call, after every check has passed.
void train_and_save(const Arguments& args, const TrainSettings& s)
{
    print_settings(s);
    DataMatrix* db = args.db;
    int rows = db->rows, features = db->cols - 1;
    print_sizes(db);
    SplitCall split(db);
    if (!split.labels()) {
        print_message("PATHLET: not enough memory\n");
        return;
    }
    int classes = max_label(split.labels());
    print_message("Number of classes: %d\n\n", classes);
    set_training_rows(db, split.labels(), classes);
    if (!allocate_training_state(s.NumProj, s.NumProjPars)) {
        print_message("PATHLET: not enough memory\n");
        return;
    }
    ProjectionModel model;
    init_projection_model(&model, features, classes, s.NumProj, s.NumProjPars);
    set_class_priors(&model);
    run_schedule(&model, s);
    double error = training_error(&model);
    if (!std::isfinite(error) || !model_is_finite(&model)) {
        print_message("PATHLET: training gave a value that is not a finite number; no model is "
                      "written\n");
        return;
    }
    print_message("Error after training:    %f\n", error);
    print_message("Classification error:    %.2f %%\n", classification_error(&model) * 100.0);
    if (!save_trained_model(ModelHistory{args.file, rows, features, settings_items(s)}, &model))
        print_message("PATHLET: the model file '%s' could not be written\n", args.file);
}

// Reads one character; the end of input counts as one.
void wait_for_key()
{
    std::getchar();
}

}  // namespace

// (database matrix, model file name [, options]).
PLUGIN_EXPORT void* train_pathlet(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    Arguments args;
    TrainSettings settings;
    if (!check_arguments(values, types, count, &args) ||
        !read_settings(args.options, args.db->rows, &settings) ||
        !check_training_values(args.db) ||
        !output_writable(print_message, "PATHLET", "model file", args.file))
        return nullptr;
    keep_settings(settings);
    try {
        train_and_save(args, settings);
    } catch (const std::bad_alloc&) {
        print_message("PATHLET: not enough memory\n");
    }
    return nullptr;
}

// (database matrix, model file name [, ignored string]).
PLUGIN_EXPORT void* test_pathlet(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    Arguments args;
    if (!check_arguments(values, types, count, &args))
        return nullptr;
    try {
        print_sizes(args.db);
        SplitCall split(args.db);
        if (!split.labels()) {
            print_message("PATHLET: not enough memory\n");
            return nullptr;
        }
        int classes = max_label(split.labels());
        print_message("Number of classes: %d\n", classes);
        ProjectionModel model;
        if (!load_projection_model(&model, args.file))
            return nullptr;
        if (model.NumInput != args.db->cols || model.NumOutput != classes) {
            print_message(model.NumInput != args.db->cols ? "Incompatible DIM and NumInput!"
                                                          : "Incompatible NumClass and NumOutput!");
            wait_for_key();
            return nullptr;
        }
        set_training_rows(args.db, split.labels(), classes);
        int row = 0;
        double error = classification_error(&model, &row);
        if (std::isnan(error))
            print_message("PATHLET: the model output is not a finite number for row %d\n", row);
        else
            print_message("Classification error:    %.2f %%\n", error * 100.0);
    } catch (const std::bad_alloc&) {
        print_message("PATHLET: not enough memory\n");
    }
    return nullptr;
}
