// Training loops and schedules: projections are added one at a time (each
// followed by backfitting of all so far, or of stretches of them) or all
// trained together.
#include "plugins/pathlet/training.h"

#include "plugins/pathlet/fitting.h"
#include "scriptrun/messages.h"

namespace {

// One rotation: a direction step, then a refit of the Hermite coefficients.
void rotate(ProjectionModel* model, int rotation, int m)
{
    print_message("\t\tRotation No. %d\n", rotation);
    print_message("\t\tError before iteration:        %f\n", fit_direction(model, m));
    print_message("\t\tError after setting direction: %f\n", fit_hermite(model, m));
}

void backfit(ProjectionModel* model, const TrainSettings& s, int j)
{
    print_message("Backfitting projection No. %d\n", j + 1);
    train_projection(model, s.RotateB, s.TrainLoopB, j);
}

// Adds projection i and trains it.
void add_projection(ProjectionModel* model, const TrainSettings& s, int i)
{
    set_active_count(model, i + 1);
    print_message("Adding projection No. %d\n", i + 1);
    train_projection(model, s.Rotate, s.TrainLoop, i);
}

// After projection i is added, the stretches start at 0, S, 2S, ... below i,
// and each backfits from its start through i.
void backfit_stretches(ProjectionModel* model, const TrainSettings& s, int i)
{
    for (long long start = 0; start < i; start += s.Strategy)
        for (int j = static_cast<int>(start); j <= i; ++j)
            backfit(model, s, j);
}

}  // namespace

void train_projection(ProjectionModel* model, int rotations, int loops, int m)
{
    // Counted from 0 so that a count of INT_MAX still ends.
    for (int it = 0; it < loops; ++it) {
        print_message("\tIteration No. %d\n", it + 1);
        for (int rot = 0; rot < rotations; ++rot)
            rotate(model, rot + 1, m);
        print_message("\tError after Hermite interpol:  %f\n", fit_output_weights(model));
    }
}

void train_all_projections(ProjectionModel* model, int rotations, int loops)
{
    for (int it = 0; it < loops; ++it) {
        print_message("\tIteration No. %d\n", it + 1);
        for (int j = 0; j < model->NumProj; ++j) {
            print_message("       Adjusting projection No. %d\n", j + 1);
            for (int rot = 0; rot < rotations; ++rot)
                rotate(model, rot + 1, j);
        }
        print_message("\tError after Hermite interpol:  %f\n", fit_output_weights(model));
    }
}

void run_schedule(ProjectionModel* model, const TrainSettings& s)
{
    if (s.Strategy == -1) {
        set_active_count(model, s.NumProj);
        train_all_projections(model, s.Rotate, s.TrainLoop);
        return;
    }
    for (int i = 0; i < s.NumProj; ++i) {
        add_projection(model, s, i);
        if (s.Strategy == 0) {
            for (int j = 0; j <= i; ++j)
                backfit(model, s, j);
        } else if (s.Strategy > 0) {
            backfit_stretches(model, s, i);
        }
    }
}
