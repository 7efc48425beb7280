// Sampling orders: the row generator, the class sampler, the rows each order
// trains (read back from a network that counts its samples), the means and
// their divisors, the validation error, and the least-squares output fit
// against normal equations solved here.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "nettools/net_files.h"
#include "nettools/sampling.h"
#include "nettools/seed_clock.h"
#include "support/random.h"
#include "tests/nettools/net_test_helpers.h"

namespace {

const unsigned fixed_seed = 777;
unsigned fixed_clock() { return fixed_seed; }

// The generator written with 64-bit arithmetic, reduced by hand.
uint32_t reference_step(uint32_t state)
{
    return static_cast<uint32_t>((static_cast<uint64_t>(state) * 196314165ull + 907633515ull) &
                                 0xffffffffull);
}

TEST(RowGenerator, FirstValues)
{
    struct Case {
        uint32_t state, next;
    } cases[] = {
        {0u, 907633515u},
        {1u, 1103947680u},
        {907633515u, reference_step(907633515u)},
        {0xffffffffu, reference_step(0xffffffffu)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(row_generator_step(c.state), c.next) << c.state;
    EXPECT_EQ(reference_step(0xffffffffu), 907633515u - 196314165u);
}

TEST(ClassSampler, CumulativeSharesAndDraws)
{
    set_seed_clock(fixed_clock);
    ClassSampler sampler;
    const float weights[3] = {1.0f, 2.0f, 1.0f};
    sampler_build(&sampler, weights, 3);
    EXPECT_EQ(sampler.cumulative[0], 0.25f);
    EXPECT_EQ(sampler.cumulative[1], 0.75f);
    EXPECT_EQ(sampler.cumulative[2], 1.0f);
    seed_random15(5);
    std::vector<int> drawn;
    for (int i = 0; i < 50; ++i)
        drawn.push_back(sampler_draw(&sampler));
    seed_random15(5);
    for (int i = 0; i < 50; ++i) {
        float u = static_cast<float>(random15()) * (1.0f / 32767.0f);
        EXPECT_EQ(drawn[i], u <= 0.25f ? 0 : u <= 0.75f ? 1 : 2);
    }
    sampler_free(&sampler);
    float short_of_one[2] = {0.2f, 0.5f};
    ClassSampler partial{2, short_of_one};
    seed_random15(9);
    int beyond = 0;
    for (int i = 0; i < 200; ++i)
        beyond += sampler_draw(&partial) == 2;
    EXPECT_GT(beyond, 50);
    ClassSampler empty{0, nullptr};
    EXPECT_EQ(sampler_draw(&empty), 0);
    set_seed_clock(nullptr);
}

// A one-layer linear network over one-hot rows: training row r of class c
// adds about rate * 0.1 to weight (c, r), so the weights count the samples.
struct CountingNet {
    int rows, classes;
    NetGraph* net;
    std::vector<float> data;  // rows x rows identity
    CountingNet(int r, int c) : rows(r), classes(c), net(layered_net({r, c}, UNIT_LINEAR)), data(r * r, 0.0f)
    {
        for (int w = 0; w + 1 < net->weightCount; ++w)
            net->weights[w] = 0.0f;
        for (int i = 0; i < net->unitCount; ++i)
            net->units[i]->bias = 0.0f;
        for (int i = 0; i < r; ++i)
            data[i * r + i] = 1.0f;
    }
    ~CountingNet() { free_net(net); }
    std::vector<int> counts(const std::vector<int>& labels, float rate) const
    {
        std::vector<int> out(rows);
        for (int r = 0; r < rows; ++r)
            out[r] = static_cast<int>(std::lround(net->weights[labels[r] * rows + r] / (rate * 0.1f)));
        return out;
    }
};

// Training rows grouped by class, in row order.
void group_rows(const std::vector<int>& labels, int classes, std::vector<int>* index,
                std::vector<int>* counts)
{
    counts->assign(classes, 0);
    index->clear();
    for (int c = 0; c < classes; ++c)
        for (size_t r = 0; r < labels.size(); ++r)
            if (labels[r] == c) {
                index->push_back(static_cast<int>(r));
                ++(*counts)[c];
            }
}

// Rows the three orders should train, simulated from the fixed seed.
std::vector<int> expected_rows(int order, const std::vector<int>& index, const std::vector<int>& counts,
                               int rows, int repeats, const ClassSampler* sampler)
{
    std::vector<int> trained(rows, 0), start(counts.size(), 0);
    for (size_t c = 1; c < counts.size(); ++c)
        start[c] = start[c - 1] + counts[c - 1];
    seed_random15(fixed_seed);
    if (order == 0) {
        uint32_t state = random15();
        for (int i = 0; i < rows; ++i) {
            state = reference_step(state);
            ++trained[state % rows];
        }
        return trained;
    }
    std::vector<uint32_t> states(counts.size());
    for (uint32_t& s : states)
        s = random15();
    auto train_class = [&](size_t c) {
        states[c] = reference_step(states[c]);
        ++trained[index[start[c] + states[c] % counts[c]]];
    };
    for (int i = 0; i < repeats; ++i) {
        if (order == 1) {
            for (size_t c = 0; c < counts.size(); ++c)
                if (counts[c] != 0)
                    train_class(c);
            continue;
        }
        float u = static_cast<float>(random15()) * (1.0f / 32767.0f);
        size_t c = 0;
        while (c < counts.size() && u > sampler->cumulative[c])
            ++c;
        if (c < counts.size() && counts[c] != 0)
            train_class(c);
    }
    return trained;
}

TEST(SamplingOrders, RowsChosenFromAFixedSeed)
{
    const std::vector<int> labels = {0, 2, 0, 0, 2, 2, 0, 2, 0, 0, 2, 0, 2};  // class 1 empty
    const int rows = static_cast<int>(labels.size()), classes = 3;
    const float rate = 1e-3f;
    std::vector<int> index, counts;
    group_rows(labels, classes, &index, &counts);
    float w[3] = {0.5f, 0.25f, 0.25f};
    set_seed_clock(fixed_clock);
    ClassSampler sampler;
    sampler_build(&sampler, w, classes);
    for (int order = 0; order < 3; ++order) {
        CountingNet counter(rows, classes);
        float mean = 0.0f;
        int repeats = order == 1 ? 9 : 30, samples = 0;
        if (order == 0)
            mean = net_epoch_full(counter.net, counter.data.data(), labels.data(), rows, rate);
        if (order == 1)
            mean = net_epoch_class_uniform(counter.net, counter.data.data(), repeats, classes,
                                           index.data(), counts.data(), rate);
        if (order == 2)
            mean = net_epoch_frequency(counter.net, counter.data.data(), repeats, classes,
                                       index.data(), counts.data(), rate, &sampler);
        std::vector<int> expected = expected_rows(order, index, counts, rows, repeats, &sampler);
        EXPECT_EQ(counter.counts(labels, rate), expected) << "order " << order;
        for (int n : expected)
            samples += n;
        // Outputs stay near 0, so each sample costs about 0.5; skipped
        // classes and draws still count in the divisor.
        int divisor = order == 0 ? rows : order == 1 ? repeats * classes : repeats;
        EXPECT_NEAR(mean, 0.5 * samples / divisor, 0.01) << "order " << order;
    }
    sampler_free(&sampler);
    set_seed_clock(nullptr);
}

TEST(SamplingOrders, SameSecondSameRowsAndEmptyEpochs)
{
    set_seed_clock(fixed_clock);
    const std::vector<int> labels = {0, 1, 1, 0, 1};
    CountingNet a(5, 2), b(5, 2);
    net_epoch_full(a.net, a.data.data(), labels.data(), 5, 1e-3f);
    net_epoch_full(b.net, b.data.data(), labels.data(), 5, 1e-3f);
    EXPECT_EQ(a.counts(labels, 1e-3f), b.counts(labels, 1e-3f));
    EXPECT_EQ(net_epoch_full(a.net, a.data.data(), labels.data(), 0, 1e-3f), 0.0f);
    int counts[2] = {0, 0};
    EXPECT_EQ(net_epoch_class_uniform(a.net, a.data.data(), 0, 2, nullptr, counts, 1e-3f), 0.0f);
    set_seed_clock(nullptr);
}

TEST(ValidationError, PerfectZeroAndPartialOutputs)
{
    NetGraph* net = layered_net({3, 3}, UNIT_LINEAR);
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, zero[3] = {0, 0, 0};
    set_layer(net, 0, 3, identity, zero);
    const int labels[2] = {2, 0};
    struct Case {
        std::vector<float> rows;
        float expected;
    } cases[] = {
        {{0, 0, 1, 1, 0, 0}, 0.0f},
        {{0, 0, 0, 0, 0, 0}, 0.5f},
        {{0, 0, 0.5f, 1, 0.5f, 0}, (0.5f * 0.25f + 0.5f * 0.25f) / 2},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(validation_error(net, c.rows.data(), labels, 3, 2), c.expected);
    free_net(net);
}

// Solves (A^T A) q = A^T t by Gaussian elimination with partial pivoting.
std::vector<double> normal_equations(const std::vector<double>& a, int rows, int cols,
                                     const std::vector<double>& t)
{
    std::vector<double> m(cols * (cols + 1), 0.0);
    for (int i = 0; i < cols; ++i) {
        for (int j = 0; j < cols; ++j)
            for (int r = 0; r < rows; ++r)
                m[i * (cols + 1) + j] += a[r * cols + i] * a[r * cols + j];
        for (int r = 0; r < rows; ++r)
            m[i * (cols + 1) + cols] += a[r * cols + i] * t[r];
    }
    for (int p = 0; p < cols; ++p) {
        int best = p;
        for (int i = p + 1; i < cols; ++i)
            if (std::fabs(m[i * (cols + 1) + p]) > std::fabs(m[best * (cols + 1) + p]))
                best = i;
        for (int j = 0; j <= cols; ++j)
            std::swap(m[p * (cols + 1) + j], m[best * (cols + 1) + j]);
        for (int i = p + 1; i < cols; ++i) {
            double f = m[i * (cols + 1) + p] / m[p * (cols + 1) + p];
            for (int j = p; j <= cols; ++j)
                m[i * (cols + 1) + j] -= f * m[p * (cols + 1) + j];
        }
    }
    std::vector<double> q(cols);
    for (int i = cols - 1; i >= 0; --i) {
        double s = m[i * (cols + 1) + cols];
        for (int j = i + 1; j < cols; ++j)
            s -= m[i * (cols + 1) + j] * q[j];
        q[i] = s / m[i * (cols + 1) + i];
    }
    return q;
}

struct FitCase {
    NetGraph* net;
    std::vector<float> data;   // rows x 3
    std::vector<int> labels;   // rows
    std::vector<double> a;     // rows x 5: hidden outputs computed here, then 1
    int rows;
    explicit FitCase(int n) : rows(n)
    {
        set_seed_clock(fixed_clock);
        net = net_create(3, 4, 2, UNIT_LINEAR);
        set_seed_clock(nullptr);
        for (int w = 0; w < 12; ++w)
            net->weights[w] = static_cast<float>(std::sin(w * 1.3 + 0.2) * 2.0);
        for (int r = 0; r < n; ++r) {
            labels.push_back((r * 7 + r / 3) % 2);
            for (int i = 0; i < 3; ++i)
                data.push_back(static_cast<float>(std::cos(r * 0.9 + i * 2.1) + labels[r] * 0.5 * i));
            for (int m = 0; m < 4; ++m) {
                double in = net->units[m]->bias;
                for (int i = 0; i < 3; ++i)
                    in += static_cast<double>(net->weights[m * 3 + i]) * data[r * 3 + i];
                a.push_back(1.0 / (1.0 + std::exp(-in)));
            }
            a.push_back(1.0);
        }
    }
    ~FitCase() { free_net(net); }
    std::vector<double> solution(int output) const
    {
        std::vector<double> t(rows);
        for (int r = 0; r < rows; ++r)
            t[r] = labels[r] == output ? 1.0 : 0.0;
        return normal_equations(a, rows, 5, t);
    }
};

TEST(OutputFit, MatchesNormalEquations)
{
    FitCase fit(40);
    float error = -1.0f;
    testing::internal::CaptureStdout();
    ASSERT_EQ(net_fit_output_weights(fit.net, fit.data.data(), fit.labels.data(), 40, 0.0f, &error), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    double total = 0.0;
    std::vector<std::vector<double>> q = {fit.solution(0), fit.solution(1)};
    for (int j = 0; j < 2; ++j) {
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(fit.net->weights[12 + j * 4 + k], q[j][k], 1e-3 * (1 + std::fabs(q[j][k])));
        EXPECT_NEAR(fit.net->units[4 + j]->bias, q[j][4], 1e-3 * (1 + std::fabs(q[j][4])));
    }
    for (int r = 0; r < 40; ++r)
        for (int j = 0; j < 2; ++j) {
            double y = 0.0;
            for (int k = 0; k < 5; ++k)
                y += fit.a[r * 5 + k] * q[j][k];
            double e = (fit.labels[r] == j ? 1.0 : 0.0) - y;
            total += 0.5 * e * e;
        }
    EXPECT_NEAR(error, total / 40, 1e-4);
}

TEST(OutputFit, ThresholdZeroesSmallWeightsButNeverTheBias)
{
    FitCase fit(40);
    std::vector<std::vector<double>> q = {fit.solution(0), fit.solution(1)};
    double threshold = (std::fabs(q[0][1]) + std::fabs(q[0][2])) / 2;
    int zeroed = 0;
    for (int j = 0; j < 2; ++j)
        for (int k = 0; k < 4; ++k)
            zeroed += std::fabs(q[j][k]) < threshold;
    ASSERT_GT(zeroed, 0);
    float error = 0.0f;
    testing::internal::CaptureStdout();
    ASSERT_EQ(net_fit_output_weights(fit.net, fit.data.data(), fit.labels.data(), 40,
                                     static_cast<float>(threshold), &error), 1);
    char expected[80];
    snprintf(expected, sizeof expected, "%.2f percent of the outputs weights were zeroed\n",
             100.0 * zeroed / 10);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
    for (int j = 0; j < 2; ++j) {
        for (int k = 0; k < 4; ++k)
            if (std::fabs(q[j][k]) < threshold) {
                EXPECT_EQ(fit.net->weights[12 + j * 4 + k], 0.0f);
            }
        EXPECT_NEAR(fit.net->units[4 + j]->bias, q[j][4], 1e-3 * (1 + std::fabs(q[j][4])));
    }
}

TEST(OutputFit, TooFewRowsKeepTheWeights)
{
    FitCase fit(4);
    std::vector<float> before(fit.net->weights, fit.net->weights + fit.net->weightCount);
    float error = 0.0f;
    testing::internal::CaptureStderr();
    EXPECT_EQ(net_fit_output_weights(fit.net, fit.data.data(), fit.labels.data(), 4, 0.0f, &error), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("too few"), std::string::npos);
    EXPECT_EQ(std::vector<float>(fit.net->weights, fit.net->weights + fit.net->weightCount), before);
    // The error reported is that of the network as it stands, for the
    // trainer's line after the fit.
    double total = 0.0;
    for (int r = 0; r < 4; ++r)
        for (int j = 0; j < 2; ++j) {
            double y = fit.net->units[4 + j]->bias;
            for (int k = 0; k < 4; ++k)
                y += fit.a[r * 5 + k] * fit.net->weights[12 + j * 4 + k];
            double e = (fit.labels[r] == j ? 1.0 : 0.0) - y;
            total += 0.5 * e * e;
        }
    EXPECT_NEAR(error, total / 4, 1e-5 * (1 + total));
}

// Explicit networks of two linear outputs over two inputs: the fit is only
// sound when both outputs read the last unit's inputs in the same order and
// neither reads an output. Rows: the four corners of the unit square.
TEST(OutputFit, OutputsMustReadTheSameInputs)
{
    const struct {
        const char* units;  // the two unit lines of the explicit form
        int result;
        const char* message;
    } cases[] = {
        {"2 1 0 0 1 1 4 2 \n2 1 2 0 3 1 4 3 \n", 1, ""},
        {"2 1 0 0 1 1 4 2 \n2 1 2 1 3 0 4 3 \n", 0, "the output units have different inputs"},
        {"2 1 0 0 1 2 4 2 \n2 1 2 0 3 2 4 3 \n", 0, "the output units read outputs"},
    };
    const float data[8] = {0, 0, 0, 1, 1, 0, 1, 1};
    const int labels[4] = {0, 1, 1, 0};
    std::string dir = temp_folder();
    for (const auto& c : cases) {
        write_text(dir + "x.wts", std::string("2\n2\n2\n5\n0\n1\n2\n") + c.units +
                                      "0.5 -0.5 0.25 -0.25 1.0 \n0.1 -0.1 ");
        NetGraph net;
        ASSERT_EQ(net_read(&net, dir + "x.wts"), 0) << c.units;
        std::vector<float> before(net.weights, net.weights + net.weightCount);
        float error = 0.0f;
        testing::internal::CaptureStderr();
        EXPECT_EQ(net_fit_output_weights(&net, data, labels, 4, 0.0f, &error), c.result);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.message), std::string::npos) << said;
        if (c.result == 0) {
            EXPECT_EQ(std::vector<float>(net.weights, net.weights + net.weightCount), before);
        } else {
            // XOR of the corners: the best plane is the constant 0.5 for
            // each output, a mean error of 2 * 0.5 * 0.25.
            EXPECT_NEAR(error, 0.25f, 1e-5f);
            EXPECT_NEAR(net.weights[0], 0.0f, 1e-5f);
            EXPECT_NEAR(net.units[1]->bias, 0.5f, 1e-5f);
        }
        net_destroy(&net);
    }
}

// The rate of early stopping after each epoch's error, worked by hand: it
// shrinks to 70% only when an error exceeds 95% of the one before.
TEST(EarlyStopping, RateShrinksWhenTheErrorFallsByLessThanFivePercent)
{
    const struct {
        float error, rate, threshold;  // the epoch's error; rate and threshold after it
    } steps[] = {
        {1.0f, 0.3f, 0.95f},          // the first epoch never shrinks the rate
        {0.93f, 0.3f, 0.8835f},       // fell by 7%
        {0.9f, 0.21f, 0.855f},        // fell by 3.2%
        {0.8f, 0.21f, 0.76f},         // fell by 11%
        {0.9f, 0.147f, 0.855f},       // rose
    };
    RateSchedule schedule;
    for (const auto& s : steps) {
        rate_schedule_step(&schedule, s.error);
        EXPECT_FLOAT_EQ(schedule.rate, s.rate) << s.error;
        EXPECT_FLOAT_EQ(schedule.threshold, s.threshold) << s.error;
    }
}

}  // namespace

// The rows that train, and a split refused for leaving uniform sampling
// nothing to train on; below a LearnRate of 1 a row always validates, even
// for a line count that is no float (16,777,219 rounds up to ...220).
TEST(Split, RowsThatTrainAndSplitsLeftWithNothing)
{
    const struct {
        int lines, classes, trainRows;  // trainRows: expected
        float rate;
        bool uniform;     // epochs of uniform class sampling run
        const char* why;  // the refusal, "" for none
    } cases[] = {
        {16777219, 2, 16777218, 0.99999994f, false, ""},
        {5, 6, 5, 0.1f, false, ""},
        {5, 6, 5, 0.1f, true,
         "uniform class sampling needs a training row per class: 5 training rows, 6 classes"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(training_rows(c.lines, c.rate), c.trainRows) << c.lines << " " << c.rate;
        EXPECT_EQ(split_refusal(c.lines, c.trainRows, c.rate, c.classes, c.uniform), c.why);
    }
}
