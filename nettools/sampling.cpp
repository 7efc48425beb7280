// Sampling orders. Every epoch seeds the 15-bit generator from the clock and
// draws the start states of its row generators from it, so the rows an
// epoch picks depend only on the second it starts in.
#include "nettools/sampling.h"

#include <cstddef>
#include <cstdio>
#include <vector>

#include "nettools/seed_clock.h"
#include "support/random.h"

namespace {

// The one-hot target of one epoch: 1.0 at the sample's class only.
class OneHot {
public:
    explicit OneHot(int outputs) : target_(outputs > 0 ? outputs : 1, 0.0f) {}
    const float* at(int c)
    {
        target_[last_] = 0.0f;
        last_ = c;
        target_[c] = 1.0f;
        return target_.data();
    }

private:
    std::vector<float> target_;  // outputCount entries
    int last_ = 0;               // the entry set to 1.0
};

float mean(float sum, long long divisor)
{
    return divisor > 0 ? sum / static_cast<float>(divisor) : 0.0f;
}

// Start states, one per class, drawn in class order after a fresh seed.
std::vector<uint32_t> class_states(int classes)
{
    seed_random15(seed_from_clock());
    std::vector<uint32_t> states(classes > 0 ? classes : 0);
    for (uint32_t& s : states)
        s = static_cast<uint32_t>(random15());
    return states;
}

// Trains on the next row of class c's group; returns the sample error.
float train_class_row(NetGraph* net, const float* data, const int* group, int count,
                      uint32_t* state, const float* target, float rate)
{
    *state = row_generator_step(*state);
    int row = group[*state % static_cast<uint32_t>(count)];
    return net_train_sample(net, data + static_cast<size_t>(row) * net->inputCount, target, rate);
}

std::vector<int> group_starts(int classes, const int* classCounts)
{
    std::vector<int> starts(classes > 0 ? classes : 0);
    int start = 0;
    for (int c = 0; c < classes; ++c) {
        starts[c] = start;
        start += classCounts[c];
    }
    return starts;
}

}  // namespace

void sampler_build(ClassSampler* sampler, const float* weights, int count)
{
    sampler->count = count;
    sampler->cumulative = new float[count > 0 ? count : 1];
    seed_random15(seed_from_clock());
    double running = 0.0;
    for (int c = 0; c < count; ++c) {
        running += weights[c];
        sampler->cumulative[c] = static_cast<float>(running);
    }
    for (int c = 0; c < count; ++c)
        sampler->cumulative[c] = static_cast<float>(sampler->cumulative[c] / running);
}

int sampler_draw(const ClassSampler* sampler)
{
    if (sampler->count < 1)
        return 0;
    float u = static_cast<float>(random15()) * (1.0f / 32767.0f);
    for (int c = 0; c < sampler->count; ++c)
        if (u <= sampler->cumulative[c])
            return c;
    return sampler->count;
}

void sampler_free(ClassSampler* sampler)
{
    delete[] sampler->cumulative;
    sampler->cumulative = nullptr;
}

float net_epoch_full(NetGraph* net, const float* data, const int* labels, int rows, float rate)
{
    seed_random15(seed_from_clock());
    uint32_t state = static_cast<uint32_t>(random15());
    OneHot target(net->outputCount);
    float sum = 0.0f;
    for (int i = 0; i < rows; ++i) {
        state = row_generator_step(state);
        uint32_t r = state % static_cast<uint32_t>(rows);
        sum += net_train_sample(net, data + static_cast<size_t>(r) * net->inputCount,
                                target.at(labels[r]), rate);
    }
    return mean(sum, rows);
}

float net_epoch_class_uniform(NetGraph* net, const float* data, int rounds, int classes,
                              const int* classIndex, const int* classCounts, float rate)
{
    std::vector<uint32_t> states = class_states(classes);
    std::vector<int> starts = group_starts(classes, classCounts);
    OneHot target(net->outputCount);
    float sum = 0.0f;
    for (int round = 0; round < rounds; ++round)
        for (int c = 0; c < classes; ++c)
            if (classCounts[c] != 0)
                sum += train_class_row(net, data, classIndex + starts[c], classCounts[c],
                                       &states[c], target.at(c), rate);
    return mean(sum, static_cast<long long>(rounds) * classes);
}

float net_epoch_frequency(NetGraph* net, const float* data, int draws, int classes,
                          const int* classIndex, const int* classCounts, float rate,
                          const ClassSampler* sampler)
{
    std::vector<int> starts = group_starts(classes, classCounts);
    std::vector<uint32_t> states = class_states(classes);
    OneHot target(net->outputCount);
    float sum = 0.0f;
    for (int i = 0; i < draws; ++i) {
        int c = sampler_draw(sampler);
        if (c >= sampler->count || c >= classes || classCounts[c] == 0)
            continue;
        sum += train_class_row(net, data, classIndex + starts[c], classCounts[c], &states[c],
                               target.at(c), rate);
    }
    return mean(sum, draws);
}

// 0.5 * sum_j (one-hot_j - output_j)^2 per row, averaged; no training.
float validation_error(NetGraph* net, const float* data, const int* labels, int rowLength,
                       int rows)
{
    float total = 0.0f;
    for (int i = 0; i < rows; ++i) {
        const float* out = net_forward(net, data + static_cast<size_t>(i) * rowLength);
        double e = 0.0;
        for (int j = 0; j < net->outputCount; ++j) {
            double miss = j == labels[i] ? 1.0 - out[j] : out[j];
            e += miss * miss;
        }
        total += static_cast<float>(e);
    }
    return rows > 0 ? total * 0.5f / static_cast<float>(rows) : 0.0f;
}

void rate_schedule_step(RateSchedule* schedule, float epochError)
{
    if (epochError > schedule->threshold)
        schedule->rate = static_cast<float>(schedule->rate * 0.7);
    schedule->threshold = static_cast<float>(epochError * 0.95);
}

int training_rows(int lines, float learnRate)
{
    if (!(learnRate > 0.5f))
        return lines;
    float share = static_cast<float>(lines) * learnRate;
    return share < static_cast<float>(lines) ? static_cast<int>(share) : lines;
}

std::string split_refusal(int lines, int trainRows, float learnRate, int classes,
                          bool uniformEpochs)
{
    char text[200] = "";
    if (trainRows < 1)
        snprintf(text, sizeof text, "LearnRate %f leaves %d of the %d rows for training",
                 learnRate, trainRows, lines);
    else if (uniformEpochs && trainRows < classes)
        snprintf(text, sizeof text,
                 "uniform class sampling needs a training row per class: %d training rows, "
                 "%d classes", trainRows, classes);
    return text;
}
