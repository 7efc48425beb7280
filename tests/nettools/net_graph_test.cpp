// Network record: the kinds' activations and deltas, the forward pass and a
// training step against values computed here, the wiring of deeper networks
// against finite differences, snapshots and the random start.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "nettools/net_graph.h"
#include "nettools/seed_clock.h"
#include "tests/nettools/net_test_helpers.h"

namespace {

TEST(NetUnits, ActivationsDeltasAndRateFactors)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        UnitKind kind;
        double x, a;     // net input, expected output
        double s, delta; // back-propagated sum, expected delta
        float factor;    // rate factor
    } cases[] = {
        {UNIT_SIGMOID, 0.0, 0.5, 2.0, 0.5, 1.0f},
        {UNIT_SIGMOID, std::log(3.0), 0.75, 1.0, 0.1875, 1.0f},
        {UNIT_EXPONENTIAL, std::log(2.0), 2.0, -0.25, -0.25, 0.13f},
        {UNIT_LINEAR, -1.5, -1.5, 3.0, 3.0, 0.1f},
        {UNIT_TANH, 0.5, std::tanh(0.5), 2.0, (1.0 - std::tanh(0.5) * std::tanh(0.5)) * 2.0, 0.5f},
        {UNIT_TANH, -20.0, -1.0, 1.0, 0.0, 0.5f},
        {UNIT_CLAMP, -0.2, 0.0, 3.0, 0.0, 1.01f},
        {UNIT_CLAMP, 0.25, 0.25, 2.0, 0.5, 1.01f},
        {UNIT_CLAMP, 7.0, 1.0, 2.0, 2.0, 1.01f},
        {UNIT_CLAMP, nan, 0.0, 2.0, 0.0, 1.01f},
    };
    for (const Case& c : cases) {
        NetUnit unit;
        float out = 0.0f, delta = 0.0f;
        ASSERT_TRUE(unit_init(&unit, 1, 1, c.kind));
        unit.outputSlot = &out;
        unit.deltaSlot = &delta;
        unit.activate(&unit, c.x);
        unit.derive(&unit, c.s);
        EXPECT_NEAR(out, c.a, 1e-6) << "kind " << c.kind << " x " << c.x;
        EXPECT_NEAR(delta, c.delta, 1e-6) << "kind " << c.kind << " x " << c.x;
        EXPECT_EQ(unit.rateFactor, c.factor);
        unit_destroy(&unit);
    }
    EXPECT_STREQ(output_kind_name(UNIT_SIGMOID), "Sigmoid");
    EXPECT_STREQ(output_kind_name(UNIT_EXPONENTIAL), "Softmax");
    EXPECT_STREQ(output_kind_name(UNIT_TANH), "Linear");
}

// A 2-2-2 network with set weights, one step at rate 0.5, against the
// textbook back-propagation written out here in double precision.
TEST(NetGraph, ForwardAndOneStepByHand)
{
    for (UnitKind kind : {UNIT_SIGMOID, UNIT_LINEAR, UNIT_EXPONENTIAL}) {
        NetGraph* net = net_create(2, 2, 2, kind);
        ASSERT_NE(net, nullptr);
        ASSERT_EQ(net->weightCount, 9);
        const double w1[2][2] = {{0.1, -0.2}, {0.4, 0.3}}, b1[2] = {0.05, -0.1};
        const double w2[2][2] = {{0.5, -0.6}, {0.2, 0.7}}, b2[2] = {0.01, 0.02};
        set_layer(net, 0, 2, &w1[0][0], b1);
        set_layer(net, 2, 2, &w2[0][0], b2);
        const float x[2] = {1.0f, -2.0f}, target[2] = {0.0f, 1.0f};
        double h[2], y[2], sum = 0.0;
        for (int m = 0; m < 2; ++m)
            h[m] = 1.0 / (1.0 + std::exp(-(b1[m] + w1[m][0] * x[0] + w1[m][1] * x[1])));
        for (int m = 0; m < 2; ++m) {
            double in = b2[m] + w2[m][0] * h[0] + w2[m][1] * h[1];
            y[m] = kind == UNIT_SIGMOID ? 1.0 / (1.0 + std::exp(-in)) : kind == UNIT_LINEAR ? in : std::exp(in);
            sum += y[m];
        }
        if (kind == UNIT_EXPONENTIAL)
            y[0] /= sum, y[1] /= sum;
        double d2[2], d1[2], error = 0.0;
        for (int m = 0; m < 2; ++m) {
            double e = target[m] - y[m];
            error += 0.5 * e * e;
            d2[m] = kind == UNIT_SIGMOID ? y[m] * (1 - y[m]) * e : e;
        }
        for (int j = 0; j < 2; ++j)
            d1[j] = h[j] * (1 - h[j]) * (w2[0][j] * d2[0] + w2[1][j] * d2[1]);
        const float* out = net_forward(net, x);
        EXPECT_NEAR(out[0], y[0], 1e-6);
        EXPECT_NEAR(out[1], y[1], 1e-6);
        EXPECT_NEAR(net_train_sample(net, x, target, 0.5f), error, 1e-6);
        double f2 = 0.5 * (kind == UNIT_SIGMOID ? 1.0 : kind == UNIT_LINEAR ? 0.1 : 0.13);
        for (int m = 0; m < 2; ++m) {
            for (int j = 0; j < 2; ++j) {
                EXPECT_NEAR(net->weights[m * 2 + j], w1[m][j] + 0.5 * x[j] * d1[m], 1e-6);
                EXPECT_NEAR(net->weights[4 + m * 2 + j], w2[m][j] + f2 * h[j] * d2[m], 1e-6);
            }
            EXPECT_NEAR(net->units[m]->bias, b1[m] + 0.5 * d1[m], 1e-6);
            EXPECT_NEAR(net->units[2 + m]->bias, b2[m] + f2 * d2[m], 1e-6);
        }
        EXPECT_EQ(net->weights[8], 1.0f);
        free_net(net);
    }
}

// In a four-layer network every step moves each weight by -rate * dE/dw:
// the wiring, the downstream pointers and the update agree with central
// differences of the error.
TEST(NetGraph, DeepStepFollowsFiniteDifferences)
{
    NetGraph* net = layered_net({3, 4, 3, 2}, UNIT_SIGMOID);
    ASSERT_NE(net, nullptr);
    EXPECT_EQ(net->weightCount, 12 + 12 + 6 + 1);
    EXPECT_EQ(net->unitCount, 9);
    for (int w = 0; w + 1 < net->weightCount; ++w)
        net->weights[w] = static_cast<float>(std::sin(1.7 * w + 0.3));
    for (int i = 0; i < net->unitCount; ++i)
        net->units[i]->bias = static_cast<float>(0.1 * std::cos(i + 0.5));
    const float x[3] = {0.5f, -1.0f, 2.0f}, target[2] = {1.0f, 0.0f};
    std::vector<double> gradient(net->weightCount - 1);
    for (int w = 0; w + 1 < net->weightCount; ++w) {
        float keep = net->weights[w], h = 1e-2f;
        net->weights[w] = keep + h;
        net_forward(net, x);
        double up = net_output_error(net, target);
        net->weights[w] = keep - h;
        net_forward(net, x);
        double down = net_output_error(net, target);
        net->weights[w] = keep;
        gradient[w] = (up - down) / (2.0 * h);
    }
    std::vector<float> before(net->weights, net->weights + net->weightCount);
    const float rate = 0.01f;
    net_train_sample(net, x, target, rate);
    for (int w = 0; w + 1 < net->weightCount; ++w)
        EXPECT_NEAR((net->weights[w] - before[w]) / rate, -gradient[w], 2e-3) << "weight " << w;
    free_net(net);
}

TEST(NetGraph, EdgeShapes)
{
    // No hidden units: outputs of fan-in 0 that follow their biases alone.
    NetGraph* bare = net_create(3, 0, 2, UNIT_LINEAR);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->weightCount, 1);
    EXPECT_EQ(bare->unitCount, 2);
    bare->units[0]->bias = 0.25f;
    bare->units[1]->bias = -4.0f;
    const float x[3] = {9.0f, 9.0f, 9.0f};
    EXPECT_EQ(net_forward(bare, x)[0], 0.25f);
    EXPECT_EQ(net_forward(bare, x)[1], -4.0f);
    free_net(bare);

    // Softmax outputs are e^x_j / sum_k e^x_k (here in long double) even where
    // e^x underflows or overflows a float; bias-only outputs, net inputs x_j.
    NetGraph* soft = net_create(1, 0, 2, UNIT_EXPONENTIAL);
    ASSERT_NE(soft, nullptr);
    for (auto in : std::vector<std::pair<float, float>>{
             {0.5f, -1.25f}, {-1000, -998.5f}, {88, 89}, {430, 2370}, {-2370, 3e38f}}) {
        soft->units[0]->bias = in.first;
        soft->units[1]->bias = in.second;
        const float* out = net_forward(soft, x);
        long double second = 1 / (1 + std::exp(static_cast<long double>(in.first) - in.second));
        EXPECT_NEAR(out[1], static_cast<double>(second), 1e-7) << in.first << " " << in.second;
        EXPECT_NEAR(out[0] + out[1], 1.0f, 1e-7f) << in.first << " " << in.second;
    }
    free_net(soft);

    EXPECT_EQ(net_create(2, -1, 2, UNIT_SIGMOID), nullptr);
}

TEST(NetGraph, SnapshotRestoresTheSameFunction)
{
    NetGraph* net = net_create(3, 5, 2, UNIT_SIGMOID);
    ASSERT_NE(net, nullptr);
    const float x[3] = {0.3f, -0.7f, 1.1f}, target[2] = {1.0f, 0.0f};
    std::vector<float> before(net_forward(net, x), net_forward(net, x) + 2);
    std::vector<float> snapshot(net->weightCount + net->unitCount);
    net_save_weights(net, snapshot.data());
    for (int i = 0; i < 20; ++i)
        net_train_sample(net, x, target, 0.5f);
    EXPECT_NE(net_forward(net, x)[0], before[0]);
    net_restore_weights(net, snapshot.data());
    const float* after = net_forward(net, x);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1]);
    free_net(net);
}

TEST(NetGraph, RandomStartIsSmallAndFollowsTheClock)
{
    set_seed_clock([]() -> unsigned { return 4242u; });
    NetGraph* a = net_create(4, 6, 3, UNIT_SIGMOID);
    NetGraph* b = net_create(4, 6, 3, UNIT_SIGMOID);
    set_seed_clock(nullptr);
    ASSERT_TRUE(a && b);
    for (int w = 0; w + 1 < a->weightCount; ++w) {
        EXPECT_EQ(a->weights[w], b->weights[w]);
        EXPECT_LE(std::fabs(a->weights[w]), 0.05f);
    }
    for (int i = 0; i < a->unitCount; ++i) {
        EXPECT_EQ(a->units[i]->bias, b->units[i]->bias);
        EXPECT_LE(std::fabs(a->units[i]->bias), 0.05f);
    }
    free_net(a);
    free_net(b);
}

}  // namespace
