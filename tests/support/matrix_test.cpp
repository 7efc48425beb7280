// Matrix records: allocation, splitting, class count, element access,
// arithmetic, product and the label check.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "reference.h"
#include "support/matrix.h"

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

TEST(MatrixRecord, RefusesSizesThatAreNotPositiveOrOverflow)
{
    EXPECT_EQ(matrix_alloc(0, 3), nullptr);
    EXPECT_EQ(matrix_alloc(3, -1), nullptr);
    EXPECT_EQ(matrix_alloc(INT_MAX, INT_MAX), nullptr);
    EXPECT_EQ(matrix_entry_count(INT_MAX, INT_MAX), 0u);
    EXPECT_EQ(matrix_entry_count(70000, 70000), 4900000000u);

    Matrix m = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    matrix_resize(m.get(), INT_MAX, INT_MAX);
    EXPECT_EQ(m->rows, 0);
    EXPECT_EQ(m->cols, 0);
    EXPECT_EQ(m->data, nullptr);
    matrix_free(nullptr);
}

TEST(MatrixRecord, ResizeKeepsContentsOnlyAtTheSameSize)
{
    Matrix m = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    double* before = m->data;
    matrix_resize(m.get(), 2, 3);
    EXPECT_EQ(m->data, before);
    EXPECT_EQ(values_of(m.get()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
    matrix_resize(m.get(), 3, 2);
    EXPECT_EQ(m->rows, 3);
    EXPECT_EQ(m->cols, 2);
    ASSERT_NE(m->data, nullptr);
}

TEST(MatrixRecord, SplitLabelColumnCompactsInPlace)
{
    Matrix db = make_matrix(3, 4, {1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30});
    Matrix labels(matrix_alloc(1, 1));
    split_label_column(db.get(), labels.get());
    EXPECT_EQ(db->cols, 3);
    EXPECT_EQ(std::vector<double>(db->data, db->data + 9),
              (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(values_of(labels.get()), (std::vector<double>{10, 20, 30}));

    Matrix column = make_column({1, 2, 3});
    split_label_column(column.get(), labels.get());
    EXPECT_EQ(column->cols, 1);
    EXPECT_EQ(values_of(column.get()), (std::vector<double>{1, 2, 3}));
}

TEST(MatrixRecord, SplitFeaturesLabelsLeavesTheDatabase)
{
    Matrix db = make_matrix(2, 3, {1, 2, 1, 3, 4, 2});
    Matrix features(matrix_alloc(1, 1)), labels(matrix_alloc(1, 1));
    split_features_labels(db.get(), features.get(), labels.get());
    EXPECT_EQ(values_of(features.get()), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(values_of(labels.get()), (std::vector<double>{1, 2}));
    EXPECT_EQ(values_of(db.get()), (std::vector<double>{1, 2, 1, 3, 4, 2}));

    // An output that is the database itself would lose its data mid-copy.
    split_features_labels(db.get(), db.get(), labels.get());
    EXPECT_EQ(values_of(db.get()), (std::vector<double>{1, 2, 1, 3, 4, 2}));
}

TEST(MatrixRecord, MaxLabel)
{
    struct Case {
        int rows, cols;
        std::vector<double> values;
        int expected;
    } cases[] = {
        {3, 1, {1, 3, 2}, 3},
        {2, 1, {0.5, -2}, 0},
        {2, 2, {1, 2, 3, 4}, 0},
        {1, 1, {2.7}, 2},
        {3, 1, {NaN, 2, NaN}, 2},
        {3, 1, {1e10, 3, INF}, 3},
        {2, 1, {-INF, 2147483647.5}, 2147483647},
    };
    for (const Case& c : cases) {
        Matrix m = make_matrix(c.rows, c.cols, c.values);
        EXPECT_EQ(max_label(m.get()), c.expected) << c.values[0];
    }
    EXPECT_EQ(max_label(nullptr), 0);
}

TEST(MatrixRecord, CheckLabels)
{
    struct Case {
        std::vector<double> labels;
        int expected;
        const char* message;
    } cases[] = {
        {{1, 2, 3}, 1, ""},
        {{1, 2.5, 3}, 1, ""},
        {{1, 0.5}, 0, "train: the class label in row 2 is not a whole number of 1 or more\n"},
        {{NaN}, 0, "train: the class label in row 1 is not a whole number of 1 or more\n"},
        {{1, 1, INF}, 0, "train: the class label in row 3 is not a whole number of 1 or more\n"},
        {{-1}, 0, "train: the class label in row 1 is not a whole number of 1 or more\n"},
        {{3e9}, 0, "train: the class label in row 1 is not a whole number of 1 or more\n"},
    };
    for (const Case& c : cases) {
        std::vector<double> rows;
        for (double label : c.labels) {
            rows.push_back(0.25);
            rows.push_back(label);
        }
        Matrix db = make_matrix(static_cast<int>(c.labels.size()), 2, rows);
        testing::internal::CaptureStderr();
        EXPECT_EQ(check_labels(db.get(), "train"), c.expected);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(check_labels(nullptr, "train"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "train: empty database matrix\n");
}

TEST(MatrixElements, AccessChecksRowAndColumn)
{
    Matrix v = make_matrix(1, 5, {1, 2, 3, 4, 5});
    EXPECT_EQ(matrix_get(v.get(), 0, 2), 3.0);
    EXPECT_EQ(matrix_get(v.get(), 2, 0), 0.0);
    EXPECT_EQ(matrix_get(v.get(), 0, 5), 0.0);
    EXPECT_EQ(matrix_get(nullptr, 0, 0), 0.0);
    matrix_set(v.get(), 0, 4, 9);
    matrix_set(v.get(), 1, 0, 9);
    matrix_add_to(v.get(), 0, 0, 0.5);
    matrix_add_to(v.get(), 0, -1, 0.5);
    EXPECT_EQ(values_of(v.get()), (std::vector<double>{1.5, 2, 3, 4, 9}));
    EXPECT_EQ(matrix_row(v.get(), 1), nullptr);
    EXPECT_EQ(matrix_row(v.get(), 0), v->data);

    matrix_set_row(v.get(), 0, std::vector<double>{5, 4, 3, 2, 1}.data());
    matrix_set_row(v.get(), 1, std::vector<double>{0, 0, 0, 0, 0}.data());
    EXPECT_EQ(values_of(v.get()), (std::vector<double>{5, 4, 3, 2, 1}));
}

TEST(MatrixElements, RecordsWithoutOwnStorage)
{
    DataMatrix m = {0, 0, nullptr};
    matrix_alloc_data(&m, 2, 2);
    ASSERT_NE(m.data, nullptr);
    EXPECT_EQ(m.rows, 2);
    matrix_release_data(&m);
    EXPECT_EQ(m.data, nullptr);
    EXPECT_EQ(m.rows, 0);

    DataMatrix empty = {3, 4, nullptr};
    matrix_release_data(&empty);
    EXPECT_EQ(empty.rows, 3);

    Matrix db = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    DataMatrix row;
    EXPECT_EQ(matrix_wrap(&row, 1, 3, matrix_row(db.get(), 1)), &row);
    EXPECT_EQ(matrix_get(&row, 0, 2), 6.0);
    EXPECT_EQ(matrix_wrap(nullptr, 1, 3, db->data), nullptr);
}

TEST(MatrixElements, EntryWiseArithmeticNeedsEqualSizes)
{
    typedef void (*Op)(DataMatrix*, const DataMatrix*);
    struct Case {
        Op op;
        std::vector<double> expected;
    } cases[] = {
        {matrix_add, {11, 22, 33, 44}},
        {matrix_subtract, {-9, -18, -27, -36}},
        {matrix_multiply_elements, {10, 40, 90, 160}},
        {matrix_copy, {10, 20, 30, 40}},
    };
    for (const Case& c : cases) {
        Matrix a = make_matrix(2, 2, {1, 2, 3, 4});
        Matrix b = make_matrix(2, 2, {10, 20, 30, 40});
        Matrix wrong = make_matrix(1, 4, {10, 20, 30, 40});
        c.op(a.get(), wrong.get());
        c.op(a.get(), nullptr);
        EXPECT_EQ(values_of(a.get()), (std::vector<double>{1, 2, 3, 4}));
        c.op(a.get(), b.get());
        EXPECT_EQ(values_of(a.get()), c.expected);
    }
}

TEST(MatrixElements, SumsNormsAndQuadraticForm)
{
    Matrix a = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(matrix_sum(a.get()), 21.0);
    EXPECT_EQ(matrix_sum(nullptr), 0.0);
    EXPECT_EQ(matrix_scale(a.get(), 2.0), a.get());
    EXPECT_EQ(matrix_sum(a.get()), 42.0);
    EXPECT_EQ(matrix_scale(nullptr, 2.0), nullptr);

    Matrix row = make_matrix(1, 2, {3, 4});
    Matrix column = make_column({3, 4});
    Matrix square = make_matrix(2, 2, {3, 4, 0, 0});
    EXPECT_EQ(vector_norm(row.get()), 5.0);
    EXPECT_EQ(vector_norm(column.get()), 5.0);
    EXPECT_EQ(vector_norm(square.get()), 0.0);

    // x' a y with a = [[1 2 3] [4 5 6]], x = (1, -1), y = (1, 0, 2): -9.
    Matrix b = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    Matrix x = make_column({1, -1});
    Matrix y = make_column({1, 0, 2});
    EXPECT_EQ(quadratic_form(b.get(), x.get(), y.get()), -9.0);
    EXPECT_EQ(quadratic_form(b.get(), y.get(), x.get()), 0.0);
    EXPECT_EQ(quadratic_form(b.get(), x.get(), b.get()), 0.0);
    EXPECT_EQ(quadratic_form(nullptr, x.get(), y.get()), 0.0);

    EXPECT_TRUE(all_finite(b.get()));
    EXPECT_TRUE(all_finite(nullptr));
    for (double bad : {NaN, INF, -INF}) {
        Matrix last = make_matrix(2, 2, {1, 2, 3, bad});
        EXPECT_FALSE(all_finite(last.get())) << bad;
    }
}

TEST(MatrixProduct, ComputesIntoAnExistingRecord)
{
    Matrix a = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    Matrix b = make_matrix(3, 2, {1, 0, 0, 1, 1, 1});
    Matrix c = make_matrix(2, 2, {0, 0, 0, 0});
    EXPECT_EQ(matrix_multiply(a.get(), b.get(), c.get()), 1);
    EXPECT_EQ(values_of(c.get()), (std::vector<double>{4, 5, 10, 11}));

    // c may be a when b is square; a row buffer keeps a's row intact.
    Matrix sq = make_matrix(3, 3, {0, 1, 0, 0, 0, 1, 1, 0, 0});
    EXPECT_EQ(matrix_multiply(a.get(), sq.get(), a.get()), 1);
    EXPECT_EQ(values_of(a.get()), (std::vector<double>{3, 1, 2, 6, 4, 5}));

    // c the same as b, or sizes that do not fit: refused, c untouched.
    Matrix a2 = make_matrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(matrix_multiply(a2.get(), sq.get(), sq.get()), 0);
    EXPECT_EQ(values_of(sq.get()), (std::vector<double>{0, 1, 0, 0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(matrix_multiply(a2.get(), b.get(), c.get()), 0);
    EXPECT_EQ(matrix_multiply(b.get(), b.get(), c.get()), 0);
    EXPECT_EQ(matrix_multiply(nullptr, b.get(), c.get()), 0);
    EXPECT_EQ(values_of(c.get()), (std::vector<double>{4, 5, 10, 11}));
}

}  // namespace
