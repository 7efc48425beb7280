// Learning races: each runs its processes in order on the same network,
// then tests, logs and writes the weights.
#include "plugins/neurnet/races.h"

#include <cmath>
#include <string>

#include "plugins/neurnet/attributes.h"
#include "plugins/neurnet/init_file.h"
#include "plugins/neurnet/network_document.h"
#include "scriptrun/messages.h"

namespace {

// floor(value) kept inside 0..limit (a ratio outside 0..1 or not a number
// would otherwise give counts that run past the database).
int row_count(double value, int limit)
{
    if (!(value > 0)) return 0;
    const double count = std::floor(value);
    return count >= limit ? limit : static_cast<int>(count);
}

int run_process(Network* network, const ProcessSettings& settings, const TrainingRows& rows,
                ErrorFunction error)
{
    switch (settings.kind) {
    case ProcessKind::back: return train_backprop(network, rows, settings, error);
    case ProcessKind::conj: return train_conjgrad(network, rows, settings, error);
    case ProcessKind::lbfgs_2: return train_lbfgs_2loop(network, rows, settings, error);
    case ProcessKind::lbfgs_m: return train_lbfgs_mx_repr(network, rows, settings, error);
    case ProcessKind::none: break;
    }
    return 0;
}

// One race's processes; false when one of them ran out of memory.
bool run_race(Network* network, const RowSets& rows, int race, const RaceSettings& settings,
              XMLParser** document)
{
    const TrainingRows training{rows.learn.data(), static_cast<int>(rows.learn.size()),
                                rows.test.data(), static_cast<int>(rows.test.size()),
                                settings.break_if_test_ratio, settings.max_iter_num};
    const ErrorFunction error = select_error_function(settings.error_type);
    const int processes = count_race_processes(race, document);
    print_message("%d learning processes in this race\n", processes);
    for (int j = 0; j < processes; ++j) {
        ProcessSettings process;
        if (!read_process_settings(race, j, &process, document)) continue;
        print_message("*");
        if (run_process(network, process, training, error) == -1) return false;
    }
    return true;
}

}  // namespace

RowSets split_rows(const double* data, int rows, int cols, XMLParser** document)
{
    int learn = rows, test_first = 0, test = rows;
    std::string test_on_learn;
    if (XMLchangeElement(document, "/feed-forward_neural_network/initial_settings/general") &&
        attribute_text(document, "test_on_learn_database", &test_on_learn) &&
        test_on_learn.compare(0, 1, "n") == 0 &&  // as written: "No" does not split
        XMLhasAttrName(document, "test_database_ratio")) {
        const double r = XMLgetAttrDoubleValue(document, "test_database_ratio", -1.0);
        if (r != -1) {
            learn = row_count((1 - r) * rows, rows);
            test_first = learn;
            test = row_count(r * rows, rows - learn);
        }
    }
    RowSets sets;
    for (int i = 0; i < learn; ++i) sets.learn.push_back(data + static_cast<size_t>(i) * cols);
    for (int i = 0; i < test; ++i)
        sets.test.push_back(data + static_cast<size_t>(test_first + i) * cols);
    return sets;
}

int run_races(Network* network, const RowSets& rows, const char* fileName,
              XMLParser** document)
{
    const int races = count_learning_races(document);
    for (int i = 0; i < races; ++i) {
        RaceSettings settings;
        read_race_settings(i, &settings, document);
        if (settings.error_type == 1) set_minkowski_exponent(settings.R);
        if (!run_race(network, rows, i, settings, document)) {
            print_message("error occured\n");
            return 0;
        }
        if (settings.auto_test == 1 && !rows.test.empty())
            test_and_log_history(network, rows.test.data(), static_cast<int>(rows.test.size()),
                                 fileName, document);
        write_weights_to_xml(network, fileName, document);
    }
    return 1;
}
