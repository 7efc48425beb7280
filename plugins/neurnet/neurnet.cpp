// Script functions of the neural network plug-in: NEURNETMakeInit writes an
// init file for a database, NEURNETLearn trains the network it describes
// through its learning races, NEURNETEvaluate returns a network's outputs.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "filesave/filesave.h"
#include "plugins/neurnet/init_file.h"
#include "plugins/neurnet/network_document.h"
#include "plugins/neurnet/races.h"
#include "scriptrun/messages.h"
#include "scriptrun/plugin_api.h"
#include "support/matrix.h"

namespace {

// The integer result that Learn and MakeInit return in the pointer's place.
void* flag(int value)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(value));
}

// An open document, closed when it goes out of scope.
struct Document {
    XMLParser* parser = nullptr;  // the handle the XML functions take the address of
    ~Document()
    {
        if (parser) XMLclose(&parser);
    }
};

struct NetworkRelease {
    void operator()(Network* n) const { network_free(n); }
};
using OwnedNetwork = std::unique_ptr<Network, NetworkRelease>;

// Values finite and labels whole-number-sized from 1 up, so that no label
// reaches an int conversion it cannot survive; the first fault is printed.
bool check_database(const DataMatrix* db, const char* prefix)
{
    if (db->cols < 1 || (db->rows > 0 && !db->data)) {
        print_message("%s: the database matrix has no label column\n", prefix);
        return false;
    }
    for (int r = 0; r < db->rows; ++r) {
        const double* row = db->data + static_cast<size_t>(r) * db->cols;
        for (int c = 0; c < db->cols; ++c)
            if (!std::isfinite(row[c])) {
                print_message("%s: row %d of the database holds a value that is not a finite "
                              "number\n", prefix, r + 1);
                return false;
            }
        if (row[db->cols - 1] < 1 || row[db->cols - 1] >= INT_MAX / 2) {
            print_message("%s: row %d of the database has the label %g; labels run from 1 "
                          "up\n", prefix, r + 1, row[db->cols - 1]);
            return false;
        }
    }
    return true;
}

// The largest label, truncated; 0 for an empty database.
int largest_label(const DataMatrix* db)
{
    int classes = 0;
    for (int r = 0; r < db->rows; ++r) {
        const int label = static_cast<int>(db->data[static_cast<size_t>(r) * db->cols + db->cols - 1]);
        if (label > classes) classes = label;
    }
    return classes;
}

// Hidden sizes after "layer_inf=": numbers of the characters
// "0123456789.-+" separated by runs of commas; the list ends at a number
// not followed by a comma, or at any other character.
bool hidden_sizes(const char* settings, std::vector<int>* sizes)
{
    const char* p = std::strstr(settings, "layer_inf=");
    if (!p) return true;
    p += std::strlen("layer_inf=");
    for (;;) {
        const size_t length = std::strspn(p, "0123456789.-+");
        if (length == 0) return true;
        const std::string item(p, length);
        char* end = nullptr;
        const double value = std::strtod(item.c_str(), &end);
        if (end == item.c_str()) return true;
        if (!(value > -1 && value < INT_MAX / 2)) {
            print_message("NEURNETMakeInit: the hidden layer size %s is not one from 0 up\n",
                          item.c_str());
            return false;
        }
        sizes->push_back(static_cast<int>(value));
        p += length;
        if (*p != ',') return true;
        while (*p == ',') ++p;
    }
}

// The weight vector's length is an int: a network with more connections
// (a label or a hidden size far beyond any data set) is refused.
bool fits_weight_vector(const std::vector<int>& sizes)
{
    long long connections = 0;
    for (size_t i = 0; i + 1 < sizes.size(); ++i)
        connections += (sizes[i] + 1LL) * sizes[i + 1];
    if (connections <= INT_MAX) return true;
    print_message("NEURNETMakeInit: a network of %lld connections is too large\n", connections);
    return false;
}

bool check_make_init_arguments(void** values, const int* types, int count)
{
    const char* fault = nullptr;
    if (count < 2)
        fault = "NEURNETMakeInit: there must be at least 2 parameters\n";
    else if (types[0] != VALUE_MATRIX)
        fault = "NEURNETMakeInit: 1st parameter must be a Matrix (a database matrix)";
    else if (types[1] != VALUE_STRING)
        fault = "NEURNETMakeInit: 2nd parameter must be a String (initfile name)";
    else if (count >= 3 && types[2] != VALUE_STRING)
        fault = "NEURNETMakeInit: 3nd parameter must be a String (parameter name = value)";
    if (fault) print_message("%s", fault);
    (void)values;
    return fault == nullptr;
}

}  // namespace

// (database matrix, init file name [, "layer_inf=h1,h2,..."]).
PLUGIN_EXPORT void* NEURNETMakeInit(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    if (!check_make_init_arguments(values, types, count)) return flag(0);
    const DataMatrix* db = static_cast<const DataMatrix*>(values[0]);
    if (!check_database(db, "NEURNETMakeInit")) return flag(0);
    try {
        const int classes = largest_label(db);
        std::vector<int> sizes{db->cols - 1};
        if (count >= 3) {
            if (!hidden_sizes(static_cast<const char*>(values[2]), &sizes)) return flag(0);
        } else {
            sizes.push_back(db->cols - 1 + classes);
        }
        sizes.push_back(classes);
        if (!fits_weight_vector(sizes)) return flag(0);
        if (!write_init_file(sizes, static_cast<const char*>(values[1]))) return flag(0);
    } catch (const std::bad_alloc&) {
        print_message("out of memory\n");
        return flag(0);
    }
    return flag(1);
}

namespace {

bool check_learn_arguments(const int* types, int count)
{
    const char* fault = nullptr;
    if (count != 3)
        fault = "NEURNETLearn: there must be exactly 3 parameters\n";
    else if (types[0] != VALUE_MATRIX)
        fault = "NEURNETLearn: 1st parameter must be a Matrix (a database matrix)";
    else if (types[1] != VALUE_STRING)
        fault = "NEURNETLearn: 2nd parameter must be a String (initfile name)";
    else if (types[2] != VALUE_STRING)
        fault = "NEURNETLearn: 3rd parameter must be a String (output filename)";
    if (fault) print_message("%s", fault);
    return fault == nullptr;
}

bool check_evaluate_arguments(const int* types, int count)
{
    const char* fault = nullptr;
    if (count != 2)
        fault = "NEURNETEvaluate: there must be exactly 2 parameters\n";
    else if (types[0] != VALUE_STRING)
        fault = "NEURNETEvaluate: 1st parameter must be a String (initfile name)";
    else if (types[1] != VALUE_MATRIX)
        fault = "NEURNETEvaluate: 2nd parameter must be a Matrix (a database matrix)";
    if (fault) print_message("%s", fault);
    return fault == nullptr;
}

// Opens the file and builds its network; prints the caller's message and
// returns null on failure. prefix names the caller.
OwnedNetwork open_network(const char* fileName, const char* prefix, Document* document)
{
    if (!XMLopen(&document->parser, fileName)) {
        print_message("%s: The init file name is not valid!\n", prefix);
        return nullptr;
    }
    Network* network = nullptr;
    if (!network_from_xml(&network, &document->parser)) {
        print_message("could not build up the neural network from the XML file\n");
        return nullptr;
    }
    return OwnedNetwork(network);
}

// A row whose outputs are not all finite numbers (a database value that
// is none, or one so large that the sums overflow) fails the evaluation.
bool result_finite(const DataMatrix* result)
{
    for (int r = 0; r < result->rows; ++r)
        for (int c = 0; c < result->cols; ++c)
            if (!std::isfinite(result->data[static_cast<size_t>(r) * result->cols + c])) {
                print_message("NEURNETEvaluate: row %d of the result holds a value that is not a "
                              "finite number\n", r + 1);
                return false;
            }
    return true;
}

bool check_columns(const Network* network, const DataMatrix* db, const char* prefix)
{
    if (db->cols == row_columns(network)) return true;
    print_message("%s: The learning database is not consistent with the structure of the "
                  "neural network.\n", prefix);
    return false;
}

}  // namespace

// (database matrix, init file name, output file name).
PLUGIN_EXPORT void* NEURNETLearn(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    if (!check_learn_arguments(types, count)) return flag(0);
    const DataMatrix* db = static_cast<const DataMatrix*>(values[0]);
    const char* output = static_cast<const char*>(values[2]);
    if (!check_database(db, "NEURNETLearn") ||
        !output_writable(print_message, "NEURNETLearn", "output file", output))
        return flag(0);
    try {
        Document document;
        OwnedNetwork network = open_network(static_cast<const char*>(values[1]), "NEURNETLearn",
                                            &document);
        if (!network || !check_columns(network.get(), db, "NEURNETLearn")) return flag(0);
        // Every setting is read before anything is trained, so that a file
        // refused for one of them leaves no output behind.
        RowSets rows;
        std::vector<RacePlan> races;
        if (!split_rows(db->data, db->rows, db->cols, &document.parser, &rows) ||
            !read_learning_set(&document.parser, &races))
            return flag(0);
        return flag(run_races(network.get(), rows, races, static_cast<const char*>(values[2]),
                              &document.parser));
    } catch (const std::bad_alloc&) {
        print_message("out of memory\n");
        return flag(0);
    }
}

// (init or model file name, database matrix): rows x (K + 1) outputs and labels.
PLUGIN_EXPORT void* NEURNETEvaluate(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    if (!check_evaluate_arguments(types, count)) return nullptr;
    const DataMatrix* db = static_cast<const DataMatrix*>(values[1]);
    try {
        Document document;
        OwnedNetwork network = open_network(static_cast<const char*>(values[0]),
                                            "NEURNETEvaluate", &document);
        if (!network || !check_columns(network.get(), db, "NEURNETEvaluate")) return nullptr;
        std::vector<const double*> rows(db->rows > 0 ? db->rows : 0);
        for (int r = 0; r < db->rows; ++r) rows[r] = db->data + static_cast<size_t>(r) * db->cols;
        const int outputs = network->layers[network->last].count;
        DataMatrix* result = matrix_alloc(db->rows, outputs + 1);
        if (!result) {
            print_message("NEURNETEvaluate: not enough memory!\n");
            return nullptr;
        }
        std::vector<double*> out(db->rows);
        for (int r = 0; r < db->rows; ++r)
            out[r] = result->data + static_cast<size_t>(r) * result->cols;
        evaluate_rows(network.get(), rows.data(), db->rows, out.data());
        if (!result_finite(result)) {
            matrix_free(result);
            return nullptr;
        }
        *resultType = VALUE_MATRIX;
        return result;
    } catch (const std::bad_alloc&) {
        print_message("out of memory\n");
        return nullptr;
    }
}
