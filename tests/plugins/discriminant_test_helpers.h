// Helpers for the linear discriminant plug-in tests: calling script functions,
// scratch folders, model-file text, and a Jacobi eigen-solver as the
// independent reference.
#ifndef DISCRIMINANT_TEST_HELPERS_H
#define DISCRIMINANT_TEST_HELPERS_H

#include <functional>
#include <string>
#include <vector>

#include "scriptrun/plugin_api.h"

// A database matrix over its own storage, passed to script functions.
struct TestDatabase {
    std::vector<double> values;  // rows * cols, row by row
    DataMatrix matrix;           // points into values

    TestDatabase(int rows, int cols, std::vector<double> data);
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;
};

// One script argument: a matrix or a string (null string allowed).
struct TestArgument {
    int type;        // VALUE_MATRIX, VALUE_STRING or VALUE_NUMBER
    void* value;     // the value pointer as the host would pass it
};
TestArgument matrix_argument(TestDatabase& db);
TestArgument string_argument(const std::string& text);
TestArgument number_argument();

// Calls f as the host does; *resultType receives the result type.
void* call_script(ScriptFunction f, const std::vector<TestArgument>& args, int* resultType);

// Calls a training function with (db, file [, options]), expects no result,
// and returns what it printed.
std::string train_quietly(ScriptFunction f, TestDatabase& db, const std::string& file,
                          const char* options);

// A fresh folder under the system's temporary folder, removed with its files.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    std::string path(const std::string& name) const;
private:
    std::string root_;  // the folder's path
};

std::string read_text(const std::string& file);   // "" when missing
// The numbers of a text file separated by white space, in order.
std::vector<double> read_numbers(const std::string& file);
void write_text(const std::string& file, const std::string& text);
bool file_exists(const std::string& file);

// The text with every time after "creation time: " and "executing at "
// (24 characters) replaced by "TIME".
std::string mask_times(const std::string& text);

// The numbers of the "value" attribute of the named element in a model file.
std::vector<double> stored_list(const std::string& text, const std::string& element);

// Runs body in a child process whose files may grow to at most bytes (a
// disk that fills), SIGXFSZ ignored so that a write fails instead; returns
// what the child wrote to standard error (through a pipe, which the limit
// does not touch), and in *status its wait status.
std::string stderr_under_file_size_limit(long bytes, const std::function<void()>& body,
                                         int* status);

// A model file that a training call must refuse before it trains, and the
// reason the save's own test gives for it.
struct RefusedOutput {
    std::string name;    // what is wrong
    std::string file;    // the name passed
    std::string reason;  // why it cannot be written
};
// Made in folder: a read-only file holding "untouched", a file in a missing
// folder, an empty name, and a link into a missing folder.
std::vector<RefusedOutput> refused_outputs(const ScratchFolder& folder);

// Calls f with (db, each refused output [, options]) in a child acting as an
// ordinary user ("nobody" when the test runs as root, so that permission
// bits count) and expects only "<prefix>: the model file '<file>' cannot be
// written: <reason>; nothing is trained\n" (empty_name_message instead for
// the empty name, when given), no result, the database as it was, and no
// file written.
void expect_outputs_refused(ScriptFunction f, TestDatabase& db, const char* options,
                            const std::string& prefix,
                            const std::string& empty_name_message = "");

// Number of occurrences of needle in text.
int count_of(const std::string& text, const std::string& needle);

// Eigenvalues (descending) and unit eigenvectors (column k for value k, n x n
// row by row, first nonzero entry positive) of the symmetric n x n matrix a.
void jacobi_eigen(std::vector<double> a, int n, std::vector<double>* values,
                  std::vector<double>* vectors);

// Reproducible pseudo-random numbers in [0, 1) for test data.
class TestRandom {
public:
    explicit TestRandom(unsigned seed) : state_(seed) {}
    double next();
    double normal();  // approximately standard normal (sum of 12 uniforms)
private:
    unsigned long long state_;  // 64-bit linear congruential state
};

// The argument-check refusals that both compute functions share, each with
// its exact message, for the given message tag and empty-matrix text.
struct RefusalCase {
    std::string name;                 // what is wrong
    std::vector<TestArgument> args;   // the call's arguments
    std::string message;              // expected standard error text
    std::string content = "untouched";  // the file before the call; "" for none
};

// Refusals of an execute function for numbers that are not finite, in a
// 2 x 2 model or in the database, called with good (two features); the
// model "1e308,1e308,1e308,1e308" overflows first in good's overflow_row.
std::vector<RefusalCase> finite_value_refusals(const std::string& tag, TestDatabase& good,
                                               int overflow_row, const std::string& file);

// Writes the case's file content, calls f, and expects the message, no
// result, and the file exactly as before.
void expect_refusal(ScriptFunction f, const RefusalCase& c, const std::string& file);
std::vector<RefusalCase> compute_argument_refusals(const std::string& tag,
                                                   const std::string& empty_text,
                                                   TestDatabase& good, TestDatabase& no_features,
                                                   const std::string& file);

// The refusals of the shared execute argument checks.
std::vector<RefusalCase> execute_argument_refusals(const std::string& tag, TestDatabase& good,
                                                   const std::string& file);

// A model file text with a one-item history, empty settings and the given
// text inside "parameters".
std::string handmade_model(const std::string& root, const std::string& parameters);

// "feature_number" and "transformation" elements with the given value texts.
std::string stored_parameters(const std::string& feature_number, const std::string& list);

#endif
