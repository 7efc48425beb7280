// Projection pursuit: values that are not finite numbers, in a model file that
// is read, in the basis far from the data's scale, in refused fitting steps
// and in test results.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plugins/pathlet/fitting.h"
#include "plugins/pathlet/model_file.h"
#include "plugins/pathlet/projection_model.h"
#include "tests/plugins/discriminant_test_helpers.h"

extern "C" void* test_pathlet(void** values, int* types, int count, int* resultType);

namespace {

const double K1 = 0.5311259031295776;

std::string model_text(const std::string& attributes, const std::string& projections)
{
    return "<PATHLET><history/><initial_settings/><parameters " + attributes + ">" +
           projections + "</parameters></PATHLET>";
}

std::string sizes(const std::string& numProj, const std::string& normFact,
                  const std::string& means)
{
    return "NumInput=\"2\" NumOutput=\"2\" NumProjPars=\"1\" NumProj=\"" + numProj +
           "\" NormFact=\"" + normFact + "\" Means=\"" + means + "\"";
}

std::string projection(const std::string& shift, const std::string& dir,
                       const std::string& pars, const std::string& weights)
{
    return "<PROJECTION Shift=\"" + shift + "\" Dir=\"" + dir + "\" ProjPars=\"" + pars +
           "\" Weights=\"" + weights + "\"/>";
}

const std::string good = projection("1", "1,0", "2", "1,-1");

TEST(PathletModelValues, LoaderRefusesTextAndValuesThatAreNotFinite)
{
    struct Case {
        const char* name;
        std::string text;
        std::string message;  // "" for a model that loads
        int projections;      // whole projections kept
    };
    std::string notFinite = " holds a value that is not a finite number!\n";
    const Case cases[] = {
        {"blanks around numbers", model_text(sizes(" 2 ", " 0.5", "0.5 , 0.5"),
                                             good + projection(" -1 ", "0, 1", "3", "1 ,-1")),
         "", 2},
        {"NumProj with text", model_text(sizes("2x", "0.5", "0.5,0.5"), good),
         "PATHLET: the NumProj attribute of parameters is not a whole number!\n", 0},
        {"NormFact a word", model_text(sizes("1", "abc", "0.5,0.5"), good),
         "PATHLET: the NormFact attribute of parameters" + notFinite, 0},
        {"NormFact inf", model_text(sizes("1", "inf", "0.5,0.5"), good),
         "PATHLET: the NormFact attribute of parameters" + notFinite, 0},
        {"Means nan", model_text(sizes("1", "0.5", "nan,0.5"), good),
         "PATHLET: the Means attribute of parameters" + notFinite, 0},
        {"Shift nan", model_text(sizes("2", "0.5", "0.5,0.5"),
                                 good + projection("nan", "1,0", "2", "1,-1")),
         "PATHLET: the Shift attribute of PROJECTION 2" + notFinite, 1},
        {"Dir with text", model_text(sizes("1", "0.5", "0.5,0.5"),
                                     projection("0", "1,x", "2", "1,-1")),
         "PATHLET: the Dir attribute of PROJECTION 1" + notFinite, 0},
        {"ProjPars overflowing", model_text(sizes("1", "0.5", "0.5,0.5"),
                                            projection("0", "1,0", "1e999", "1,-1")),
         "PATHLET: the ProjPars attribute of PROJECTION 1" + notFinite, 0},
        {"Weights empty item", model_text(sizes("1", "0.5", "0.5,0.5"),
                                          projection("0", "1,0", "2", "1,,-1")),
         "PATHLET: the Weights attribute of PROJECTION 1" + notFinite, 0},
    };
    ScratchFolder folder;
    std::string file = folder.path("values.xml");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_text(file, c.text);
        ProjectionModel model;
        testing::internal::CaptureStderr();
        EXPECT_EQ(load_projection_model(&model, file.c_str()), c.message.empty());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(model.NumProj, c.projections);
        EXPECT_EQ(model.Shift.size(), static_cast<size_t>(c.projections));
    }
}

// h_r(z) by its definition in long double, for z where nothing overflows.
long double defined_basis(int r, long double z)
{
    long double before = 1.0L, now = 2.0L * z, factorial = 1.0L;
    for (int k = 1; k < r; ++k) {
        long double next = 2.0L * z * now - 2.0L * k * before;
        before = now;
        now = next;
    }
    for (int k = 2; k <= r; ++k)
        factorial *= k;
    return K1 * std::pow(2.0L, -(r - 1) / 2.0L) * std::exp(-z * z / 2.0L) * now /
           std::sqrt(factorial);
}

// The basis agrees with its definition where that can be computed, stays
// finite and within the functions' bound for many functions, and is 0 (with
// value and derivative) where exp(-z^2/2) underflows or z is not finite.
TEST(PathletBasisValues, TendsToZeroFarFromTheDataScale)
{
    struct Case {
        double z;
        int R;
        bool zero;  // every basis value, the value and the derivative 0
    };
    const Case cases[] = {{0.7, 12, false}, {-3.0, 40, false}, {30.0, 400, false},
                          {-38.0, 3, false}, {40.0, 3, true},   {1e160, 5, true},
                          {std::numeric_limits<double>::infinity(), 2, true}};
    ProjectionModel model;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.z);
        init_projection_model(&model, 1, 2, 1, c.R);
        model.NormFact = 1.0;
        std::vector<double> ones(c.R, 1.0), basis(c.R, -1.0);
        set_hermite_coefficients(&model, ones.data(), 0);
        double deriv = -1.0;
        double value = ridge_value_and_basis(&model, &c.z, 0, &deriv, basis.data());
        ASSERT_TRUE(std::isfinite(value) && std::isfinite(deriv));
        for (int r = 1; r <= c.R; ++r) {
            ASSERT_LE(std::fabs(basis[r - 1]), K1 * std::sqrt(2.0)) << r;
            if (c.zero) {
                EXPECT_EQ(basis[r - 1], 0.0) << r;
            } else if (r <= 40 && std::fabs(c.z) < 10.0) {
                EXPECT_NEAR(basis[r - 1], static_cast<double>(defined_basis(r, c.z)), 1e-13)
                    << r;
            }
        }
        if (c.zero) {
            EXPECT_EQ(value, 0.0);
            EXPECT_EQ(deriv, 0.0);
        }
    }
}

// A feature of 1e200 on which the direction has no component: the row's
// ridge slope is not 0, so the direction system holds infinities and its
// solution is refused, said once, and the direction and shift stay.
TEST(PathletFittingValues, RefusedStepsAreSaidOnceAndKeepTheModel)
{
    std::vector<double> x = {0.3, 1e200, -0.4, 1.0, 0.1, -2.0, -0.2, 0.5};
    std::vector<double> labels = {1, 2, 1, 2};
    DataMatrix X{4, 2, x.data()}, L{4, 1, labels.data()};
    ProjectionModel model;
    init_projection_model(&model, 2, 2, 1, 2);
    model.Dir = {1.0, 0.0};
    model.ProjPars = {0.8, -0.3};
    set_training_rows(&X, &L, 2);
    ASSERT_TRUE(allocate_training_state(1, 2));
    set_class_priors(&model);
    testing::internal::CaptureStderr();
    fit_direction(&model, 0);
    fit_direction(&model, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "PATHLET: no finite direction step for projection 1; its direction and shift "
              "are kept\n");
    EXPECT_EQ(model.Dir, (std::vector<double>{1.0, 0.0}));
    EXPECT_EQ(model.Shift[0], 0.0);
    release_training_state();
}

TEST(PathletModelValues, FiniteModelsAreTold)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int field = 0; field <= 6; ++field) {
        ProjectionModel model;
        init_projection_model(&model, 2, 2, 2, 2);
        std::vector<double*> slots = {nullptr,           &model.NormFact, &model.Means[1],
                                      &model.Shift[1],   &model.Dir[3],   &model.ProjPars[2],
                                      &model.Weights[3]};
        if (slots[field])
            *slots[field] = nan;
        EXPECT_EQ(model_is_finite(&model), field == 0) << field;
    }
}

// test_pathlet reports no rate for a model file that is refused, nor for a
// finite model whose outputs overflow at row 2.
TEST(PathletScriptValues, TestReportsNoRateForValuesThatAreNotFinite)
{
    struct Case {
        const char* name;
        std::string model;
        std::string tail;
    };
    const Case cases[] = {
        {"model with nan", model_text(sizes("1", "1", "0.5,0.5"),
                                      projection("0", "1,0", "nan", "1,-1")),
         "PATHLET: the ProjPars attribute of PROJECTION 1 holds a value that is not a finite "
         "number!\n"},
        {"outputs overflow", model_text(sizes("1", "1", "0.5,0.5"),
                                        projection("0", "1,0", "1e300", "1e300,-1e300")),
         "PATHLET: the model output is not a finite number for row 2\n"},
    };
    ScratchFolder folder;
    std::string file = folder.path("m.xml");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_text(file, c.model);
        TestDatabase db(2, 3, {0, 0, 1, 1, 0, 2});
        std::string said = train_quietly(test_pathlet, db, file, nullptr);
        ASSERT_GE(said.size(), c.tail.size());
        EXPECT_EQ(said.substr(said.size() - c.tail.size()), c.tail);
        EXPECT_EQ(said.find("Classification error"), std::string::npos);
    }
}

}  // namespace
