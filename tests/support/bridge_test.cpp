// The matrix-library bridge: hand-worked LU pivots and inverses, views
// against copies, the refusals, and calls outside the contract that end with
// status 1 and the routine's name instead of the library's own exit.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "reference.h"
#include "support/meschach_bridge.h"

namespace {

// Scaled partial pivoting: row 1 leads for [1 2; 3 4] (3/4 > 1/2), while
// [2 1; 4 3] ties (2/2 = 4/4) and keeps its order.
TEST(Bridge, LuPivotsAndInverseColumnsWorkedByHand)
{
    struct Case {
        std::vector<double> a, pivots, inverse;
    };
    const Case cases[] = {
        {{1, 2, 3, 4}, {3, 2.0 / 3}, {-2, 1, 1.5, -0.5}},
        {{2, 1, 4, 3}, {2, 1}, {1.5, -0.5, -2, 1}},
    };
    for (const Case& c : cases) {
        Matrix a = make_matrix(2, 2, c.a);
        LuFactors* lu = lu_factor(a.get());
        ASSERT_NE(lu, nullptr);
        EXPECT_EQ(values_of(a.get()), c.a) << "the factors live in a copy";
        for (int i = 0; i < 2; i++)
            EXPECT_NEAR(lu_pivot(lu, i), c.pivots[i], 1e-15) << i;
        EXPECT_EQ(lu_pivot(lu, 2), 0.0);
        EXPECT_EQ(lu_pivot(lu, -1), 0.0);
        for (int i = 0; i < 2; i++)
            lu_solve_unit(lu, i, a.get());
        for (int t = 0; t < 4; t++)
            EXPECT_NEAR(a->data[t], c.inverse[t], 1e-15) << t;
        lu_free(lu);
    }
}

TEST(Bridge, RefusalsAndNeutralValues)
{
    Matrix wide = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    DataMatrix empty = {};
    EXPECT_EQ(lu_factor(nullptr), nullptr);
    EXPECT_EQ(lu_factor(wide.get()), nullptr);
    EXPECT_EQ(lu_factor(&empty), nullptr);
    EXPECT_EQ(matrix_as_mat(&empty), nullptr);
    EXPECT_EQ(matrix_copy_to_mat(nullptr), nullptr);
    EXPECT_EQ(vector_as_vec(&empty), nullptr);
    EXPECT_EQ(triangular_diagonal_has_zero(nullptr), 1);
    const double x[] = {1, 2, 3}, y[] = {4, -5, 6};
    EXPECT_EQ(inner_product(x, y, 3), 12.0);
    EXPECT_EQ(inner_product(x, y, 0), 0.0);
    EXPECT_EQ(inner_product(nullptr, y, 3), 0.0);
    lu_free(nullptr);
    free_mat_copy(nullptr);
    free_mat_wrapper(nullptr);
}

// A view factorises the record it shares; a copy leaves it alone and gives
// the same factor, and a solve leaves b unchanged.
TEST(Bridge, ViewAndCopyFactoriseAlike)
{
    Matrix a = random_matrix(5, 3, 7), b = random_matrix(5, 1, 8);
    const std::vector<double> original = values_of(a.get()), rhs = values_of(b.get());
    Matrix diag_copy = make_column({0, 0, 0}), diag_view = make_column({0, 0, 0});
    Matrix x = make_column({0, 0, 0});
    MatView* copy = matrix_copy_to_mat(a.get());
    VecView* copy_diag = vector_as_vec(diag_copy.get());
    qr_factor(copy, copy_diag);
    EXPECT_EQ(values_of(a.get()), original);
    ASSERT_EQ(qr_solve_into(copy, copy_diag, b.get(), x.get()), 1);
    EXPECT_EQ(values_of(b.get()), rhs);
    std::vector<double> expected = normal_equations(a.get(), rhs);
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(x->data[i], expected[i], 1e-12) << i;
    MatView* view = matrix_as_mat(a.get());
    VecView* view_diag = vector_as_vec(diag_view.get());
    qr_factor(view, view_diag);
    EXPECT_NE(values_of(a.get()), original);
    EXPECT_EQ(values_of(diag_view.get()), values_of(diag_copy.get()));
    free_mat_copy(copy);
    free_mat_wrapper(view);
    free_vec_wrapper(copy_diag);
    free_vec_wrapper(view_diag);
}

// The library would end the process with status 0 on these; the bridge
// stops them first with status 1.
TEST(BridgeDeathTest, CallsOutsideTheContractEndWithStatusOne)
{
    Matrix r = make_matrix(2, 2, {1, 2, 0, 0});
    Matrix diag = make_column({1, 1});
    Matrix b = make_column({1, 1}), long_b = make_column({1, 1, 1}), x = make_column({0, 0});
    Matrix singular = make_matrix(2, 2, {1, 2, 2, 4});
    Matrix regular = make_matrix(2, 2, {1, 2, 3, 4});
    struct Case {
        std::function<void()> call;
        std::string routine;
    };
    const Case cases[] = {
        {[&] { qr_factor(nullptr, vector_as_vec(diag.get())); }, "QRfactor"},
        {[&] { qr_solve_into(matrix_as_mat(r.get()), vector_as_vec(diag.get()), b.get(), x.get()); },
         "QRsolve: zero"},
        {[&] { qr_solve_into(matrix_as_mat(r.get()), vector_as_vec(diag.get()), long_b.get(),
                             x.get()); },
         "QRsolve"},
        {[&] { lu_solve_unit(lu_factor(singular.get()), 0, singular.get()); }, "LUsolve: zero"},
        {[&] { lu_solve_unit(lu_factor(regular.get()), 2, regular.get()); }, "LUsolve"},
        {[&] { lu_solve_unit(lu_factor(regular.get()), 0, x.get()); }, "LUsolve"},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(c.call(), testing::ExitedWithCode(1), c.routine);
}

}  // namespace
