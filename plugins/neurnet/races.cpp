// Learning races: each runs its processes in order on the same network,
// then tests, logs and writes the weights.
#include "plugins/neurnet/races.h"

#include <cmath>
#include <string>

#include "plugins/neurnet/attributes.h"
#include "plugins/neurnet/network_document.h"
#include "scriptrun/messages.h"

namespace {

// floor(value) kept inside 0..limit.
int row_count(double value, int limit)
{
    if (!(value > 0)) return 0;
    const double count = std::floor(value);
    return count >= limit ? limit : static_cast<int>(count);
}

int run_process(Network* network, const ProcessSettings& settings, const TrainingRows& rows,
                ErrorFunction error, bool* stalled)
{
    switch (settings.kind) {
    case ProcessKind::back: return train_backprop(network, rows, settings, error, stalled);
    case ProcessKind::conj: return train_conjgrad(network, rows, settings, error, stalled);
    case ProcessKind::lbfgs_2: return train_lbfgs_2loop(network, rows, settings, error, stalled);
    case ProcessKind::lbfgs_m:
        return train_lbfgs_mx_repr(network, rows, settings, error, stalled);
    case ProcessKind::none: break;
    }
    return 0;
}

// One race's processes; false after a message when one of them ran out of
// memory or left weights that are not finite numbers. A process that
// stopped for making no progress leaves a history item saying so.
bool run_race(Network* network, const RowSets& rows, int race, const RacePlan& plan,
              XMLParser** document)
{
    const RaceSettings& settings = plan.settings;
    const TrainingRows training{rows.learn.data(), static_cast<int>(rows.learn.size()),
                                rows.test.data(), static_cast<int>(rows.test.size()),
                                settings.break_if_test_ratio, settings.max_iter_num};
    const ErrorFunction error = select_error_function(settings.error_type);
    print_message("%d learning processes in this race\n", static_cast<int>(plan.processes.size()));
    for (size_t j = 0; j < plan.processes.size(); ++j) {
        const char* name = plan.names[j].c_str();
        if (plan.processes[j].kind == ProcessKind::none) {
            print_message("process %s is of no known kind; it is skipped\n", name);
            continue;
        }
        print_message("*");
        bool stalled = false;
        if (run_process(network, plan.processes[j], training, error, &stalled) == -1) {
            print_message("error occured\n");
            return false;
        }
        if (!weights_finite(network)) {
            print_message("NEURNETLearn: race %d, process %s: the weights are no longer finite "
                          "numbers; the network is not saved\n", race + 1, name);
            return false;
        }
        if (stalled) log_process_stop(name, stall_text(), document);
    }
    return true;
}

// The test share of "general"; -1 when none is asked for. False after a
// message for a value that is no number or outside 0 up to 1.
bool test_share(XMLParser** document, double* r)
{
    *r = -1;
    if (!XMLchangeElement(document, "/feed-forward_neural_network/initial_settings/general"))
        return true;
    std::string text;
    const NumberRead read = attribute_real(document, "test_database_ratio", r, &text);
    if (read == NumberRead::not_a_number) {
        print_message("NEURNETLearn: general: test_database_ratio (\"%s\") is not a finite "
                      "number\n", text.c_str());
        return false;
    }
    std::string test_on_learn;
    if (read == NumberRead::absent ||
        !attribute_text(document, "test_on_learn_database", &test_on_learn) ||
        test_on_learn.compare(0, 1, "n") != 0) {  // as written: "No" does not split
        *r = -1;
        return true;
    }
    if (*r == -1 || (*r >= 0 && *r < 1)) return true;
    print_message("NEURNETLearn: general: test_database_ratio (\"%s\") must be a number from 0 "
                  "up to but not including 1\n", text.c_str());
    return false;
}

}  // namespace

bool split_rows(const double* data, int rows, int cols, XMLParser** document, RowSets* sets)
{
    double r = -1;
    if (!test_share(document, &r)) return false;
    int learn = rows, test_first = 0, test = rows;
    if (r != -1) {
        learn = row_count((1 - r) * rows, rows);
        test_first = learn;
        test = row_count(r * rows, rows - learn);
    }
    if (learn == 0) {
        print_message("NEURNETLearn: no row of the %d in the database is left to learn from\n",
                      rows);
        return false;
    }
    for (int i = 0; i < learn; ++i) sets->learn.push_back(data + static_cast<size_t>(i) * cols);
    for (int i = 0; i < test; ++i)
        sets->test.push_back(data + static_cast<size_t>(test_first + i) * cols);
    return true;
}

int run_races(Network* network, const RowSets& rows, const std::vector<RacePlan>& races,
              const char* fileName, XMLParser** document)
{
    for (size_t i = 0; i < races.size(); ++i) {
        const RacePlan& race = races[i];
        if (race.settings.error_type == 1) set_minkowski_exponent(race.settings.R);
        if (!run_race(network, rows, static_cast<int>(i), race, document)) return 0;
        if (race.settings.auto_test == 1 && !rows.test.empty() &&
            !test_and_log_history(network, rows.test.data(), static_cast<int>(rows.test.size()),
                                  document)) {
            print_message("NEURNETLearn: race %d: the network's outputs on the test rows are not "
                          "finite numbers; the race is not saved\n", static_cast<int>(i) + 1);
            return 0;
        }
        // One save per race holds its history item and its weights together:
        // a failed save leaves the file as the previous race, or the caller,
        // left it.
        if (!write_weights_to_xml(network, fileName, document)) {
            print_message("NEURNETLearn: race %d is not saved; '%s' keeps what it held\n",
                          static_cast<int>(i) + 1, fileName);
            return 0;
        }
    }
    return 1;
}
