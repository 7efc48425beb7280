// Mixture plug-in: densities against hand-worked and independent values,
// scale-relative singularity, the model file's layout and round trips, and
// the network's weight fits against normal equations solved here.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plugins/bellmix/mixture_model.h"
#include "plugins/bellmix/rbf_network.h"
#include "support/matrix.h"
#include "tests/plugins/bellmix_test_helpers.h"

namespace {

const double kTwoPi = 6.283185307184;  // the model's own constant

// A one-component mixture with the given weight, mean and covariance.
void set_component(MixtureModel* m, int k, std::vector<double> mean, std::vector<double> cov)
{
    int D = m->getDimension();
    HeldMatrix mu(1, D, mean), c(m->getDiagonal() ? 1 : D, D, cov);
    m->setMean(k, &mu.m);
    m->setCovariance(k, &c.m);
}

void set_weights(MixtureModel* m, std::vector<double> w)
{
    HeldMatrix held(1, static_cast<int>(w.size()), w);
    m->setWeights(&held.m);
}

// Plain Gaussian density through an explicit solve, for comparison.
double reference_density(const std::vector<double>& x, const std::vector<double>& mean,
                         const std::vector<double>& cov)
{
    int D = static_cast<int>(x.size());
    std::vector<double> d(D);
    for (int i = 0; i < D; ++i)
        d[i] = x[i] - mean[i];
    std::vector<double> y = solve_linear(cov, d, D);
    double q = 0.0;
    for (int i = 0; i < D; ++i)
        q += d[i] * y[i];
    return std::exp(-0.5 * q) / std::sqrt(std::pow(kTwoPi, D) * std::exp(log_determinant(cov, D)));
}

struct DensityCase {
    const char* name;
    int diagonal;
    std::vector<double> mean, cov, x;
    double expected;  // < 0: reference_density of the full matrix
};

TEST(MixtureDensity, HandWorkedAndIndependentValues)
{
    std::vector<DensityCase> cases = {
        {"unit variance at the mean", 1, {0.0}, {1.0}, {0.0}, 1.0 / std::sqrt(kTwoPi)},
        {"variance 4, one sd off", 1, {1.0}, {4.0}, {3.0},
         std::exp(-0.5) / std::sqrt(kTwoPi * 4.0)},
        {"two features, diagonal", 1, {1.0, -1.0}, {2.0, 0.5}, {2.0, 0.0},
         std::exp(-0.5 * (0.5 + 2.0)) / std::sqrt(kTwoPi * kTwoPi * 1.0)},
        {"full 2 x 2", 0, {0.5, 1.0}, {2.0, 0.6, 0.6, 1.0}, {1.5, -0.2}, -1},
        {"full 3 x 3", 0, {0, 0, 0}, {4, 1, 0.5, 1, 3, 0.2, 0.5, 0.2, 2}, {1, -1, 2}, -1},
    };
    for (const DensityCase& c : cases) {
        SCOPED_TRACE(c.name);
        int D = static_cast<int>(c.mean.size());
        MixtureModel m(D, 1, c.diagonal);
        set_component(&m, 0, c.mean, c.cov);
        set_weights(&m, {0.25});
        double expected = c.expected >= 0 ? c.expected : reference_density(c.x, c.mean, c.cov);
        HeldMatrix x(1, D, c.x);
        EXPECT_NEAR(m.component_density(0, 0, &x.m), expected, 1e-13 * expected);
        EXPECT_NEAR(m.component_density(0, 1, &x.m), 0.25 * expected, 1e-13 * expected);
        EXPECT_NEAR(m.likelihood(c.x.data()), 0.25 * expected, 1e-13 * expected);
        EXPECT_NEAR(m.log_likelihood(c.x.data()), std::log(0.25 * expected), 1e-12);
        // The work row is left holding the sample minus the mean.
        m.component_density(0, 0, &x.m);
    }
}

// Sixty-four features far from the mean: every plain density is 0, yet the
// log-likelihood is finite and exact, and the nearer mixture wins.
TEST(MixtureDensity, ManyFeaturesDoNotUnderflowInTheLogDomain)
{
    const int D = 64;
    MixtureModel m(D, 2, 1);
    set_component(&m, 0, std::vector<double>(D, 0.0), std::vector<double>(D, 0.001));
    set_component(&m, 1, std::vector<double>(D, 1.0), std::vector<double>(D, 0.001));
    set_weights(&m, {0.5, 0.5});
    std::vector<double> x(D, 0.6);
    EXPECT_EQ(m.likelihood(x.data()), 0.0);
    // Component 1 is nearer: q = 64 * 0.16 / 0.01, plus log(1 + exp(-dq/2)).
    double q0 = D * 0.36 / 0.001, q1 = D * 0.16 / 0.001;
    double log1 = std::log(0.5) - 0.5 * (D * std::log(kTwoPi) + D * std::log(0.001)) - 0.5 * q1;
    double expected = log1 + std::log1p(std::exp(-0.5 * (q0 - q1)));
    EXPECT_NEAR(m.log_likelihood(x.data()), expected, 1e-9 * std::fabs(expected));
    EXPECT_TRUE(std::isfinite(m.log_likelihood(x.data())));
}

struct SingularCase {
    const char* name;
    int diagonal;
    int D;
    std::vector<double> cov;
    std::string message;          // "" for a regular covariance
    std::vector<double> floors = {};  // variance floors; empty for none
};

// Thirteen standardised features with correlation 0.6: det about 2e-4 ** 1,
// far below 1e-10 for smaller correlations' powers, and perfectly regular.
std::vector<double> equicorrelated(int D, double rho)
{
    std::vector<double> c(D * D, rho);
    for (int i = 0; i < D; ++i)
        c[i * D + i] = 1.0;
    return c;
}

// Correlation 0.5 between a feature in units of 1e6 and one in units of 1e-6.
std::vector<double> units_far_apart()
{
    return {1e12, 0.5, 0.5, 1e-12};
}

// Each covariance is judged against its own entries: variances of any
// scale are regular (a variance of 1e-7 beside one of 1e6 too, which a test
// against the largest entry called singular); a variance at or below its
// floor (rounding at its feature's scale) is not.
TEST(MixtureCovariance, SingularOnlyRelativeToScale)
{
    const std::string singular = "ERROR: NON-INVERTIBLE COVARIANCE MATRIX!\n";
    const std::string notFinite = "ERROR: the covariance matrix of component 0 is not a finite "
                                  "number!\n";
    std::vector<SingularCase> cases = {
        {"zero variance", 1, 2, {1.0, 0.0}, singular},
        {"negative variance", 1, 2, {1.0, -1.0}, singular},
        {"tiny beside a large one", 1, 2, {1e6, 1e-7}, ""},
        {"uniformly tiny scale", 1, 3, {1e-11, 2e-11, 3e-11}, ""},
        {"above the floors", 1, 2, {1e6, 1e-7}, "", {1e-20, 1e-20}},
        {"at a floor", 1, 2, {1.0, 1e-30}, singular, {1e-40, 1e-30}},
        {"reciprocal overflows", 1, 2, {1.0, 1e-310}, singular},
        {"overflowed variance", 1, 2, {1.0, INFINITY}, notFinite},
        {"rank one", 0, 2, {1.0, 2.0, 2.0, 4.0}, singular},
        {"not a number", 0, 2, {1.0, NAN, NAN, 1.0}, notFinite},
        {"13 x 13, det far below 1e-10", 0, 13, equicorrelated(13, 0.9), ""},
        {"full with tiny scale", 0, 2, {1e-12, 0.5e-12, 0.5e-12, 1e-12}, ""},
        {"full, units 1e12 apart", 0, 2, units_far_apart(), ""},
        {"full, a variance below its floor", 0, 2, {1.0, 0.0, 0.0, 1e-34}, singular,
         {1e-32, 1e-32}},
    };
    for (const SingularCase& c : cases) {
        SCOPED_TRACE(c.name);
        MixtureModel m(c.D, 1, c.diagonal);
        m.setVarianceFloors(c.floors.empty() ? nullptr : c.floors.data());
        HeldMatrix cov(c.diagonal ? 1 : c.D, c.D, c.cov);
        double det = 0.0;
        std::string out = captured([&] { det = m.setCovariance(0, &cov.m); });
        EXPECT_EQ(m.isSingular(0), c.message.empty() ? 0 : 1);
        EXPECT_EQ(out, c.message);
        if (c.message.empty() && !c.diagonal) {
            EXPECT_NEAR(std::log(det), log_determinant(c.cov, c.D), 1e-9);
        }
        // The covariance is kept as it was set.
        for (size_t t = 0; t < c.cov.size(); ++t) {
            if (!std::isnan(c.cov[t])) {
                EXPECT_EQ(m.getCovariance(0)->data[t], c.cov[t]);
            }
        }
    }
}

TEST(MixtureCovariance, CholeskySolveMatchesElimination)
{
    std::vector<double> a = {4, 1, 0.5, 1, 3, 0.2, 0.5, 0.2, 2};
    HeldMatrix l(3, 3, a);
    ASSERT_TRUE(cholesky_factor(&l.m, kCovariancePivots));
    double logDet = cholesky_log_determinant(&l.m);
    std::vector<double> b = {1.0, -2.0, 0.5}, x = b;
    DataMatrix column = {3, 1, x.data()};
    cholesky_solve(&l.m, &column);
    std::vector<double> expected = solve_linear(a, b, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(x[i], expected[i], 1e-14);
    EXPECT_NEAR(logDet, log_determinant(a, 3), 1e-14);
}

// A fresh model file with an empty "parameters" block.
void write_empty_model(const std::string& file)
{
    write_text(file, "<BELLMIX>\n\t<history/>\n\t<initial_settings/>\n\t<parameters/>\n</BELLMIX>");
}

TEST(MixtureFile, FullCovariancePackingRoundTrip)
{
    ScratchFolder folder;
    std::string file = folder.path("model.xml");
    write_empty_model(file);
    MixtureModel m(3, 2, 0);
    std::vector<double> c0 = {4, 1, 0.5, 1, 3, 0.2, 0.5, 0.2, 2};
    std::vector<double> c1 = {1, 0.1, 0.2, 0.1, 2, 0.3, 0.2, 0.3, 3};
    set_component(&m, 0, {1.0 / 3, 2, 3}, c0);
    set_component(&m, 1, {-1, 0, 1e-7}, c1);
    set_weights(&m, {0.3, 0.7});
    m.writeToFile(file.c_str(), 1);
    std::string gauss = "/BELLMIX/parameters/#1#MIXTURE/GAUSSIAN";
    EXPECT_EQ(model_list(file, gauss, 1, "Cov"), (std::vector<double>{4, 1, 0.5, 3, 0.2, 2}));
    EXPECT_EQ(model_list(file, gauss, 1, "Mean")[0], 1.0 / 3);  // twenty digits survive
    EXPECT_EQ(model_list(file, "/BELLMIX/parameters/MIXTURE", 1, "Weights"),
              (std::vector<double>{0.3, 0.7}));
    MixtureModel back(file.c_str(), 1);
    ASSERT_EQ(back.isComplete(), 1);
    EXPECT_EQ(back.getDiagonal(), 0);
    for (int t = 0; t < 9; ++t)
        EXPECT_EQ(back.getCovariance(1)->data[t], c1[t]);
    std::vector<double> x = {0.5, 1.5, 2.0};
    EXPECT_NEAR(back.log_likelihood(x.data()), m.log_likelihood(x.data()), 1e-13);
}

TEST(MixtureFile, RewritingAndAppendingMixtures)
{
    ScratchFolder folder;
    std::string file = folder.path("model.xml");
    write_empty_model(file);
    MixtureModel m(1, 2, 1);
    set_component(&m, 0, {1}, {1});
    set_component(&m, 1, {2}, {2});
    set_weights(&m, {0.5, 0.5});
    m.writeToFile(file.c_str(), 1);
    set_component(&m, 1, {5}, {6});
    m.writeToFile(file.c_str(), 1);
    std::string text = read_text(file);
    EXPECT_EQ(count_of(text, "<MIXTURE"), 1);
    EXPECT_EQ(count_of(text, "<GAUSSIAN"), 2);
    EXPECT_EQ(model_list(file, "/BELLMIX/parameters/#1#MIXTURE/GAUSSIAN", 2, "Cov"),
              std::vector<double>{6});
    std::string out = captured([&] { m.writeToFile(file.c_str(), 3); });
    EXPECT_EQ(out, "BELLMIX: the 3th mixture not found, writing to the last mixture!\n");
    EXPECT_EQ(count_of(read_text(file), "<MIXTURE"), 2);
    EXPECT_EQ(model_list(file, "/BELLMIX/parameters/#2#MIXTURE/GAUSSIAN", 2, "Mean"),
              std::vector<double>{5});
    EXPECT_EQ(captured([&] { m.writeToFile(folder.path("none.xml").c_str(), 1); }),
              "Could not open XML file!");
}

struct MissingMixtureCase {
    const char* name;
    int present;  // MIXTURE elements already in the file
    int index;    // the mixture written
    int target;   // the MIXTURE that receives it
};

// A mixture that the file cannot hold in its place goes, with all its
// attributes, into the last MIXTURE; "parameters" keeps none of them, and the
// file reads back whole.
TEST(MixtureFile, MissingMixtureIsWrittenWholeIntoTheLastOne)
{
    std::vector<MissingMixtureCase> cases = {
        {"second into a new file", 0, 2, 1},
        {"third after one", 1, 3, 2},
        {"fifth after two", 2, 5, 3},
    };
    ScratchFolder folder;
    for (const MissingMixtureCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = folder.path("model.xml");
        write_empty_model(file);
        MixtureModel m(2, 1, 1);
        set_component(&m, 0, {0, 0}, {1, 1});
        set_weights(&m, {1});
        for (int i = 1; i <= c.present; ++i)
            m.writeToFile(file.c_str(), i);
        set_component(&m, 0, {3, 4}, {2, 5});
        captured([&] { m.writeToFile(file.c_str(), c.index); });
        std::string text = read_text(file);
        EXPECT_EQ(count_of(text, "<MIXTURE"), c.target);
        EXPECT_EQ(text.find("<parameters>"), text.find("<parameters"));
        MixtureModel back(file.c_str(), c.target);
        ASSERT_EQ(back.isComplete(), 1);
        EXPECT_EQ(back.getMean(0)->data[1], 4.0);
        EXPECT_EQ(back.getCovariance(0)->data[1], 5.0);
    }
}

struct ReadCase {
    const char* name;
    std::string mixture;  // the text inside "parameters"; "-" for no file
    std::string message;
};

TEST(MixtureFile, ReadingRefusals)
{
    std::string g1 = "<GAUSSIAN Mean=\"0,0\" Cov=\"1,0,1\"/>";
    ScratchFolder folder;
    std::string file = folder.path("read.xml");
    std::vector<ReadCase> cases = {
        {"no file", "-",
         "BELLMIX: the XML file name is not valid!\n" + file + ": No such file or directory\n"},
        {"no such mixture", "", "BELLMIX: the 1th mixture not found!\n"},
        {"no dimension", "<MIXTURE NumOfMix=\"1\" Diagonal=\"0\" Weights=\"1\">" + g1 +
                         "</MIXTURE>", "BELLMIX: Dimension attribute not found!\n"},
        {"no count", "<MIXTURE Dimension=\"2\" Diagonal=\"0\" Weights=\"1\">" + g1 +
                     "</MIXTURE>", "BELLMIX: NumOfMix attribute not found!\n"},
        {"no diagonal flag", "<MIXTURE Dimension=\"2\" NumOfMix=\"1\" Weights=\"1\">" + g1 +
                             "</MIXTURE>", "BELLMIX: Diag_On attribute not found!\n"},
        {"weights short", "<MIXTURE Dimension=\"2\" NumOfMix=\"2\" Diagonal=\"0\" Weights=\"1\">" +
                          g1 + g1 + "</MIXTURE>", "BELLMIX: Incompatible Weights array size!\n"},
        {"negative weight", "<MIXTURE Dimension=\"2\" NumOfMix=\"2\" Diagonal=\"0\" "
                            "Weights=\"1.5,-0.5\">" + g1 + g1 + "</MIXTURE>",
         "BELLMIX: the weight of GAUSSIAN 2 of class 1 (MIXTURE 1) is below 0!\n"},
        {"missing component", "<MIXTURE Dimension=\"2\" NumOfMix=\"2\" Diagonal=\"0\" "
                              "Weights=\"1,0\">" + g1 + "</MIXTURE>",
         "BELLMIX: Incompatible Mean array size!\n"},
        {"full Cov of D x D", "<MIXTURE Dimension=\"2\" NumOfMix=\"1\" Diagonal=\"0\" "
                              "Weights=\"1\"><GAUSSIAN Mean=\"0,0\" Cov=\"1,0,0,1\"/></MIXTURE>",
         "BELLMIX: Incompatible Cov array size!\n"},
        {"covariance not positive definite", "<MIXTURE Dimension=\"2\" NumOfMix=\"2\" "
                                             "Diagonal=\"0\" Weights=\"0.5,0.5\">" + g1 +
                                             "<GAUSSIAN Mean=\"0,0\" Cov=\"1,2,1\"/></MIXTURE>",
         "BELLMIX: the covariance of GAUSSIAN 2 in MIXTURE 1 is not positive definite!\n"},
        {"huge claimed size", "<MIXTURE Dimension=\"2000000000\" NumOfMix=\"1\" Diagonal=\"0\" "
                              "Weights=\"1\">" + g1 + "</MIXTURE>",
         "BELLMIX: Incompatible Mean array size!\n"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(file.c_str());
        if (c.mixture != "-")
            write_text(file, "<BELLMIX><parameters>" + c.mixture + "</parameters></BELLMIX>");
        std::unique_ptr<MixtureModel> m;
        EXPECT_EQ(captured([&] { m.reset(new MixtureModel(file.c_str(), 1)); }), c.message);
        EXPECT_EQ(m->isComplete(), 0);
    }
}

// A network over two classes of two one-feature components each, with rows
// spread so that the activations are of full rank.
struct SmallNetwork {
    RbfNetwork net{1, 2, 2, 1};
    std::vector<double> x, labels;
    SmallNetwork()
    {
        double means[4] = {-1, 0, 1, 2};
        for (int c = 1; c <= 2; ++c) {
            MixtureModel* m = net.getMixture(c);
            set_component(m, 0, {means[2 * c - 2]}, {0.5});
            set_component(m, 1, {means[2 * c - 1]}, {0.8});
            set_weights(m, {0.5, 0.5});
        }
        for (int i = 0; i < 12; ++i) {
            x.push_back(-1.5 + 0.3 * i);
            labels.push_back(i < 6 ? 1.0 : 2.0);
        }
    }
    // Phi'Phi (H x H) plus ridge, and Phi't for class c.
    void normal_equations(int c, double ridge, std::vector<double>* a, std::vector<double>* b)
    {
        int H = net.getNumOfHidden(), n = static_cast<int>(x.size());
        a->assign(H * H, 0.0);
        b->assign(H, 0.0);
        for (int i = 0; i < n; ++i) {
            net.output(&x[i]);
            for (int h = 0; h < H; ++h) {
                (*b)[h] += net.activation(h) * (labels[i] == c ? 1.0 : 0.0);
                for (int l = 0; l < H; ++l)
                    (*a)[h * H + l] += net.activation(h) * net.activation(l);
            }
        }
        for (int h = 0; h < H; ++h)
            (*a)[h * H + h] += ridge;
    }
};

struct FitCase {
    const char* name;
    int (*fit)(RbfNetwork*, const DataMatrix*, int, int, const DataMatrix*);
    double ridgePerRow;
};

TEST(RbfNetwork, WeightFitsSolveTheNormalEquations)
{
    std::vector<FitCase> cases = {{"least squares", rbf_weights_least_squares, 0.0},
                                  {"ridged inverse", rbf_weights_inverse, 1e-11}};
    for (const FitCase& c : cases) {
        SCOPED_TRACE(c.name);
        SmallNetwork s;
        int n = static_cast<int>(s.x.size());
        HeldMatrix features(n, 1, s.x), labels(n, 1, s.labels);
        ASSERT_EQ(c.fit(&s.net, &features.m, n, 2, &labels.m), 1);
        for (int cls = 1; cls <= 2; ++cls) {
            std::vector<double> a, b;
            s.normal_equations(cls, n * c.ridgePerRow, &a, &b);
            std::vector<double> w = solve_linear(a, b, 4);
            for (int h = 0; h < 4; ++h)
                EXPECT_NEAR(s.net.getWeights()->data[(cls - 1) * 4 + h], w[h],
                            1e-6 * (1 + std::fabs(w[h])));
        }
        // Outputs are the weighted sums of the activations.
        const double* out = s.net.output(&s.x[0]);
        double sum = 0.0;
        for (int h = 0; h < 4; ++h)
            sum += s.net.getWeights()->data[h] * s.net.activation(h);
        EXPECT_NEAR(out[0], sum, 1e-15);
    }
}

// A fit with nothing to fit, or an activation that is no number, returns 0
// after its reason: no class fitted (all mixing weights 0) and a row that no
// unit reaches used to give weights 0, or fitted to nothing, as fitted.
TEST(RbfNetwork, FitsWithNothingToFitAreRefused)
{
    auto squares = rbf_weights_least_squares, inverse = rbf_weights_inverse;
    const std::vector<double> far = {-1.5, -1.2, 1e3, 0.5, 1.0, 2.0};
    const std::vector<double> nan = {-1.5, NAN, -0.5, 0.5, 1.0, 2.0};
    const std::string unfitted = "\nNo hidden unit has a component of weight above 0\n";
    const struct {
        decltype(squares) fit;
        std::vector<double> x;  // the rows, all of class 1
        double weight;          // every component's mixing weight
        std::string message;
    } cases[] = {
        {squares, {0, 1, 2}, 0.5,
         "\nThe least-squares fit needs at least as many data lines (3) as hidden units (4)\n"},
        {squares, far, 0, unfitted},
        {inverse, far, 0, unfitted},
        {squares, far, 0.5, "\nEvery activation of data line 3 is 0\n"},
        {inverse, far, 0.5,
         "\nEvery activation of data line 3 is 0 when squared, as the normal equations take it\n"},
        {squares, nan, 0.5, "\nAn activation of data line 2 is not a finite number\n"},
        {inverse, nan, 0.5, "\nAn activation of data line 2 is not a finite number when squared, "
                            "as the normal equations take it\n"},
    };
    for (const auto& c : cases) {
        SmallNetwork s;
        for (int cls = 1; cls <= 2; ++cls)
            set_weights(s.net.getMixture(cls), {c.weight, c.weight});
        int n = static_cast<int>(c.x.size());
        HeldMatrix features(n, 1, c.x), labels(n, 1, std::vector<double>(n, 1.0));
        EXPECT_EQ(captured([&] { EXPECT_EQ(c.fit(&s.net, &features.m, n, 2, &labels.m), 0); }),
                  c.message);
    }
}

// A component of standard deviation 1e-7 gives activations near 4e6 where
// the others give about 0.4: the normal equations' diagonal spans 1e13, yet
// each pivot is sound against its own entry, and the weights solve them.
TEST(RbfNetwork, NormalEquationsOfActivationsFarApartAreSolved)
{
    RbfNetwork net(1, 2, 2, 1);
    double means[4] = {0, 5, 10, 2}, variances[4] = {1e-14, 1, 1, 4};
    for (int c = 1; c <= 2; ++c) {
        for (int k = 0; k < 2; ++k)
            set_component(net.getMixture(c), k, {means[2 * c - 2 + k]}, {variances[2 * c - 2 + k]});
        set_weights(net.getMixture(c), {0.5, 0.5});
    }
    std::vector<double> x = {-1e-7, -5e-8, 0, 5e-8, 1e-7}, labels(5, 1.0);
    for (int i = 0; i < 10; ++i) {
        x.push_back(1.0 + i);
        labels.push_back(i < 4 ? 1.0 : 2.0);
    }
    int n = static_cast<int>(x.size());
    HeldMatrix features(n, 1, x), held(n, 1, labels);
    ASSERT_EQ(rbf_weights_inverse(&net, &features.m, n, 2, &held.m), 1);
    // (Phi'Phi + n 1e-11 I) w = Phi't, row by row, relative to its terms.
    for (int c = 1; c <= 2; ++c) {
        const double* w = net.getWeights()->data + (c - 1) * 4;
        std::vector<double> residual(4, 0.0), size(4, 0.0);
        for (int h = 0; h < 4; ++h) {
            residual[h] = n * 1e-11 * w[h];
            size[h] = std::fabs(residual[h]);
        }
        for (int i = 0; i < n; ++i) {
            net.output(&x[i]);
            for (int h = 0; h < 4; ++h) {
                double t = labels[i] == c ? net.activation(h) : 0.0;
                residual[h] -= t;
                size[h] += std::fabs(t);
                for (int l = 0; l < 4; ++l) {
                    double term = net.activation(h) * net.activation(l) * w[l];
                    residual[h] += term;
                    size[h] += std::fabs(term);
                }
            }
        }
        for (int h = 0; h < 4; ++h)
            EXPECT_LE(std::fabs(residual[h]), 1e-9 * size[h]) << "class " << c << ", unit " << h;
    }
}

TEST(RbfNetwork, WeightsRoundTripThroughTheModelFile)
{
    ScratchFolder folder;
    std::string file = folder.path("net.xml");
    write_empty_model(file);
    SmallNetwork s;
    std::vector<double> w = {1, -2, 3, 1.0 / 7, 5, 6, -7, 8};
    s.net.setClassWeights(w.data(), 0);
    s.net.getMixture(1)->writeToFile(file.c_str(), 1);
    s.net.getMixture(2)->writeToFile(file.c_str(), 2);
    s.net.writeToFile(file.c_str());
    RbfNetwork back(file.c_str(), 2);
    ASSERT_EQ(back.isComplete(), 1);
    EXPECT_EQ(back.getNumOfHidden(), 4);
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(back.getWeights()->data[t], w[t]);
    // A smaller class count expects fewer weights than the file holds.
    std::unique_ptr<RbfNetwork> one;
    EXPECT_EQ(captured([&] { one.reset(new RbfNetwork(file.c_str(), 1)); }),
              "BELLMIX: Incompatible RBFN Weights array size!\n");
    EXPECT_EQ(one->isComplete(), 0);
}

}  // namespace
