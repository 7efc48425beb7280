// Reading, keeping and reporting the training options. Keys are found as
// plain substrings, so "NumProj" also matches inside "NumProjPars", "Rotate"
// inside "RotateB" and "TrainLoop" inside "TrainLoopB".
#include "plugins/pathlet/settings.h"

#include "scriptrun/messages.h"
#include "support/options.h"

namespace {

int kept_num_proj = 1;       // NumProj of the last training call that gave it
int kept_num_proj_pars = 1;  // NumProjPars likewise

// One option: its key, where it is stored, and the values it may take.
struct OptionRule {
    const char* key;             // option key, in the order keys are read
    int TrainSettings::*field;   // where its value goes
    int minimum;                 // smallest value that makes sense
    bool up_to_rows;             // at most the training rows
};

// Below -1 the stretch starts would never pass the projection count. The
// output weights of the projections and the Hermite coefficients of each are
// least-squares solutions over the training rows, so neither count may
// exceed the rows. An added projection (with Strategy -1, the whole set)
// must be rotated at least once to be trained at all; backfitting may be
// left out.
const OptionRule rules[] = {
    {"NumProj", &TrainSettings::NumProj, 1, true},
    {"NumProjPars", &TrainSettings::NumProjPars, 1, true},
    {"Strategy", &TrainSettings::Strategy, -1, false},
    {"Rotate", &TrainSettings::Rotate, 1, false},
    {"TrainLoop", &TrainSettings::TrainLoop, 1, false},
    {"RotateB", &TrainSettings::RotateB, 0, false},
    {"TrainLoopB", &TrainSettings::TrainLoopB, 0, false},
};

// Reads the rule's key into its field; false, after a message naming the
// option, when the text is no whole number or the value is out of range.
bool read_rule(const char* options, const OptionRule& rule, int rows, TrainSettings* s)
{
    int* value = &(s->*rule.field);
    bool whole = read_whole_option(options, rule.key, value) != OptionRead::refused;
    if (whole && *value >= rule.minimum && (!rule.up_to_rows || *value <= rows))
        return true;
    if (rule.up_to_rows)
        print_message("PATHLET: %s must be a whole number from %d to the number of data lines "
                      "(%d)\n", rule.key, rule.minimum, rows);
    else
        print_message("PATHLET: %s must be a whole number of %d or more\n", rule.key,
                      rule.minimum);
    return false;
}

}  // namespace

bool read_settings(const char* options, int rows, TrainSettings* s)
{
    *s = TrainSettings{kept_num_proj, kept_num_proj_pars, 0, 3, 3, 2, 1};
    for (const OptionRule& rule : rules)
        if (!read_rule(options, rule, rows, s))
            return false;
    return true;
}

void keep_settings(const TrainSettings& s)
{
    kept_num_proj = s.NumProj;
    kept_num_proj_pars = s.NumProjPars;
}

void print_settings(const TrainSettings& s)
{
    print_message("\nNumber of Projections: %d\n", s.NumProj);
    print_message("Number of projection paramters: %d\n", s.NumProjPars);
    print_message("Training strategy: %s\n", s.Strategy == 0 ? "Full Train" : "Backfitting");
    print_message("Number of rotations before weight adjustment: %d\n", s.Rotate);
    print_message("Number of training iterations per projection: %d\n", s.TrainLoop);
    print_message("Number of rotations when backfitting:  %d\n", s.RotateB);
    print_message("Number of iterations when backfitting: %d\n\n", s.TrainLoopB);
}

std::vector<std::string> settings_items(const TrainSettings& s)
{
    return {"NumProj = " + std::to_string(s.NumProj),
            "NumProjPars = " + std::to_string(s.NumProjPars),
            "Strategy = " + std::to_string(s.Strategy),
            "Rotate = " + std::to_string(s.Rotate),
            "TrainLoop = " + std::to_string(s.TrainLoop),
            "RotateB = " + std::to_string(s.RotateB),
            "TrainLoopB = " + std::to_string(s.TrainLoopB)};
}
