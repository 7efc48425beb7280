// Reading, keeping and reporting the training options. Keys are found as
// plain substrings, so "NumProj" also matches inside "NumProjPars", "Rotate"
// inside "RotateB" and "TrainLoop" inside "TrainLoopB".
#include "plugins/pathlet/settings.h"

#include <cstdlib>

#include "scriptrun/messages.h"
#include "support/options.h"

namespace {

int kept_num_proj = 1;       // NumProj of the last training call that gave it
int kept_num_proj_pars = 1;  // NumProjPars likewise

// The whole number after key= in options (atoi: 0 for no number), or the
// current value when the key is absent.
void read_key(const char* options, const char* key, int* value)
{
    char* text = get_option_value(options, key);
    if (!text)
        return;
    *value = atoi(text);
    free(text);
}

}  // namespace

bool read_settings(const char* options, TrainSettings* s)
{
    *s = TrainSettings{kept_num_proj, kept_num_proj_pars, 0, 3, 3, 2, 1};
    read_key(options, "NumProj", &s->NumProj);
    read_key(options, "NumProjPars", &s->NumProjPars);
    read_key(options, "Strategy", &s->Strategy);
    read_key(options, "Rotate", &s->Rotate);
    read_key(options, "TrainLoop", &s->TrainLoop);
    read_key(options, "RotateB", &s->RotateB);
    read_key(options, "TrainLoopB", &s->TrainLoopB);
    // Below -1 the stretch starts would never pass the projection count;
    // below 1 projection or Hermite function there is no model.
    if (s->Strategy < -1) {
        print_message("PATHLET: Strategy must be -1 or more\n");
        return false;
    }
    if (s->NumProj < 1) {
        print_message("PATHLET: NumProj must be 1 or more\n");
        return false;
    }
    if (s->NumProjPars < 1) {
        print_message("PATHLET: NumProjPars must be 1 or more\n");
        return false;
    }
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
