// Reading the learning races and their processes from an init file, and the
// test-and-log step after a race.
#include <climits>
#include <cmath>
#include <cstring>

#include "plugins/neurnet/attributes.h"
#include "plugins/neurnet/init_file.h"
#include "scriptrun/messages.h"

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

// A real setting read as an integer by truncation, kept inside int.
int truncated(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= INT_MAX) return INT_MAX;
    if (value <= INT_MIN) return INT_MIN;
    return static_cast<int>(value);
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

void read_search_settings(XMLParser** document, ProcessSettings* out)
{
    if (out->kind != ProcessKind::conj) out->m = XMLgetAttrIntValue(document, "m", 7);
    out->alpha0 = XMLgetAttrDoubleValue(document, "alpha0", 1.0);
    out->alpha_multiplier = XMLgetAttrDoubleValue(document, "alpha_multiplier", 0.4);
    out->num_of_max_iter = truncated(XMLgetAttrDoubleValue(document, "num_of_max_iter", 4.0));
    out->max_jump = XMLgetAttrDoubleValue(document, "max_jump", 0.4);
    out->error_level = XMLgetAttrDoubleValue(document, "error_level", 0.0);
}

// Settings with which a process would divide by zero, never shorten its
// steps, or run on numbers that are not numbers.
bool check_settings(const char* name, const ProcessSettings& s)
{
    const char* fault = nullptr;
    if (s.kind == ProcessKind::back) {
        if (!std::isfinite(s.learning_rate) || !std::isfinite(s.momentum_factor) ||
            std::isnan(s.error_level))
            fault = "learning_rate, momentum_factor and error_level must be numbers";
    } else if (!(s.max_jump > 0) || std::isnan(s.max_jump)) {
        fault = "max_jump must be above 0";
    } else if (!(s.alpha_multiplier > 0 && s.alpha_multiplier < 1)) {
        fault = "alpha_multiplier must lie between 0 and 1";
    } else if (s.kind != ProcessKind::conj && s.m < 1) {
        fault = "m must be 1 or more";
    } else if (!std::isfinite(s.alpha0) || std::isnan(s.error_level)) {
        fault = "alpha0 and error_level must be numbers";
    }
    if (fault) print_message("process %s: %s; the process is skipped\n", name, fault);
    return fault == nullptr;
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

void read_race_settings(int i, RaceSettings* out, XMLParser** document)
{
    *out = RaceSettings();
    if (!select_race(i, document)) return;
    std::string value;
    if (attribute_text(document, "error_function", &value)) {
        lowercase_in_place(&value[0]);
        out->error_type = value.compare(0, 4, "mink") == 0 ? 1
                          : value.compare(0, 3, "tse") == 0 ? 2 : 3;
    }
    out->auto_test = attribute_begins(document, "auto_test_after_learning", "y") ? 1 : 0;
    const double R = XMLgetAttrDoubleValue(document, "minkovski_R", 0.0);
    out->R = R > 0 ? R : 2.0;
    out->max_iter_num = XMLgetAttrIntValue(document, "max_iter_num", -1);
    out->break_if_test_ratio = XMLgetAttrDoubleValue(document, "break_if_test_ratio", 1.0);
}

bool read_process_settings(int i, int j, ProcessSettings* out, XMLParser** document)
{
    if (!select_race(i, document) || XMLgotoChildElementWithNum(document, j + 1) != j + 1)
        return false;
    char* name = lowercase_in_place(XMLgetActualElementName(document));
    ProcessSettings s;
    s.kind = kind_of(name);
    if (s.kind == ProcessKind::none) {
        print_message("process %s is of no known kind; it is skipped\n", name);
        return false;
    }
    if (s.kind == ProcessKind::back) {
        s.learning_rate = XMLgetAttrDoubleValue(document, "learning_rate", 0.3);
        s.momentum_factor = XMLgetAttrDoubleValue(document, "momentum_factor", 0.0);
        s.error_level = XMLgetAttrDoubleValue(document, "error_level", 0.0);
    } else {
        read_search_settings(document, &s);
    }
    if (!check_settings(name, s)) return false;
    *out = s;
    return true;
}

void test_and_log_history(Network* network, const double* const* rows, int count,
                          const char* fileName, XMLParser** document)
{
    print_message("begin testing\n");
    double ratio = 0.0, squared = 0.0;
    test_network(network, rows, count, &ratio, &squared);
    const double mse = count > 0 ? squared / count : 0.0;
    print_message("finish testing\n");
    // A document without "history" gets no item rather than one misplaced.
    const bool history = XMLchangeElement(document, "/feed-forward_neural_network/history") &&
                         XMLaddChildElement(document, "item") &&
                         XMLgotoChildElementWithNum(document, XMLgetNumofChildElements(document));
    if (history) XMLchangeOrAddDoubleAttribute(document, "mean_sq_error", mse);
    print_message("mean squared error(MSE): %f\n", mse);
    if (history) XMLchangeOrAddDoubleAttribute(document, "test_ratio", ratio);
    print_message("ratio: %f\n", ratio);
    if (history) XMLchangeOrAddAttribute(document, "date", time_text().c_str());
    XMLsave(document, fileName);
}
