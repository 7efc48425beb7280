// neurnet mathematics: the forward pass worked by hand, gradients against
// central differences, online back-propagation against the gradient of each
// row, the line search's trials, and the conjugate-gradient and compact
// L-BFGS directions against independent computations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

#include "plugins/neurnet/conjgrad.h"
#include "plugins/neurnet/error_functions.h"
#include "plugins/neurnet/lbfgs_mx_repr.h"
#include "plugins/neurnet/training.h"
#include "tests/plugins/lbfgs_reference.h"
#include "tests/plugins/neurnet_test_network.h"

namespace {

using Vec = std::vector<double>;

double logistic(double v)
{
    return 1.0 / (1.0 + std::exp(-v));
}

// Rows of 3 features and a label in 1..2, as row pointers.
struct Rows {
    std::vector<Vec> values;
    std::vector<const double*> pointers;
    explicit Rows(std::vector<Vec> v) : values(std::move(v))
    {
        for (const Vec& row : values) pointers.push_back(row.data());
    }
    int count() const { return static_cast<int>(pointers.size()); }
};

TEST(NeurnetForward, HandWorkedPass)
{
    // Inputs x1 = 1, x2 = 2 and the bias unit (0.5); hidden h1, h2 and its
    // bias unit (no incoming connection, so logistic(0) = 0.5); outputs y1, y2.
    Network net = make_network({3, 3, 2}, 1, 1);
    const double w_in[3][2] = {{0.5, -1.0}, {0.25, 0.75}, {-2.0, 1.0}};
    const double w_hid[3][2] = {{1.0, -1.0}, {0.5, 2.0}, {-0.3, 0.4}};
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 2; ++k) {
            net.layers[0].neurons[j].conns[k].weight = w_in[j][k];
            net.layers[1].neurons[j].conns[k].weight = w_hid[j][k];
        }
    const double row[] = {1.0, 2.0, 2.0};
    EXPECT_EQ(load_row(&net, row), 2);
    forward_pass(&net);
    const double h1 = logistic(1 * 0.5 + 2 * 0.25 + 0.5 * -2.0);   // logistic(0) = 0.5
    const double h2 = logistic(1 * -1.0 + 2 * 0.75 + 0.5 * 1.0);   // logistic(1)
    const double y1 = logistic(h1 * 1.0 + h2 * 0.5 + 0.5 * -0.3);
    const double y2 = logistic(h1 * -1.0 + h2 * 2.0 + 0.5 * 0.4);
    EXPECT_DOUBLE_EQ(net.layers[1].neurons[0].out, 0.5);
    EXPECT_DOUBLE_EQ(net.layers[1].neurons[1].out, h2);
    EXPECT_DOUBLE_EQ(net.layers[1].neurons[2].out, 0.5);
    EXPECT_DOUBLE_EQ(net.layers[2].neurons[0].out, y1);
    EXPECT_DOUBLE_EQ(net.layers[2].neurons[1].out, y2);
    EXPECT_DOUBLE_EQ(net.layers[2].neurons[1].deriv, y2 * (1 - y2));
    // Without the bias flag every input neuron takes a column.
    Network plain = make_network({2, 1}, 0, 1);
    const double row2[] = {3.0, -1.0, 1.9};
    EXPECT_EQ(load_row(&plain, row2), 1);
    EXPECT_EQ(plain.layers[0].neurons[1].out, -1.0);
}

TEST(NeurnetForward, TestAndEvaluate)
{
    // One input, no bias, two outputs with equal weights: equal outputs, so
    // the first is the winner (label 1 hits, label 2 misses).
    Network net = make_network({1, 2}, 0, 1);
    net.layers[0].neurons[0].conns[0].weight = 0.7;
    net.layers[0].neurons[0].conns[1].weight = 0.7;
    Rows rows({{1.0, 1.0}, {1.0, 2.0}, {-1.0, 2.9}});
    double ratio = -1, squared = -1;
    test_network(&net, rows.pointers.data(), rows.count(), &ratio, &squared);
    EXPECT_DOUBLE_EQ(ratio, 1.0 / 3.0);
    const double a = logistic(0.7), b = logistic(-0.7);
    EXPECT_NEAR(squared, (1 - a) * (1 - a) + a * a + a * a + (1 - a) * (1 - a) +
                             b * b + (1 - b) * (1 - b), 1e-12);
    test_network(&net, nullptr, 0, &ratio, &squared);
    EXPECT_EQ(ratio, 0.0);  // no rows: no hits, and no 0/0
    Vec out(3 * 3);
    double* result[] = {&out[0], &out[3], &out[6]};
    evaluate_rows(&net, rows.pointers.data(), 3, result);
    EXPECT_DOUBLE_EQ(out[6], b);
    EXPECT_EQ(out[8], 2.0);  // label 2.9 truncated
}

// The summed error over the rows at weights x.
double error_at(Network* net, const Rows& rows, const Vec& x, ErrorFunction error)
{
    Vec g(x.size());
    return network_error_and_gradient(net, rows.pointers.data(), rows.count(), x.data(),
                                      g.data(), error);
}

TEST(NeurnetGradient, MatchesCentralDifferences)
{
    struct Case {
        const char* name;
        ErrorFunction error;
        double R;       // Minkowski exponent
        double factor;  // gradient = factor * derivative of the summed error
    } cases[] = {
        {"cross entropy", cross_entropy_deltas, 2.0, 1.0},
        {"total squared error (half)", tse_error_deltas, 2.0, 0.5},
        {"Minkowski R=2", minkowski_error, 2.0, 1.0},
        {"Minkowski R=3", minkowski_error, 3.0, 1.0},
        {"Minkowski R=1.5", minkowski_error, 1.5, 1.0},
    };
    Rows rows({{0.3, -1.2, 0.8, 1}, {1.5, 0.2, -0.4, 2}, {-0.7, 0.9, 0.1, 3},
               {0.0, 0.5, 2.0, 2}, {1.1, -0.3, -1.5, 1}});
    for (const Case& c : cases) {
        set_minkowski_exponent(c.R);
        Network net = make_network({4, 4, 4, 3}, 1, 7);  // two hidden layers
        const int n = weight_count(&net);
        Vec x(n), g(n);
        get_weight_vector(&net, x.data());
        network_error_and_gradient(&net, rows.pointers.data(), rows.count(), x.data(),
                                   g.data(), c.error);
        for (int i = 0; i < n; ++i) {
            const double h = 1e-6;
            Vec up = x, down = x;
            up[i] += h;
            down[i] -= h;
            const double fd = (error_at(&net, rows, up, c.error) -
                               error_at(&net, rows, down, c.error)) / (2 * h);
            EXPECT_NEAR(g[i], c.factor * fd, 1e-6 * (1 + std::fabs(fd))) << c.name << " w" << i;
        }
    }
    set_minkowski_exponent(2.0);
}

TEST(NeurnetErrors, ValuesAndDeltas)
{
    Network net = make_network({1, 3}, 0, 1);
    net.layers[0].neurons[0].conns[0].weight = 2.0;
    net.layers[0].neurons[0].conns[1].weight = -1.0;
    net.layers[0].neurons[0].conns[2].weight = 0.0;
    const double row[] = {1.0, 2.0};
    load_row(&net, row);
    forward_pass(&net);
    const double y1 = logistic(2), y2 = logistic(-1), y3 = 0.5;
    EXPECT_NEAR(cross_entropy_value(&net, 2), -(std::log(1 - y1) + std::log(y2) + std::log(1 - y3)),
                1e-12);
    EXPECT_NEAR(tse_error_value(&net, 2), y1 * y1 + (1 - y2) * (1 - y2) + y3 * y3, 1e-12);
    // A label outside 1..K makes every target 0.
    EXPECT_NEAR(tse_error_value(&net, 7), y1 * y1 + y2 * y2 + y3 * y3, 1e-12);
    set_minkowski_exponent(2.0);
    minkowski_error(&net, 2);
    EXPECT_NEAR(net.layers[1].neurons[0].delta, 2 * (0 - y1) * y1 * (1 - y1), 1e-12);
    // Many confident wrong outputs: the product of the p_k underflows, the
    // sum of logarithms stays finite.
    Network wide = make_network({1, 400}, 0, 1);
    for (Connection& c : wide.layers[0].neurons[0].conns) c.weight = 3.0;
    load_row(&wide, row);
    forward_pass(&wide);
    const double value = cross_entropy_value(&wide, 1);
    EXPECT_TRUE(std::isfinite(value));
    EXPECT_NEAR(value, -std::log(logistic(3)) - 399 * std::log(1 - logistic(3)), 1e-9);
}

// Error of one row at the network's weights, for the online checks.
double row_error(Network* net, const double* row, ErrorFunction error)
{
    const int label = load_row(net, row);
    forward_pass(net);
    return error(net, label);
}

// The row's gradient by central differences over the weight vector.
Vec row_gradient(Network net, const double* row, ErrorFunction error)
{
    const int n = weight_count(&net);
    Vec x(n), g(n);
    get_weight_vector(&net, x.data());
    for (int i = 0; i < n; ++i) {
        Vec up = x, down = x;
        up[i] += 1e-6;
        down[i] -= 1e-6;
        set_weight_vector(&net, up.data());
        const double e_up = row_error(&net, row, error);
        set_weight_vector(&net, down.data());
        g[i] = (e_up - row_error(&net, row, error)) / 2e-6;
    }
    return g;
}

TEST(NeurnetBackprop, EachRowStepsAlongItsOwnGradient)
{
    // With momentum 0 every row moves the weights by -rate * its gradient at
    // the weights the previous row left; deltas left from an earlier row
    // would bend the second and third steps.
    const double rate = 0.3;
    Rows rows({{0.5, -1.0, 1}, {-0.8, 0.3, 2}, {1.2, 0.7, 1}});
    Network net = make_network({3, 4, 2}, 1, 3);
    const int n = weight_count(&net);
    for (int r = 0; r < rows.count(); ++r) {
        Vec before(n), after(n);
        get_weight_vector(&net, before.data());
        const Vec g = row_gradient(net, rows.pointers[r], cross_entropy_deltas);
        backprop_epoch(&net, &rows.pointers[r], 1, rate, 0.0, cross_entropy_deltas);
        get_weight_vector(&net, after.data());
        for (int i = 0; i < n; ++i)
            EXPECT_NEAR(after[i], before[i] - rate * g[i], 1e-7) << "row " << r << " w" << i;
        // prev_weight holds the weight before the step.
        EXPECT_EQ(net.layers[0].neurons[0].conns[0].prev_weight, before[0]);
    }
    // The same three rows in one epoch give the same weights.
    Network again = make_network({3, 4, 2}, 1, 3);
    backprop_epoch(&again, rows.pointers.data(), rows.count(), rate, 0.0, cross_entropy_deltas);
    Vec a(n), b(n);
    get_weight_vector(&net, a.data());
    get_weight_vector(&again, b.data());
    for (int i = 0; i < n; ++i) EXPECT_DOUBLE_EQ(a[i], b[i]);
}

TEST(NeurnetBackprop, Momentum)
{
    // w' = w + momentum (w - prev) + rate * out * delta: a zero rate leaves
    // only the momentum term.
    Network net = make_network({2, 1}, 0, 1);
    Connection& c = net.layers[0].neurons[0].conns[0];
    c.weight = 1.0;
    c.prev_weight = 0.5;
    const double row[] = {0.0, 0.0, 1.0};
    const double* rows[] = {row};
    backprop_epoch(&net, rows, 1, 0.7, 0.5, tse_error_deltas);  // out of input 0 is 0
    EXPECT_DOUBLE_EQ(c.weight, 1.25);
    EXPECT_DOUBLE_EQ(c.prev_weight, 1.0);
}

// A recorded one-dimensional objective for the line search.
std::vector<double> trials;
std::function<double(double)> curve;

double recorded(const double* x, double* g)
{
    trials.push_back(x[0]);
    const double h = 1e-6;
    g[0] = (curve(x[0] + h) - curve(x[0] - h)) / (2 * h);
    return curve(x[0]);
}

TEST(NeurnetLineSearch, TrialSequences)
{
    const double inf = INFINITY;
    auto bowl = [](double x) { return (x - 1) * (x - 1); };
    auto cliff = [](double x) { return x > 3 ? INFINITY : (x - 1) * (x - 1); };
    auto hole = [](double x) { return x > 3 ? NAN : (x - 1) * (x - 1); };
    struct Case {
        const char* name;
        std::function<double(double)> f;
        double r, max_jump, max_iter, alpha0, multiplier;
        std::vector<double> expected;  // trial points in order
        double final_x;
    } cases[] = {
        {"first decrease is taken", bowl, -4, 4, 4, 0.25, 0.4, {1}, 1},
        {"strict decrease, halving", bowl, -4, 4, 5, 1, 0.5, {4, 2, 1}, 1},
        {"cap keeps a worse last trial", bowl, -4, 4, 2, 1, 0.5, {4, 2}, 2},
        {"no more than one trial at a cap of 0", bowl, -4, 4, 0, 1, 0.5, {4}, 4},
        {"clamped to max_jump 0.4", bowl, -2, 0.4, 4, 1, 0.5, {0.4}, 0.4},
        {"infinite last trial: back to the start", cliff, -4, 4, 1, 1, 0.5, {4, 0}, 0},
        {"NaN last trial: back to the start", hole, -8, 8, 2, 1, 0.5, {8, 4, 0}, 0},
        {"zero first step ends the trials", bowl, -4, 4, 1e9, 0, 0.5, {0}, 0},
    };
    for (const Case& c : cases) {
        curve = c.f;
        trials.clear();
        double xPrev = 0, x = 0, gPrev = 0, g = 0, f = bowl(0), r = c.r;
        line_search(1, c.max_jump, c.max_iter, c.alpha0, c.multiplier, &xPrev, &x, &gPrev, &g,
                    &f, &r, recorded);
        EXPECT_EQ(trials, c.expected) << c.name;
        EXPECT_DOUBLE_EQ(x, c.final_x) << c.name;
        EXPECT_DOUBLE_EQ(f, c.f(c.final_x)) << c.name;
        EXPECT_NE(f, inf) << c.name;
    }
}

TEST(NeurnetConjgrad, FletcherReeves)
{
    ASSERT_EQ(conjgrad_init(2), 1);
    const double g0[] = {1, 2}, g1[] = {3, -1}, zero[] = {0, 0};
    const double* r = conjgrad_direction(zero, zero, g0, zero, 0);
    EXPECT_EQ(r[0], 1);  // first call: r = g
    EXPECT_EQ(r[1], 2);
    // d1 = (|g1|^2 / |g0|^2) d0 - g1 with d0 = -g0: (10/5)(-1, -2) - (3, -1).
    r = conjgrad_direction(zero, zero, g1, g0, 1);
    EXPECT_DOUBLE_EQ(r[0], 5);
    EXPECT_DOUBLE_EQ(r[1], 3);
    // A zero previous gradient restarts along g.
    r = conjgrad_direction(zero, zero, g1, zero, 2);
    EXPECT_EQ(r[0], 3);
    conjgrad_free();
}

// Sequences of (x, g) for the compact direction: a quadratic's gradients,
// and a hand-made pair of negative curvature.
void compact_against_dense(const std::vector<Vec>& xs, const std::vector<Vec>& gs, int m,
                           const char* name)
{
    const int n = static_cast<int>(xs[0].size());
    ASSERT_EQ(lbfgs_mx_repr_init(n, m), 1);
    std::vector<CorrectionPair> held;
    for (size_t k = 0; k < xs.size(); ++k) {
        const Vec& px = k ? xs[k - 1] : xs[k];
        const Vec& pg = k ? gs[k - 1] : gs[k];
        const double* d = lbfgs_mx_repr_direction(xs[k].data(), px.data(), gs[k].data(),
                                                  pg.data(), static_cast<int>(k));
        Vec expected = gs[k];
        if (k > 0) {
            CorrectionPair p{Vec(n), Vec(n)};
            double sy = 0, yy = 0;
            for (int i = 0; i < n; ++i) {
                p.s[i] = xs[k][i] - px[i];
                p.y[i] = gs[k][i] - pg[i];
                sy += p.s[i] * p.y[i];
                yy += p.y[i] * p.y[i];
            }
            if (sy != 0) {  // stored whatever its sign
                held.push_back(p);
                if (static_cast<int>(held.size()) > m) held.erase(held.begin());
                expected = dense_bfgs_direction(held, sy / yy, gs[k]);
            }
        }
        for (int i = 0; i < n; ++i)
            EXPECT_NEAR(d[i], expected[i], 1e-8 * (1 + std::fabs(expected[i])))
                << name << " call " << k << " component " << i;
    }
    lbfgs_mx_repr_free();
}

TEST(NeurnetCompactLbfgs, MatchesDenseRecursion)
{
    // Gradients of f = sum_i a_i x_i^2 / 2 + x_i x_(i+1) / 4 along a path.
    auto gradient = [](const Vec& x) {
        Vec g(x.size());
        for (size_t i = 0; i < x.size(); ++i) {
            g[i] = (1.0 + i) * x[i];
            if (i > 0) g[i] += x[i - 1] / 4;
            if (i + 1 < x.size()) g[i] += x[i + 1] / 4;
        }
        return g;
    };
    struct Case {
        const char* name;
        int n, m, calls;
    } cases[] = {
        {"one pair", 4, 3, 2}, {"two pairs", 5, 4, 3}, {"m+1 pairs", 4, 3, 5},
        {"long run, m=2", 6, 2, 8}, {"m=1", 3, 1, 4},
    };
    for (const Case& c : cases) {
        std::vector<Vec> xs, gs;
        Vec x(c.n);
        for (int i = 0; i < c.n; ++i) x[i] = std::sin(1.0 + 2.0 * i);
        for (int k = 0; k < c.calls; ++k) {
            xs.push_back(x);
            gs.push_back(gradient(x));
            for (int i = 0; i < c.n; ++i) x[i] -= (0.15 + 0.02 * k) * gs.back()[i];
        }
        compact_against_dense(xs, gs, c.m, c.name);
    }
    // Hand-made: a negative-curvature pair is stored, an unchanged gradient
    // (s.y = 0) returns g and leaves the window's counter running ahead.
    compact_against_dense({{0, 0}, {1, 0}, {1, 1}, {2, 1}}, {{1, 1}, {3, 1}, {3, 0}, {4, 2}}, 3,
                          "negative curvature stored");
    testing::internal::CaptureStdout();
    compact_against_dense({{0, 0}, {1, 0}, {1, 0}, {2, 0}}, {{1, 1}, {3, 1}, {3, 1}, {5, 2}}, 3,
                          "zero s.y skipped");
    // One line on standard output per stored pair: calls 1 and 3.
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "lbfgs mx. repr. is done\nlbfgs mx. repr. is done\n");
}

// Runs f with standard output and standard error both sent to one file, as
// when a run's two streams go to one terminal; returns what arrived, in order.
std::string one_stream(const std::function<void()>& f)
{
    const std::string file = testing::TempDir() + "neurnet_streams.txt";
    std::fflush(stdout);
    std::fflush(stderr);
    const int out = dup(1), err = dup(2);
    const int fd = open(file.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    dup2(fd, 1);
    dup2(fd, 2);
    close(fd);
    f();
    std::fflush(stdout);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(file.c_str());
    return text.str();
}

TEST(NeurnetTraining, StoppingRulesAndStreams)
{
    Rows rows({{0.1, 0.2, 1}, {0.9, 0.8, 2}, {0.2, 0.1, 1}, {0.8, 0.9, 2}});
    ProcessSettings settings;
    settings.m = 3;
    settings.max_jump = 1;
    struct Case {
        const char* name;
        int (*train)(Network*, const TrainingRows&, const ProcessSettings&, ErrorFunction, bool*);
        int max_iter;
        double error_level;
        int expected;  // iterations done
    } cases[] = {
        {"back-propagation, 3 epochs", train_backprop, 3, 0.0, 3},
        {"conjugate gradient, 1 iteration", train_conjgrad, 1, 0.0, 1},
        {"two-loop, 2 iterations", train_lbfgs_2loop, 2, 0.0, 2},
        {"compact, 2 iterations", train_lbfgs_mx_repr, 2, 0.0, 2},
        {"error level reached at once", train_lbfgs_2loop, 50, 1e9, 1},
    };
    for (const Case& c : cases) {
        Network net = make_network({3, 3, 2}, 1, 5);
        const TrainingRows training{rows.pointers.data(), rows.count(), rows.pointers.data(),
                                    rows.count(), 1.0, c.max_iter};
        settings.error_level = c.error_level;
        int done = 0;
        const std::string printed = one_stream([&] {
            done = c.train(&net, training, settings, cross_entropy_deltas, nullptr);
        });
        EXPECT_EQ(done, c.expected) << c.name;
        if (c.train != train_lbfgs_2loop) continue;
        // The search lines (standard output) stand between the progress
        // lines of standard error, in the order they were written.
        const std::string round = "starting line search\nline search finished\nmean error:";
        size_t at = 0;
        for (int i = 0; i < c.expected; ++i) {
            at = printed.find(round, at);
            ASSERT_NE(at, std::string::npos) << c.name << ":\n" << printed;
            at = printed.find("ratio:", at);
            ASSERT_NE(at, std::string::npos) << c.name;
        }
    }
}

}  // namespace

// An output that meets its target exactly makes the Minkowski delta of an
// exponent below 1 infinite times 0, so the gradient is not a number. A
// search along it could only return to its start, forever when the race
// sets no iteration limit: each batch process stops, its weights untouched.
TEST(NeurnetTraining, DirectionThatIsNoNumberStops)
{
    Rows rows({{1.0, 1}});
    ProcessSettings settings;
    settings.max_jump = 1;
    set_minkowski_exponent(0.5);
    for (auto train : {train_conjgrad, train_lbfgs_2loop, train_lbfgs_mx_repr}) {
        Network net = make_network({2, 2}, 1, 3);
        for (Neuron& n : net.layers[0].neurons)
            for (Connection& c : n.conns) c.weight = c.prev_weight = 100;  // outputs exactly 1
        const TrainingRows training{rows.pointers.data(), 1, rows.pointers.data(), 1, 1.0, 0};
        int done = -1;
        const std::string printed = one_stream([&] {
            done = train(&net, training, settings, minkowski_error, nullptr);
        });
        EXPECT_EQ(done, 0);
        EXPECT_NE(printed.find("the search direction is not a finite number; the process stops\n"),
                  std::string::npos) << printed;
        std::vector<double> w(4);
        get_weight_vector(&net, w.data());
        EXPECT_EQ(w, std::vector<double>(4, 100.0));
    }
    set_minkowski_exponent(2.0);
}

// One trial per search, long steps: some searches end above their start.
// Conjugate gradient takes each such step back (its reported error never
// rises and the network stays at the last point kept), and stops when the
// gradient step after it rises as well; the two-loop L-BFGS keeps them.
TEST(NeurnetTraining, ConjugateGradientTakesBackARise)
{
    Rows rows({{0.1, 0.2, 1}, {0.9, 0.8, 2}, {0.2, 0.1, 1}, {0.8, 0.9, 2}});
    const TrainingRows training{rows.pointers.data(), 4, rows.pointers.data(), 4, 1.0, 40};
    const struct { decltype(&train_conjgrad) train; double alpha0; int iterations; } cases[] = {
        {train_conjgrad, 12, 40}, {train_conjgrad, 15, 4}, {train_lbfgs_2loop, 12, 40}};
    for (const auto& c : cases) {
        ProcessSettings settings;
        settings.num_of_max_iter = 1;
        settings.alpha0 = c.alpha0;
        Network net = make_network({3, 3, 2}, 1, 11);
        auto mean = [&] {
            return batch_gradient(&net, rows.pointers.data(), 4, tse_error_deltas) / 4;
        };
        std::vector<double> means{mean()};
        int done = 0;
        const std::string printed =
            one_stream([&] { done = c.train(&net, training, settings, tse_error_deltas, nullptr); });
        EXPECT_EQ(done, c.iterations) << c.alpha0 << printed;
        for (size_t at = 0; (at = printed.find("mean error:", at)) != std::string::npos; ++at)
            means.push_back(std::atof(printed.c_str() + at + 11));
        const bool conj = c.train == train_conjgrad;
        EXPECT_EQ(std::is_sorted(means.rbegin(), means.rend(),
                                 [](double a, double b) { return a < b - 1e-6; }), conj) << printed;
        EXPECT_EQ(printed.find("the step raised the error and is taken back\n") !=
                      std::string::npos, conj) << c.alpha0;
        if (!conj) continue;
        EXPECT_NEAR(mean(), means.back(), 1e-6) << c.alpha0;  // the network at the point kept
    }
}
