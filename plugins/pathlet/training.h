// The training loops over the fitting steps and the schedules built from
// them, each printing its trace lines.
#ifndef PATHLET_TRAINING_H
#define PATHLET_TRAINING_H

#include "plugins/pathlet/projection_model.h"

// What a training call does; read from its option string.
struct TrainSettings {
    int NumProj;      // projections M
    int NumProjPars;  // Hermite functions per projection R
    int Strategy;     // 0 backfit all after each, -1 all together, S >= 1 stretches
    int Rotate;       // rotations per iteration when adding (or all together)
    int TrainLoop;    // iterations per added projection (or of the whole set)
    int RotateB;      // rotations per iteration when backfitting
    int TrainLoopB;   // iterations when backfitting
};

// loops iterations of: rotations times (direction step, Hermite refit) of
// projection m, then an output-weight refit.
void train_projection(ProjectionModel* model, int rotations, int loops, int m);

// loops iterations of: rotations of every projection in use in turn, then
// an output-weight refit.
void train_all_projections(ProjectionModel* model, int rotations, int loops);

// The schedule of settings.Strategy over settings.NumProj projections;
// Strategy must be -1 or more.
void run_schedule(ProjectionModel* model, const TrainSettings& settings);

#endif
