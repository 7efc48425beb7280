// Projection pursuit model: the Hermite basis against its closed forms and
// finite differences, the random start, residuals, direction steps, and the
// model file's round trip and loader messages.
#include <gtest/gtest.h>

#include <cmath>

#include "plugins/pathlet/model_file.h"
#include "plugins/pathlet/projection_model.h"
#include "tests/plugins/discriminant_test_helpers.h"

namespace {

const double K1 = 0.5311259031295776;

// A one-feature model whose only projection has z = x (NormFact 1, Dir 1).
ProjectionModel identity_ridge(const std::vector<double>& coefficients)
{
    ProjectionModel model;
    unsigned seed = 7;
    set_model_seed_hook(&seed);
    init_projection_model(&model, 1, 2, 1, static_cast<int>(coefficients.size()));
    set_model_seed_hook(nullptr);
    model.NormFact = 1.0;
    set_hermite_coefficients(&model, coefficients.data(), 0);
    return model;
}

TEST(PathletBasis, MatchesClosedFormsForTheFirstThreeFunctions)
{
    ProjectionModel model = identity_ridge({0.0, 0.0, 0.0});
    for (double z : {-2.5, -0.7, 0.0, 0.3, 1.0, 3.2}) {
        double g = std::exp(-z * z / 2.0);
        double expected[3] = {K1 * g * 2.0 * z,
                              K1 * g * (4.0 * z * z - 2.0) / std::sqrt(2.0) / std::sqrt(2.0),
                              K1 * g * (8.0 * z * z * z - 12.0 * z) / 2.0 / std::sqrt(6.0)};
        double basis[3], deriv = 1.0;
        EXPECT_EQ(ridge_value_and_basis(&model, &z, 0, &deriv, basis), 0.0);
        EXPECT_EQ(deriv, 0.0);
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(basis[r], expected[r], 1e-14) << "z " << z << " r " << r + 1;
    }
}

TEST(PathletBasis, RidgeValueAndDerivativeAgreeWithBasisAndFiniteDifferences)
{
    struct Case {
        std::vector<double> coefficients;
        double z;
    };
    const Case cases[] = {{{1.0}, 0.0},           {{1.0}, 1.3},
                          {{0.5, -2.0}, -0.8},    {{0.0, 0.0, 1.0}, 2.1},
                          {{0.3, 0.2, -0.7, 1.1, 0.4}, 0.45},
                          {{-1.0, 0.5, 0.25, -0.125, 2.0, 1.5}, -1.7}};
    for (const Case& c : cases) {
        ProjectionModel model = identity_ridge(c.coefficients);
        int R = static_cast<int>(c.coefficients.size());
        std::vector<double> basis(R);
        double deriv = 0.0;
        double value = ridge_value_and_basis(&model, &c.z, 0, &deriv, basis.data());
        double combined = 0.0;
        for (int r = 0; r < R; ++r)
            combined += c.coefficients[r] * basis[r];
        EXPECT_NEAR(value, combined, 1e-14);
        EXPECT_NEAR(ridge_value(&model, &c.z, 0), value, 1e-14);
        double h = 1e-5, up = c.z + h, down = c.z - h;
        double difference = (ridge_value(&model, &up, 0) - ridge_value(&model, &down, 0)) / (2 * h);
        // K0 differs from K1 sqrt(2) in the eighth digit; the rest is exact.
        EXPECT_NEAR(deriv, difference, 1e-7 * (1.0 + std::fabs(difference))) << "z " << c.z;
    }
    ProjectionModel first = identity_ridge({1.0});
    double z = 0.0, deriv = 0.0, basis[1];
    ridge_value_and_basis(&first, &z, 0, &deriv, basis);
    EXPECT_DOUBLE_EQ(deriv, std::sqrt(2.0) * 0.7511255);
}

TEST(PathletModel, StartsAsDescribed)
{
    struct Case {
        int D, C, M, R;
        double norm;
    };
    for (const Case& c : {Case{4, 3, 4, 2, 1.25}, Case{1, 2, 3, 1, 2.5}, Case{9, 5, 2, 3, 2.5 / 3}}) {
        ProjectionModel model;
        ASSERT_TRUE(init_projection_model(&model, c.D, c.C, c.M, c.R));
        EXPECT_DOUBLE_EQ(model.NormFact, c.norm);
        EXPECT_EQ(model.NumProj, c.M);
        for (int m = 0; m < c.M; ++m) {
            double length = 0.0;
            for (int k = 0; k < c.D; ++k) {
                double d = model.Dir[m * c.D + k];
                EXPECT_GE(d, 0.0);
                length += d * d;
            }
            EXPECT_NEAR(length, 1.0, 1e-12);
            EXPECT_EQ(model.Shift[m], 0.0);
            for (int r = 0; r < c.R; ++r)
                EXPECT_EQ(model.ProjPars[m * c.R + r], 0.0);
            for (int k = 0; k < c.C; ++k)
                EXPECT_DOUBLE_EQ(model.Weights[m * c.C + k], k == m % c.C ? 1.0 : -1.0 / c.C);
        }
    }
    ProjectionModel none;
    EXPECT_FALSE(init_projection_model(&none, 0, 2, 1, 1));
    EXPECT_FALSE(init_projection_model(&none, 2, 2, 0, 1));
}

TEST(PathletModel, SeedHookRepeatsStartsAndRedrawsAZeroDirection)
{
    ProjectionModel a, b;
    unsigned seed = 12345;
    set_model_seed_hook(&seed);
    init_projection_model(&a, 5, 2, 3, 1);
    init_projection_model(&b, 5, 2, 3, 1);
    EXPECT_EQ(a.Dir, b.Dir);
    // This seed's first two draws are both 0: the first direction is drawn again.
    unsigned zero_first = 225070530u;
    set_model_seed_hook(&zero_first);
    init_projection_model(&a, 2, 2, 1, 1);
    set_model_seed_hook(nullptr);
    EXPECT_TRUE(std::isfinite(a.Dir[0]) && std::isfinite(a.Dir[1]));
    EXPECT_NEAR(a.Dir[0] * a.Dir[0] + a.Dir[1] * a.Dir[1], 1.0, 1e-12);
}

// Two projections, three classes, hand-set values; residuals by hand.
TEST(PathletModel, ResidualsAndOutputsFollowTheirDefinitions)
{
    ProjectionModel model = identity_ridge({1.0});
    ProjectionModel two;
    init_projection_model(&two, 2, 3, 2, 1);
    two.NormFact = 1.0;
    two.Dir = {1.0, 0.0, 0.0, 1.0};
    two.Shift = {0.5, -0.25};
    two.ProjPars = {1.0, -2.0};
    two.Weights = {0.5, -1.0, 2.0, 1.0, 0.25, -0.5};
    double means[3] = {0.2, 0.3, 0.5};
    set_means(&two, means);
    double x[2] = {0.4, 0.9};
    auto h1 = [](double z) { return K1 * std::exp(-z * z / 2) * 2 * z; };
    double f0 = h1(0.9), f1 = -2.0 * h1(0.65);
    const double* out = model_outputs(&two, x);
    double expected_out[3] = {0.2 + 0.5 * f0 + f1, 0.3 - f0 + 0.25 * f1, 0.5 + 2 * f0 - 0.5 * f1};
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(out[c], expected_out[c], 1e-14);
    double values[2], deriv = 0.0, basis[1];
    const double* e = output_residual(&two, x, values, 1, 1, &deriv, basis);
    EXPECT_NEAR(values[0], f0, 1e-14);
    EXPECT_NEAR(values[1], f1, 1e-14);
    EXPECT_NEAR(basis[0], h1(0.65), 1e-14);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(e[c], (c == 1 ? 1.0 : 0.0) - expected_out[c], 1e-14);
    EXPECT_NEAR(partial_residual(&two, values, 2, 1), e[2] - 0.5 * f1, 1e-14);
    // A class outside the table has no target 1 and indexes nothing.
    e = output_residual(&two, x, values, 7, -1, nullptr, nullptr);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(e[c], -expected_out[c], 1e-14);
    double w[2] = {3.0, 4.0};
    set_output_weight_column(&two, w, 1);
    EXPECT_EQ(output_weight_row(&two, 1)[1], 4.0);
    EXPECT_EQ(output_weight_row(&two, 0)[1], 3.0);
    EXPECT_NEAR(ridge_value(&model, x, 0), h1(0.4), 1e-15);
}

TEST(PathletModel, DirectionStepsRenormaliseAndNeverDivideByZero)
{
    struct Case {
        const char* name;
        std::vector<double> step;     // D entries then the shift
        std::vector<double> dir;      // expected direction
        double shift;                 // expected shift
    };
    const double r = 1.0 / std::sqrt(2.0);
    const Case cases[] = {
        {"zero step only renormalises", {0, 0, 0}, {0.6, 0.8}, 0.0},
        {"moves then renormalises, shift not scaled", {0.4, -0.8, 2.0}, {1.0, 0.0}, 2.0},
        {"diagonal", {0.1, -0.1, -1.0}, {r, r}, -1.0},
        {"zero vector keeps the direction", {-0.6, -0.8, 0.5}, {0.6, 0.8}, 0.5},
        {"not finite is ignored", {NAN, 0.0, 1.0}, {0.6, 0.8}, 0.0},
    };
    for (const Case& c : cases) {
        ProjectionModel model;
        init_projection_model(&model, 2, 2, 1, 1);
        model.Dir = {0.6, 0.8};
        step_direction(&model, c.step.data(), 0, 1.0);
        EXPECT_NEAR(model.Dir[0], c.dir[0], 1e-14) << c.name;
        EXPECT_NEAR(model.Dir[1], c.dir[1], 1e-14) << c.name;
        EXPECT_EQ(model.Shift[0], c.shift) << c.name;
    }
}

ProjectionModel sample_model()
{
    ProjectionModel model;
    unsigned seed = 99;
    set_model_seed_hook(&seed);
    init_projection_model(&model, 3, 2, 2, 2);
    set_model_seed_hook(nullptr);
    model.Shift = {0.125, -1.0 / 3.0};
    model.ProjPars = {1.5, -2.25e-7, 1.0 / 7.0, 123456.789};
    model.Weights = {0.1, -0.9, 2.0 / 3.0, 1e10};
    double means[2] = {0.4, 0.6};
    set_means(&model, means);
    return model;
}

void expect_close(const std::vector<double>& a, const std::vector<double>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(a[i], b[i], 1e-9 * std::fabs(b[i]) + 1e-300) << i;
}

TEST(PathletModelFile, RoundTripsToTenDigits)
{
    ScratchFolder folder;
    std::string file = folder.path("m.xml");
    ProjectionModel model = sample_model();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(save_trained_model(ModelHistory{file.c_str(), 4, 3, {}}, &model));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ProjectionModel back;
    ASSERT_TRUE(load_projection_model(&back, file.c_str()));
    EXPECT_EQ(back.NumInput, 3);
    EXPECT_EQ(back.NumOutput, 2);
    EXPECT_EQ(back.NumProj, 2);
    EXPECT_EQ(back.NumProjPars, 2);
    expect_close(back.Dir, model.Dir);
    expect_close(back.Shift, model.Shift);
    expect_close(back.ProjPars, model.ProjPars);
    expect_close(back.Weights, model.Weights);
    expect_close(back.Means, model.Means);
    EXPECT_NEAR(back.NormFact, model.NormFact, 1e-10);
    std::string text = read_text(file);
    EXPECT_NE(text.find("\t<parameters\n\t   NumInput=\"3\"\n\t   NumOutput=\"2\"\n\t   "
                        "NumProjPars=\"2\"\n\t   NumProj=\"2\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\t\t<PROJECTION\n\t\t   Shift=\"0.125\"\n\t\t   Dir=\""), std::string::npos);
    EXPECT_NE(text.find("ProjPars=\"1.5,-2.25e-07\""), std::string::npos);
}

// The text of a model file with the given "parameters" attributes and children.
std::string model_text(const std::string& attributes, const std::string& children)
{
    return "<PATHLET><history/><initial_settings/><parameters " + attributes + ">" + children +
           "</parameters></PATHLET>";
}

const std::string good_sizes =
    "NumInput=\"2\" NumOutput=\"2\" NumProjPars=\"1\" NumProj=\"2\" NormFact=\"0.5\" "
    "Means=\"0.5,0.5\"";
const std::string good_projection = "<PROJECTION Shift=\"1\" Dir=\"1,0\" ProjPars=\"2\" Weights=\"1,-1\"/>";

TEST(PathletModelFile, LoaderReportsEachProblemAndKeepsWhatItRead)
{
    struct Case {
        const char* name;
        std::string text;     // file content; "" for no file
        std::string message;  // expected output
        int projections;      // complete projections kept
    };
    ScratchFolder folder;
    std::string file = folder.path("bad.xml");
    const Case cases[] = {
        {"no file", "",
         "Can't parse the xml document.\n" + file +
             ": No such file or directory\nPATHLET: the XML file name is not valid!\n",
         0},
        {"other root", "<FLATDISC><parameters/></FLATDISC>",
         "PATHLET: PATHLET/parameters element not found!\n", 0},
        {"no sizes", model_text("", ""), "PATHLET: NumInput attribute not found!\n", 0},
        {"zero classes", model_text("NumInput=\"2\" NumOutput=\"0\" NumProj=\"1\"", ""),
         "PATHLET: NumOutput attribute not found!\n", 0},
        {"no Hermite count", model_text("NumInput=\"2\" NumOutput=\"2\" NumProj=\"1\"", ""),
         "PATHLET: NumProjPars attribute not found!\n", 0},
        {"negative count",
         model_text("NumInput=\"2\" NumOutput=\"2\" NumProjPars=\"1\" NumProj=\"-3\"", ""),
         "PATHLET: NumProj attribute not found!\n", 0},
        {"short means",
         model_text("NumInput=\"2\" NumOutput=\"2\" NumProjPars=\"1\" NumProj=\"1\" Means=\"1\"",
                    ""),
         "PATHLET: Incompatible Means array size!\n", 0},
        {"second Dir wrong", model_text(good_sizes, good_projection +
                                        "<PROJECTION Shift=\"0\" Dir=\"1,0,0\" ProjPars=\"1\" "
                                        "Weights=\"1,2\"/>"),
         "PATHLET: Incompatible Dir array size!\n", 1},
        {"second missing", model_text(good_sizes, good_projection),
         "PATHLET: Incompatible Dir array size!\n", 1},
        {"ProjPars wrong", model_text(good_sizes, "<PROJECTION Dir=\"1,0\" ProjPars=\"1,2\"/>"),
         "PATHLET: Incompatible ProjPars array size!\n", 0},
        {"Weights wrong",
         model_text(good_sizes, "<PROJECTION Dir=\"1,0\" ProjPars=\"1\" Weights=\"1,,\"/>"),
         "PATHLET: Incompatible Weights array size!\n", 0},
        {"huge claimed sizes",
         model_text("NumInput=\"2000000000\" NumOutput=\"2\" NumProjPars=\"2000000000\" "
                    "NumProj=\"2000000000\" Means=\"1,2\"",
                    "<PROJECTION Dir=\"1\"/>"),
         "PATHLET: Incompatible Dir array size!\n", 0},
    };
    for (const Case& c : cases) {
        std::remove(file.c_str());
        if (!c.text.empty())
            write_text(file, c.text);
        ProjectionModel model;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(load_projection_model(&model, file.c_str())) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.name;
        EXPECT_EQ(model.NumProj, c.projections) << c.name;
        EXPECT_EQ(model.Dir.size(), static_cast<size_t>(c.projections * model.NumInput)) << c.name;
    }
    write_text(folder.path("two.xml"),
               model_text(good_sizes, good_projection + good_projection));
    ProjectionModel whole;
    ASSERT_TRUE(load_projection_model(&whole, folder.path("two.xml").c_str()));
    EXPECT_EQ(whole.NumProj, 2);
    EXPECT_EQ(whole.Shift[1], 1.0);
    EXPECT_EQ(whole.Weights[3], -1.0);
}

}  // namespace
