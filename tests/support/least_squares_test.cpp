// Least squares: exact and overdetermined systems against the normal
// equations, the factorise-once pair, bad sizes and singular factors.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "reference.h"
#include "support/least_squares.h"

namespace {

void expect_near(const std::vector<double>& actual, const std::vector<double>& expected,
                 double tolerance)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); i++)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << i;
}

TEST(LeastSquares, SquareSystemIsSolvedExactly)
{
    Matrix a = make_matrix(3, 3, {2, 1, 0, 1, 3, 1, 0, 1, 4});
    std::vector<double> truth = {1, -2, 0.5};
    Matrix b = make_column(times(a.get(), truth));
    Matrix x = make_column({0, 0, 0});
    leastsquare(a.get(), b.get(), x.get());
    expect_near(values_of(x.get()), truth, 1e-12);
}

TEST(LeastSquares, OverdeterminedMatchesNormalEquations)
{
    for (int cols : {1, 2, 4}) {
        Matrix a = random_matrix(9, cols, 3 + cols);
        Matrix b = random_matrix(9, 1, 100 + cols);
        std::vector<double> a_before = values_of(a.get()), b_before = values_of(b.get());
        Matrix x = make_column(std::vector<double>(cols, 0.0));
        leastsquare(a.get(), b.get(), x.get());
        expect_near(values_of(x.get()), normal_equations(a.get(), b_before), 1e-10);
        EXPECT_EQ(values_of(a.get()), a_before);
        EXPECT_EQ(values_of(b.get()), b_before);
    }
}

TEST(LeastSquares, OneFactorisationServesManyRightHandSides)
{
    Matrix a = random_matrix(6, 3, 11);
    Matrix original = make_matrix(6, 3, values_of(a.get()));
    Matrix diag = make_column({0, 0, 0});
    init_leastsquare(a.get(), diag.get());
    EXPECT_NE(values_of(a.get()), values_of(original.get()));
    for (unsigned seed : {1u, 2u, 3u}) {
        Matrix b = random_matrix(6, 1, seed);
        std::vector<double> b_before = values_of(b.get());
        Matrix x = make_column({0, 0, 0});
        EXPECT_EQ(multi_leastsquare(a.get(), diag.get(), b.get(), x.get()), 1);
        expect_near(values_of(x.get()), normal_equations(original.get(), b_before), 1e-10);
        EXPECT_EQ(values_of(b.get()), b_before);
    }
}

TEST(LeastSquares, BadSizesLeaveEverythingUntouched)
{
    Matrix wide = random_matrix(2, 3, 1);
    Matrix a = random_matrix(3, 2, 2);
    Matrix diag2 = make_column({0, 0}), diag3 = make_column({0, 0, 0});
    Matrix b3 = make_column({1, 2, 3}), b2 = make_column({1, 2});
    Matrix b_two_cols = make_matrix(3, 2, {1, 2, 3, 4, 5, 6});
    Matrix x2 = make_column({7, 7}), x3 = make_column({7, 7, 7});
    std::vector<double> a_before = values_of(a.get());
    const std::string init = "init_leastsquare: error with sizes or empty matrix/vector\n";
    const std::string multi = "multi_leastsquare: error with sizes or empty matrix/vector\n";
    const std::string one = "leastsquare: error with sizes or empty matrix/vector\n";

    expect_messages({
        {[&] { init_leastsquare(wide.get(), diag3.get()); }, init},
        {[&] { init_leastsquare(a.get(), diag3.get()); }, init},
        {[&] { init_leastsquare(nullptr, diag2.get()); }, init},
        {[&] { multi_leastsquare(a.get(), diag3.get(), b3.get(), x2.get()); }, multi},
        {[&] { multi_leastsquare(a.get(), diag2.get(), b_two_cols.get(), x2.get()); }, multi},
        {[&] { multi_leastsquare(a.get(), diag2.get(), b2.get(), x2.get()); }, multi},
        {[&] { multi_leastsquare(a.get(), diag2.get(), b3.get(), x3.get()); }, multi},
        {[&] { leastsquare(wide.get(), b2.get(), x3.get()); }, one},
        {[&] { leastsquare(a.get(), b_two_cols.get(), x2.get()); }, one},
        {[&] { leastsquare(a.get(), b3.get(), x3.get()); }, one},
        {[&] { leastsquare(a.get(), b3.get(), nullptr); }, one},
    });
    EXPECT_EQ(values_of(a.get()), a_before);
    EXPECT_EQ(values_of(diag2.get()), (std::vector<double>{0, 0}));
    EXPECT_EQ(values_of(x2.get()), (std::vector<double>{7, 7}));
    EXPECT_EQ(values_of(x3.get()), (std::vector<double>{7, 7, 7}));
}

TEST(LeastSquares, ZeroOnTheDiagonalOfRIsReportedUnsolved)
{
    // The second column is zero, so R's second diagonal entry is exactly 0.
    Matrix a = make_matrix(3, 2, {1, 0, 2, 0, 3, 0});
    Matrix b = make_column({1, 2, 3});
    Matrix x = make_column({7, 7});
    testing::internal::CaptureStderr();
    leastsquare(a.get(), b.get(), x.get());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "leastsquare: singular matrix, no solution\n");
    EXPECT_EQ(values_of(x.get()), (std::vector<double>{7, 7}));

    Matrix diag = make_column({0, 0});
    init_leastsquare(a.get(), diag.get());
    testing::internal::CaptureStderr();
    EXPECT_EQ(multi_leastsquare(a.get(), diag.get(), b.get(), x.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "multi_leastsquare: singular matrix, no solution\n");
    EXPECT_EQ(values_of(x.get()), (std::vector<double>{7, 7}));
}

TEST(LeastSquares, NotFiniteInputNeitherCrashesNorHangs)
{
    const double NaN = std::numeric_limits<double>::quiet_NaN();
    Matrix a = make_matrix(3, 2, {1, NaN, 2, 1, 0, 1});
    Matrix b = make_column({1, std::numeric_limits<double>::infinity(), 3});
    Matrix x = make_column({0, 0});
    leastsquare(a.get(), b.get(), x.get());
    EXPECT_TRUE(std::isnan(x->data[0]) || std::isnan(x->data[1]));
}

}  // namespace
