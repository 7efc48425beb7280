// Argument checks, option reading and training refusals of the plug-in.
#include "plugins/bellmix/arguments.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "scriptrun/messages.h"
#include "support/matrix.h"
#include "support/options.h"
#include "xml/finite_values.h"

namespace {

// The option's text for a message ("" when it has no "=").
std::string option_text(const char* options, const char* key)
{
    char* text = get_option_value(options, key);
    std::string copy = text ? text : "";
    std::free(text);
    return copy;
}

// A whole number within int as read_whole_option reads it; anything else is
// refused naming the option.
bool read_int(const char* options, const char* key, int* value)
{
    if (read_whole_option(options, key, value) != OptionRead::refused)
        return true;
    print_message("BELLMIX: the option %s (\"%s\") is not a whole number\n", key,
                  option_text(options, key).c_str());
    return false;
}

// A finite real; nan, inf and text that is no number are refused.
bool read_real(const char* options, const char* key, double* value)
{
    char* text = get_option_value(options, key);
    bool read = !text || read_finite_text(text, value);
    std::free(text);
    if (!read)
        print_message("BELLMIX: the option %s (\"%s\") is not a finite number\n", key,
                      option_text(options, key).c_str());
    return read;
}

bool check_finite_features(const DataMatrix* db)
{
    for (int r = 0; r < db->rows; ++r)
        for (int c = 0; c + 1 < db->cols; ++c)
            if (!std::isfinite(db->data[static_cast<size_t>(r) * db->cols + c])) {
                print_message("BELLMIX: the feature in row %d, column %d is not a finite number\n",
                              r + 1, c + 1);
                return false;
            }
    return true;
}

}  // namespace

bool check_bellmix_arguments(void** values, const int* types, int count, BellmixArguments* out)
{
    if (count < 2) {
        print_message("BELLMIX: at least 2 parameters are required\n");
        return false;
    }
    if (types[0] != VALUE_MATRIX) {
        print_message("BELLMIX: 1st parameter must be a database matrix\n");
        return false;
    }
    if (types[1] != VALUE_STRING) {
        print_message("BELLMIX: 2nd parameter must be a string (XML file name)\n");
        return false;
    }
    if (count == 3 && types[2] != VALUE_STRING) {
        print_message("BELLMIX: 3rd parameter can be a string (containing options)\n");
        return false;
    }
    if (count > 3) {
        print_message("BELLMIX: too many parameters\n");
        return false;
    }
    // Besides the label column a database needs one feature column.
    DataMatrix* db = static_cast<DataMatrix*>(values[0]);
    if (!db || db->rows <= 0 || db->cols < 2 || !db->data) {
        print_message("BELLMIX: empty input matrix\n");
        return false;
    }
    if (!values[1]) {
        print_message("BELLMIX: empty XML file name\n");
        return false;
    }
    out->db = db;
    out->file = static_cast<const char*>(values[1]);
    out->options = count == 3 ? static_cast<const char*>(values[2]) : nullptr;
    return true;
}

bool read_training_options(const char* options, TrainingOptions* o)
{
    *o = TrainingOptions();
    return read_int(options, "NumOfMix", &o->numOfMix) &&
           read_int(options, "Diagonal", &o->diagonal) &&
           read_int(options, "KMeansStarts", &o->kmeansStarts) &&
           read_int(options, "EMMaxIt", &o->emMaxIt) &&
           read_int(options, "ClassToTrain", &o->classToTrain) &&
           read_real(options, "Epsilon", &o->epsilon) &&
           read_int(options, "KMeansMaxIt", &o->kmeansMaxIt);
}

int database_classes(const DataMatrix* db)
{
    int classes = 0;
    for (int r = 0; r < db->rows; ++r) {
        double label = db->data[static_cast<size_t>(r) * db->cols + db->cols - 1];
        if (label >= classes + 1.0 && label < 2147483648.0)
            classes = static_cast<int>(label);
    }
    return classes;
}

// A label above the number of rows would make most classes empty and cost
// one mixture per missing class.
bool check_training_request(const DataMatrix* db, const TrainingOptions& o)
{
    if (!check_labels(db, "BELLMIX") || !check_finite_features(db))
        return false;
    int classes = database_classes(db);
    if (classes > db->rows) {
        print_message("BELLMIX: the largest class label (%d) exceeds the number of data lines "
                      "(%d)\n", classes, db->rows);
        return false;
    }
    if (o.numOfMix < 1 || o.numOfMix > db->rows) {
        print_message("BELLMIX: NumOfMix must be from 1 to the number of data lines (%d)\n",
                      db->rows);
        return false;
    }
    if (o.kmeansStarts < 1) {
        print_message("BELLMIX: KMeansStarts must be 1 or more\n");
        return false;
    }
    if (o.classToTrain < -1 || o.classToTrain > classes) {
        print_message("BELLMIX: ClassToTrain must be -1, 0 or a class label from 1 to %d\n",
                      classes);
        return false;
    }
    return true;
}
