// Reading the learning races and their processes from an init file, and the
// history items of a race: its test, and a process that stopped stalled.
#include <climits>
#include <cmath>
#include <cstring>

#include "plugins/neurnet/attributes.h"
#include "plugins/neurnet/init_file.h"
#include "scriptrun/messages.h"
#include "xml/finite_values.h"

namespace {

const char* const learning_set_path = "/feed-forward_neural_network/initial_settings/learning_set";
const char* const race_path =
    "/feed-forward_neural_network/initial_settings/learning_set/learning";

// Races are the "learning" children of the learning set, counted and taken
// by that name, so that another element standing among them is neither run
// as a race nor hides one.
bool select_race(int i, XMLParser** document)
{
    return XMLchangeElementWithNumber(document, race_path, i + 1) != 0;
}

// Process kinds by the prefix of the lower-cased element name.
ProcessKind kind_of(const char* name)
{
    if (std::strncmp(name, "lbfgs_2", 7) == 0) return ProcessKind::lbfgs_2;
    if (std::strncmp(name, "lbfgs_m", 7) == 0) return ProcessKind::lbfgs_m;
    if (std::strncmp(name, "back", 4) == 0) return ProcessKind::back;
    if (std::strncmp(name, "conj", 4) == 0) return ProcessKind::conj;
    return ProcessKind::none;
}

// A setting of the current element, read once as the number it is checked
// to be: a finite real, or for an int setting a whole number within int
// ("0x10" is 16, "1e3" is 1000; "1.5" and "1e300" are refused). Absent, it
// keeps its default. False with *fault naming it when it is no such number.
bool read_setting(XMLParser** document, const char* name, double* value, std::string* fault)
{
    std::string text;
    if (!attribute_text(document, name, &text) || finite_number_text(text.c_str(), value))
        return true;
    *fault = std::string(name) + " (\"" + text + "\") is not a finite number";
    return false;
}

bool read_setting(XMLParser** document, const char* name, int* value, std::string* fault)
{
    std::string text;
    if (!attribute_text(document, name, &text) || read_whole_text(text.c_str(), value))
        return true;
    *fault = std::string(name) + " (\"" + text + "\") is not a whole number within the range "
             "of an int";
    return false;
}

// The line search's settings, and m for the L-BFGS kinds; num_of_max_iter
// is a real (finite once read) truncated to a whole number of trials, kept
// inside int.
bool read_search_settings(XMLParser** document, ProcessSettings* out, std::string* fault)
{
    double trials = 4.0;
    const bool read =
        (out->kind == ProcessKind::conj || read_setting(document, "m", &out->m, fault)) &&
        read_setting(document, "alpha0", &out->alpha0, fault) &&
        read_setting(document, "alpha_multiplier", &out->alpha_multiplier, fault) &&
        read_setting(document, "num_of_max_iter", &trials, fault) &&
        read_setting(document, "max_jump", &out->max_jump, fault) &&
        read_setting(document, "error_level", &out->error_level, fault);
    out->num_of_max_iter = static_cast<int>(std::fmax(std::fmin(trials, INT_MAX), INT_MIN));
    return read;
}

// Settings with which a process would divide by zero or never shorten
// its steps.
const char* range_fault(const ProcessSettings& s)
{
    if (s.kind == ProcessKind::back) return nullptr;
    if (!(s.max_jump > 0)) return "max_jump must be above 0";
    if (!(s.alpha_multiplier > 0 && s.alpha_multiplier < 1))
        return "alpha_multiplier must lie between 0 and 1";
    if (s.kind != ProcessKind::conj && s.m < 1) return "m must be 1 or more";
    return nullptr;
}

// Process j of race i is the current element; name is its lower-cased name.
ProcessRead read_process_numbers(int i, const char* name, ProcessSettings* s,
                                 XMLParser** document)
{
    std::string fault;
    const bool read =
        s->kind == ProcessKind::back
            ? read_setting(document, "learning_rate", &s->learning_rate, &fault) &&
                  read_setting(document, "momentum_factor", &s->momentum_factor, &fault) &&
                  read_setting(document, "error_level", &s->error_level, &fault)
            : read_search_settings(document, s, &fault);
    if (!read) {
        print_message("NEURNETLearn: race %d, process %s: %s\n", i + 1, name, fault.c_str());
        return ProcessRead::refused;
    }
    if (const char* range = range_fault(*s)) {
        print_message("NEURNETLearn: race %d, process %s: %s\n", i + 1, name, range);
        return ProcessRead::refused;
    }
    return ProcessRead::usable;
}

}  // namespace

int count_learning_races(XMLParser** document)
{
    if (!XMLchangeElement(document, learning_set_path)) return 0;
    const int children = XMLgetNumofChildElements(document);
    int races = 0;
    for (int n = 1; n <= children; ++n) {
        if (!XMLgotoChildElementWithNum(document, n)) break;
        const char* name = XMLgetActualElementName(document);
        races += name && std::strcmp(name, "learning") == 0;
        XMLchangeElementBack(document);
    }
    return races;
}

int count_race_processes(int i, XMLParser** document)
{
    return select_race(i, document) ? XMLgetNumofChildElements(document) : 0;
}

bool read_race_settings(int i, RaceSettings* out, XMLParser** document)
{
    *out = RaceSettings();
    if (!select_race(i, document)) return true;
    std::string fault, text;
    if (!read_setting(document, "max_iter_num", &out->max_iter_num, &fault) ||
        !read_setting(document, "break_if_test_ratio", &out->break_if_test_ratio, &fault) ||
        !read_setting(document, "minkovski_R", &out->R, &fault)) {
        print_message("NEURNETLearn: race %d: %s\n", i + 1, fault.c_str());
        return false;
    }
    // An exponent of 0 or below makes every delta 0 or not a number.
    if (!(out->R > 0)) {
        attribute_text(document, "minkovski_R", &text);
        print_message("NEURNETLearn: race %d: minkovski_R (\"%s\") must be a finite number above "
                      "0\n", i + 1, text.c_str());
        return false;
    }
    if (attribute_text(document, "error_function", &text)) {
        lowercase_in_place(&text[0]);
        out->error_type = text.compare(0, 4, "mink") == 0 ? 1
                          : text.compare(0, 3, "tse") == 0 ? 2 : 3;
    }
    out->auto_test = attribute_begins(document, "auto_test_after_learning", "y") ? 1 : 0;
    return true;
}

ProcessRead read_process_settings(int i, int j, ProcessSettings* out, std::string* name,
                                  XMLParser** document)
{
    *out = ProcessSettings();
    if (!select_race(i, document) || XMLgotoChildElementWithNum(document, j + 1) != j + 1)
        return ProcessRead::unknown;
    name->assign(lowercase_in_place(XMLgetActualElementName(document)));
    out->kind = kind_of(name->c_str());
    if (out->kind == ProcessKind::none) return ProcessRead::unknown;
    return read_process_numbers(i, name->c_str(), out, document);
}

bool read_learning_set(XMLParser** document, std::vector<RacePlan>* races)
{
    races->assign(static_cast<size_t>(count_learning_races(document)), RacePlan());
    for (size_t i = 0; i < races->size(); ++i) {
        RacePlan& race = (*races)[i];
        const int race_index = static_cast<int>(i);
        if (!read_race_settings(race_index, &race.settings, document)) return false;
        const int processes = count_race_processes(race_index, document);
        race.processes.resize(static_cast<size_t>(processes));
        race.names.resize(static_cast<size_t>(processes));
        for (int j = 0; j < processes; ++j)
            if (read_process_settings(race_index, j, &race.processes[j], &race.names[j],
                                      document) == ProcessRead::refused)
                return false;
    }
    return true;
}

// A new "item" at the end of "history", selected; false when the document
// has no "history", which then gets no item rather than one misplaced.
static bool add_history_item(XMLParser** document)
{
    return XMLchangeElement(document, "/feed-forward_neural_network/history") &&
           XMLaddChildElement(document, "item") &&
           XMLgotoChildElementWithNum(document, XMLgetNumofChildElements(document));
}

bool test_and_log_history(Network* network, const double* const* rows, int count,
                          XMLParser** document)
{
    print_message("begin testing\n");
    double ratio = 0.0, squared = 0.0;
    test_network(network, rows, count, &ratio, &squared);
    const double mse = count > 0 ? squared / count : 0.0;
    print_message("finish testing\n");
    if (!std::isfinite(mse)) return false;
    const bool history = add_history_item(document);
    if (history) XMLchangeOrAddDoubleAttribute(document, "mean_sq_error", mse);
    print_message("mean squared error(MSE): %f\n", mse);
    if (history) XMLchangeOrAddDoubleAttribute(document, "test_ratio", ratio);
    print_message("ratio: %f\n", ratio);
    if (history) XMLchangeOrAddAttribute(document, "date", time_text().c_str());
    return true;
}

void log_process_stop(const char* process, const std::string& reason, XMLParser** document)
{
    if (!add_history_item(document)) return;
    XMLchangeOrAddAttribute(document, "process", process);
    XMLchangeOrAddAttribute(document, "stopped", reason.c_str());
    XMLchangeOrAddAttribute(document, "date", time_text().c_str());
}
