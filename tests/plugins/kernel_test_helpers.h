// Helpers for the kernel plug-in tests: independent kernel values and
// centring, model-file text, and calls of the execute functions.
#ifndef KERNEL_TEST_HELPERS_H
#define KERNEL_TEST_HELPERS_H

#include <memory>
#include <string>
#include <vector>

#include "tests/plugins/discriminant_test_helpers.h"

// Features of a database as plain rows.
struct Rows {
    int n, d;
    std::vector<double> x;  // n x d
};
Rows features_of(const TestDatabase& db);

// k(a, b) for the four kernel codes, written out plainly.
double reference_kernel(const double* a, const double* b, int d, int code, const double* p);

// The n x n kernel of the rows with themselves, centred:
// K - row means - column means + grand mean.
std::vector<double> reference_centred_kernel(const Rows& rows, int code, const double* p);

// Kc(z_i, x_k) for new rows z against training rows x (rows x n): centred by
// the new rows' means and the training kernel's column and grand means.
std::vector<double> reference_new_row_kernel(const Rows& z, const Rows& x, int code,
                                             const double* p);

// a (r x s) times b (s x t).
std::vector<double> product(const std::vector<double>& a, const std::vector<double>& b, int r,
                            int s, int t);

// Stored "<stem>_<i>" rows of a model file text, n of them.
std::vector<std::vector<double>> stored_rows(const std::string& text, const std::string& stem,
                                             int n);

// A database of n rows of d features in classes (label r % classes + 1),
// class c shifted by `spread` * c in every feature.
std::unique_ptr<TestDatabase> kernel_data(int n, int d, int classes, double spread,
                                          unsigned seed);

// Calls an execute function with (db, file); *messages gets standard error.
DataMatrix* execute_quietly(ScriptFunction f, TestDatabase& db, const std::string& file,
                            std::string* messages);

// Model-file refusals of an execute function: each case names the text of a
// broken model and the message it must give.
struct BrokenModel {
    std::string name;     // what is wrong
    std::string text;     // the model file
    std::string message;  // expected standard error
};
std::vector<BrokenModel> broken_models(const std::string& root, const std::string& prefix,
                                       const std::string& stem);

// Calls f on each broken model with a 2-feature database and expects the
// message, no result and the file unchanged.
void expect_broken_models_refused(ScriptFunction f, const std::vector<BrokenModel>& cases);

// A training call that must be refused: the database (rows of features and a
// label), the options, and the whole of standard error.
struct TrainingRefusal {
    int rows, cols;             // database shape
    std::vector<double> data;   // rows * cols values
    const char* options;        // option string or null
    std::string message;        // expected standard error
};
// Calls f on each case and expects the message and no model file.
void expect_training_refusals(ScriptFunction f, const std::vector<TrainingRefusal>& cases);

// A database of two rows of two features and a label, which fits the
// models of broken_models.
TestDatabase& two_feature_database();

#endif
