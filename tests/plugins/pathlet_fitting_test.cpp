// Projection pursuit fitting: priors and error measures by hand, each fitting
// step against its least-squares problem solved here by normal equations,
// the size refusals, the schedules' trace order, and generate-then-recover.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "plugins/pathlet/fitting.h"
#include "plugins/pathlet/training.h"
#include "tests/plugins/discriminant_test_helpers.h"
#include "tests/support/reference.h"

namespace {

// Training rows over their own storage.
struct Rows {
    std::vector<double> x;       // N x D
    std::vector<double> labels;  // N
    DataMatrix X, L;
    Rows(int n, int d, std::vector<double> features, std::vector<double> l)
        : x(std::move(features)), labels(std::move(l)), X{n, d, x.data()}, L{n, 1, labels.data()}
    {
    }
};

// Least squares of the rows x cols matrix m against t by normal equations.
std::vector<double> normal_equations(const std::vector<double>& m, int rows, int cols,
                                     const std::vector<double>& t)
{
    std::vector<double> mtm(cols * cols, 0.0), mtt(cols, 0.0);
    for (int i = 0; i < rows; ++i)
        for (int a = 0; a < cols; ++a) {
            mtt[a] += m[i * cols + a] * t[i];
            for (int b = 0; b < cols; ++b)
                mtm[a * cols + b] += m[i * cols + a] * m[i * cols + b];
        }
    return solve_linear(mtm, mtt, cols);
}

Rows random_rows(int n, int d, int classes, unsigned seed)
{
    TestRandom random(seed);
    std::vector<double> x, labels;
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < d; ++k)
            x.push_back(2.0 * random.next() - 1.0);
        labels.push_back(1 + i % classes);
    }
    return Rows(n, d, x, labels);
}

// A model with every projection given coefficients, over rows made current.
ProjectionModel busy_model(Rows& rows, int classes, int M, int R)
{
    ProjectionModel model;
    unsigned seed = 3;
    set_model_seed_hook(&seed);
    init_projection_model(&model, rows.X.cols, classes, M, R);
    set_model_seed_hook(nullptr);
    for (size_t i = 0; i < model.ProjPars.size(); ++i)
        model.ProjPars[i] = 0.7 - 0.3 * static_cast<double>(i % 5);
    for (int m = 0; m < M; ++m)
        model.Shift[m] = 0.1 * m - 0.05;
    set_training_rows(&rows.X, &rows.L, classes);
    EXPECT_TRUE(allocate_training_state(M, R));
    set_class_priors(&model);
    return model;
}

// The sum of squared residuals over rows, divided by N x D, computed plainly.
double reference_measure(ProjectionModel& model, Rows& rows)
{
    double sum = 0.0;
    for (int i = 0; i < rows.X.rows; ++i) {
        const double* out = model_outputs(&model, &rows.x[i * rows.X.cols]);
        for (int c = 0; c < model.NumOutput; ++c) {
            double d = (c == rows.labels[i] - 1 ? 1.0 : 0.0) - out[c];
            sum += d * d;
        }
    }
    return sum / (rows.X.rows * rows.X.cols);
}

TEST(PathletFitting, PriorsAndClassificationErrorByHand)
{
    Rows rows(4, 1, {0, 0, 0, 0}, {1, 1, 2, 3});
    ProjectionModel model;
    init_projection_model(&model, 1, 3, 1, 1);
    set_training_rows(&rows.X, &rows.L, 3);
    ASSERT_TRUE(allocate_training_state(1, 1));
    set_class_priors(&model);
    EXPECT_EQ(model.Means, (std::vector<double>{0.5, 0.25, 0.25}));
    release_training_state();
    // No projection in use: the outputs are the Means.
    struct Case {
        std::vector<double> outputs;
        double label;
        bool error;
    };
    const Case cases[] = {{{0.2, 0.7, 0.7}, 3, true}, {{0.2, 0.7, 0.7}, 2, false},
                          {{0.9, 0.1, 0.1}, 1, false}, {{0.9, 0.1, 0.1}, 0, true},
                          {{0.9, 0.1, 0.1}, 1.5, true}, {{0.1, 0.1, 0.9}, NAN, true},
                          {{0.1, 0.1, 0.9}, -4, true}};
    for (const Case& c : cases) {
        Rows one(1, 1, {0}, {c.label});
        set_means(&model, c.outputs.data());
        set_active_count(&model, 0);
        set_training_rows(&one.X, &one.L, 3);
        EXPECT_EQ(classification_error(&model), c.error ? 1.0 : 0.0) << c.label;
    }
    release_training_state();
}

TEST(PathletFitting, OutputWeightsSolveTheirNormalEquations)
{
    Rows rows = random_rows(40, 2, 3, 11);
    ProjectionModel model = busy_model(rows, 3, 3, 2);
    int N = 40, P = 3;
    double before = reference_measure(model, rows);
    std::vector<double> F(N * P);
    for (int i = 0; i < N; ++i)
        for (int m = 0; m < P; ++m)
            F[i * P + m] = ridge_value(&model, &rows.x[i * 2], m);
    EXPECT_NEAR(fit_output_weights(&model), before, 1e-12);
    for (int c = 0; c < 3; ++c) {
        std::vector<double> t(N);
        for (int i = 0; i < N; ++i)
            t[i] = (rows.labels[i] == c + 1 ? 1.0 : 0.0) - model.Means[c];
        std::vector<double> w = normal_equations(F, N, P, t);
        for (int m = 0; m < P; ++m)
            EXPECT_NEAR(output_weight_row(&model, m)[c], w[m], 1e-8 * (1 + std::fabs(w[m])));
    }
    EXPECT_LT(training_error(&model), before);
    EXPECT_NEAR(training_error(&model), reference_measure(model, rows), 1e-12);
    release_training_state();
}

TEST(PathletFitting, HermiteRefitSolvesForTheRestoredResidual)
{
    Rows rows = random_rows(30, 2, 2, 5);
    ProjectionModel model = busy_model(rows, 2, 1, 3);
    model.Weights = {1.0, -1.0};
    int N = 30, R = 3;
    std::vector<double> basis(N * R), t(N);
    for (int i = 0; i < N; ++i) {
        const double* x = &rows.x[i * 2];
        double deriv, f = ridge_value_and_basis(&model, x, 0, &deriv, &basis[i * R]);
        const double* out = model_outputs(&model, x);
        double e0 = (rows.labels[i] == 1) - out[0], e1 = (rows.labels[i] == 2) - out[1];
        t[i] = f + (e0 - e1) / 2;  // the worked target for weights (1, -1)
    }
    std::vector<double> coef = normal_equations(basis, N, R, t);
    double before = reference_measure(model, rows);
    EXPECT_NEAR(fit_hermite(&model, 0), before, 1e-12);
    for (int r = 0; r < R; ++r)
        EXPECT_NEAR(model.ProjPars[r], coef[r], 1e-8 * (1 + std::fabs(coef[r])));
    EXPECT_LE(reference_measure(model, rows), before + 1e-15);
    release_training_state();
}

TEST(PathletFitting, DirectionStepSolvesItsSystem)
{
    Rows rows = random_rows(25, 3, 2, 8);
    ProjectionModel model = busy_model(rows, 2, 2, 2);
    int N = 25, D = 3, m = 1, n = D + 1;
    const double* W = output_weight_row(&model, m);
    double nf = model.NormFact, w2 = W[0] * W[0] + W[1] * W[1];
    std::vector<double> A(n * n, 0.0), g(n, 0.0);
    for (int i = 0; i < N; ++i) {
        const double* x = &rows.x[i * D];
        double b, basis[2];
        ridge_value_and_basis(&model, x, m, &b, basis);
        const double* out = model_outputs(&model, x);
        double s = 0.0;
        for (int c = 0; c < 2; ++c)
            s += ((rows.labels[i] == c + 1) - out[c]) * W[c];
        // Row-by-row terms: [nf x; nf] outer products, with the cross
        // terms one power of nf higher than the square.
        double u[4] = {nf * x[0], nf * x[1], nf * x[2], 1.0};
        for (int a = 0; a < n; ++a) {
            for (int c = 0; c < n; ++c) {
                double scale = (a == D) != (c == D) ? nf * nf : 1.0;
                A[a * n + c] += (a == D && c == D ? nf * nf : scale) * b * b * u[a] * u[c] * w2;
            }
            g[a] += b * u[a] * s;
        }
    }
    std::vector<double> step = solve_linear(A, g, n);
    std::vector<double> dir(model.Dir.begin() + m * D, model.Dir.begin() + (m + 1) * D);
    double length = 0.0;
    for (int k = 0; k < D; ++k)
        length += (dir[k] + step[k]) * (dir[k] + step[k]);
    double shift = model.Shift[m] + step[D];
    double before = reference_measure(model, rows);
    testing::internal::CaptureStderr();
    EXPECT_NEAR(fit_direction(&model, m), before, 1e-12);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (int k = 0; k < D; ++k)
        EXPECT_NEAR(model.Dir[m * D + k], (dir[k] + step[k]) / std::sqrt(length), 1e-9);
    EXPECT_NEAR(model.Shift[m], shift, 1e-9 * (1 + std::fabs(shift)));
    release_training_state();
}

TEST(PathletFitting, NewProjectionKeepsItsDirectionAndShift)
{
    Rows rows = random_rows(20, 3, 2, 4);
    ProjectionModel model = busy_model(rows, 2, 2, 2);
    model.ProjPars[2] = model.ProjPars[3] = 0.0;
    model.Shift[1] = 0.75;
    std::vector<double> dir(model.Dir);
    testing::internal::CaptureStderr();
    fit_direction(&model, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(model.Dir[3 + k], dir[3 + k], 1e-15);
    EXPECT_EQ(model.Shift[1], 0.75);
    release_training_state();
}

TEST(PathletFitting, TooFewRowsKeepThePreviousValuesAndSaySoOnce)
{
    Rows rows = random_rows(2, 2, 2, 9);
    ProjectionModel model = busy_model(rows, 2, 3, 3);
    std::vector<double> pars(model.ProjPars), weights(model.Weights);
    testing::internal::CaptureStderr();
    for (int round = 0; round < 2; ++round) {
        fit_hermite(&model, 0);
        fit_output_weights(&model);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "PATHLET: fewer training rows than Hermite functions: the model keeps its previous "
              "values\nPATHLET: fewer training rows than projections: the model keeps its "
              "previous values\n");
    EXPECT_EQ(model.ProjPars, pars);
    EXPECT_EQ(model.Weights, weights);
    release_training_state();
}

// The lines of text that start with one of the prefixes, in order.
std::vector<std::string> lines_starting(const std::string& text,
                                        const std::vector<std::string>& prefixes)
{
    std::vector<std::string> kept;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        for (const std::string& p : prefixes)
            if (line.compare(0, p.size(), p) == 0)
                kept.push_back(line);
    return kept;
}

TEST(PathletSchedules, TraceTheirProjectionsInOrder)
{
    struct Case {
        int strategy, M;
        std::vector<std::string> expected;  // A n: adding, B n: backfitting, J n: adjusting
    };
    const Case cases[] = {
        {0, 2, {"A 1", "B 1", "A 2", "B 1", "B 2"}},
        {2, 4, {"A 1", "A 2", "B 1", "B 2", "A 3", "B 1", "B 2", "B 3", "A 4", "B 1", "B 2",
                "B 3", "B 4", "B 3", "B 4"}},
        {1, 3, {"A 1", "A 2", "B 1", "B 2", "A 3", "B 1", "B 2", "B 3", "B 2", "B 3"}},
        {-1, 2, {"J 1", "J 2", "J 1", "J 2"}},
    };
    for (const Case& c : cases) {
        Rows rows = random_rows(12, 2, 2, 21);
        ProjectionModel model = busy_model(rows, 2, c.M, 1);
        TrainSettings s{c.M, 1, c.strategy, 1, 2, 1, 1};
        testing::internal::CaptureStderr();
        run_schedule(&model, s);
        std::string trace = testing::internal::GetCapturedStderr();
        std::vector<std::string> seen;
        for (const std::string& line :
             lines_starting(trace, {"Adding", "Backfitting", "       Adjusting"})) {
            char tag = line[0] == 'A' ? 'A' : line[0] == 'B' ? 'B' : 'J';
            seen.push_back(std::string(1, tag) + " " + line.substr(line.rfind(' ') + 1));
        }
        EXPECT_EQ(seen, c.expected) << "Strategy " << c.strategy;
        release_training_state();
    }
}

TEST(PathletSchedules, OneProjectionPrintsItsStepsInOrder)
{
    Rows rows = random_rows(12, 2, 2, 2);
    ProjectionModel model = busy_model(rows, 2, 1, 2);
    testing::internal::CaptureStderr();
    train_projection(&model, 2, 1, 0);
    std::vector<std::string> lines = lines_starting(testing::internal::GetCapturedStderr(), {""});
    const char* expected[] = {"\tIteration No. 1", "\t\tRotation No. 1",
                              "\t\tError before iteration:        ",
                              "\t\tError after setting direction: ", "\t\tRotation No. 2",
                              "\t\tError before iteration:        ",
                              "\t\tError after setting direction: ",
                              "\tError after Hermite interpol:  "};
    ASSERT_EQ(lines.size(), 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(lines[i].compare(0, strlen(expected[i]), expected[i]), 0) << lines[i];
    release_training_state();
}

}  // namespace
