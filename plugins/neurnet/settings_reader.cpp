// Reading the learning races and their processes from an init file, and the
// test-and-log step after a race.
#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>

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

// The first of the named attributes that is present but holds no finite
// number, with its text; false when there is none.
bool non_number(XMLParser** document, std::initializer_list<const char*> names,
                const char** name, std::string* text)
{
    for (const char* candidate : names) {
        double value = 0.0;
        if (attribute_real(document, candidate, &value, text) == NumberRead::not_a_number) {
            *name = candidate;
            return true;
        }
    }
    return false;
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
    const char* attribute = nullptr;
    std::string text;
    const bool back = s->kind == ProcessKind::back;
    if (back ? non_number(document, {"learning_rate", "momentum_factor", "error_level"},
                          &attribute, &text)
             : non_number(document, {"m", "alpha0", "alpha_multiplier", "num_of_max_iter",
                                     "max_jump", "error_level"}, &attribute, &text)) {
        print_message("NEURNETLearn: race %d, process %s: %s (\"%s\") is not a finite number\n",
                      i + 1, name, attribute, text.c_str());
        return ProcessRead::refused;
    }
    if (back) {
        s->learning_rate = XMLgetAttrDoubleValue(document, "learning_rate", 0.3);
        s->momentum_factor = XMLgetAttrDoubleValue(document, "momentum_factor", 0.0);
        s->error_level = XMLgetAttrDoubleValue(document, "error_level", 0.0);
    } else {
        read_search_settings(document, s);
    }
    if (const char* fault = range_fault(*s)) {
        print_message("NEURNETLearn: race %d, process %s: %s\n", i + 1, name, fault);
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
    const char* attribute = nullptr;
    std::string value;
    if (non_number(document, {"max_iter_num", "break_if_test_ratio", "minkovski_R"}, &attribute,
                   &value)) {
        print_message("NEURNETLearn: race %d: %s (\"%s\") is not a finite number\n", i + 1,
                      attribute, value.c_str());
        return false;
    }
    // An exponent of 0 or below, or an infinite one, makes every delta 0 or
    // not a number.
    if (attribute_real(document, "minkovski_R", &out->R, &value) == NumberRead::read &&
        !(out->R > 0)) {
        print_message("NEURNETLearn: race %d: minkovski_R (\"%s\") must be a finite number above "
                      "0\n", i + 1, value.c_str());
        return false;
    }
    if (attribute_text(document, "error_function", &value)) {
        lowercase_in_place(&value[0]);
        out->error_type = value.compare(0, 4, "mink") == 0 ? 1
                          : value.compare(0, 3, "tse") == 0 ? 2 : 3;
    }
    out->auto_test = attribute_begins(document, "auto_test_after_learning", "y") ? 1 : 0;
    out->max_iter_num = XMLgetAttrIntValue(document, "max_iter_num", -1);
    out->break_if_test_ratio = XMLgetAttrDoubleValue(document, "break_if_test_ratio", 1.0);
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
