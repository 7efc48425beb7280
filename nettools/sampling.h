// Training epochs in three sampling orders, the validation error, the rate
// of early stopping, and the least-squares fit of the output weights.
#ifndef NETTOOLS_SAMPLING_H
#define NETTOOLS_SAMPLING_H

#include <cstdint>
#include <string>

#include "nettools/net_graph.h"

// One step of the row generator: state * 196314165 + 907633515 (mod 2^32).
inline uint32_t row_generator_step(uint32_t state)
{
    return state * 196314165u + 907633515u;
}

struct ClassSampler {
    int count;          // number of classes
    float* cumulative;  // [count] cumulative share of the class weights
};

void sampler_build(ClassSampler* sampler, const float* weights, int count);
// A class index drawn by the weights, or count when no class is found.
int sampler_draw(const ClassSampler* sampler);
void sampler_free(ClassSampler* sampler);

// Each epoch returns the mean sample error (0 when its divisor is 0). Rows
// are net->inputCount floats apart. classIndex lists the training rows
// grouped by class, classCounts[c] entries for class c.
float net_epoch_full(NetGraph* net, const float* data, const int* labels, int rows, float rate);
float net_epoch_class_uniform(NetGraph* net, const float* data, int rounds, int classes,
                              const int* classIndex, const int* classCounts, float rate);
float net_epoch_frequency(NetGraph* net, const float* data, int draws, int classes,
                          const int* classIndex, const int* classCounts, float rate,
                          const ClassSampler* sampler);
float validation_error(NetGraph* net, const float* data, const int* labels, int rowLength,
                       int rows);

// The rows that train are the first training_rows(lines, LearnRate) rows of
// the file: all of them, or above a LearnRate of 0.5 the share lines *
// LearnRate, truncated and never more than lines; the rest validate. Below
// a LearnRate of 1 the float product stays below the line count, so early
// stopping always has a validation row; from 1 up all rows train.
int training_rows(int lines, float learnRate);
// Why a split leaves the epochs nothing to train on, or empty when it is
// sound: no training row, or epochs of uniform class sampling
// (uniformEpochs) over fewer training rows than classes, whose rounds of
// one row per class number 0.
std::string split_refusal(int lines, int trainRows, float learnRate, int classes,
                          bool uniformEpochs);

// The managed rate of early stopping: from 0.3 it shrinks to 70% whenever
// an epoch's error exceeds 95% of the error of the epoch before.
struct RateSchedule {
    float rate = 0.3f;            // rate of the next epoch
    float threshold = 100000.0f;  // 95% of the last epoch's error
};
// Takes the error of the epoch just run.
void rate_schedule_step(RateSchedule* schedule, float epochError);

// Fits the output units' weights and biases by least squares on the last
// unit's inputs over all rows; weights with |q| < threshold are set to 0.
// Returns 1 after the fit, or 0 after a message on the standard error
// stream, the weights unchanged, when an output unit reads other inputs
// than the last unit or reads an output, when there are fewer rows than the
// fan-in plus one, or when the system is singular. Either way *meanError
// receives the mean sample error of the network afterwards.
int net_fit_output_weights(NetGraph* net, const float* data, const int* labels, int rows,
                           float threshold, float* meanError);

#endif
