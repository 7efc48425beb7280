// The capped eigen iterations on matrices that defeat plain shifted QR, at
// extreme scales, with repeated eigenvalues and with badly balanced rows;
// eigenvectors of symmetric and general matrices by their residuals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <string>

#include "reference.h"
#include "support/eigen.h"
#include "support/random.h"
#include "support/tridiagonal.h"

namespace {

// Symmetric n x n with about a third of its entries nonzero, or with a zero
// diagonal, entries from {-1, 0.01, 1, 2.5}-like values.
Matrix sparse_symmetric(int n, std::mt19937& engine, bool zero_diagonal)
{
    std::uniform_int_distribution<int> pick(0, 5);
    const double choices[] = {0, 0, 1, -1, 0.01, 2.5};
    Matrix a = make_matrix(n, n, std::vector<double>(n * n, 0.0));
    for (int i = 0; i < n; i++)
        for (int j = 0; j <= i; j++) {
            double v = (zero_diagonal && i == j) ? 0.0 : choices[pick(engine)];
            a->data[i * n + j] = a->data[j * n + i] = v;
        }
    return a;
}

// Both eigenvalue routines against Jacobi: the symmetric one in order, the
// general one as a set with imaginary parts at rounding level (the values of
// a symmetric matrix are well determined for any method that is backward
// stable).
void expect_jacobi(const DataMatrix* a, const std::string& label)
{
    int n = a->rows;
    double tolerance = 1e-12 * std::max(1.0, largest_entry(a));
    std::vector<double> expected = jacobi_eigenvalues(a);
    Matrix symm = make_column(std::vector<double>(n, 7));
    ASSERT_EQ(matrix_eigenvalues_symm(a, symm.get()), 1) << label;
    Matrix re = make_column(std::vector<double>(n, 7)), im = make_column(std::vector<double>(n, 7));
    ASSERT_EQ(matrix_eigenvalues(a, re.get(), im.get()), 1) << label;
    std::vector<double> general = values_of(re.get());
    std::sort(general.rbegin(), general.rend());
    for (int i = 0; i < n; i++) {
        EXPECT_NEAR(symm->data[i], expected[i], tolerance) << label << " value " << i;
        EXPECT_NEAR(general[i], expected[i], tolerance) << label;
        EXPECT_NEAR(im->data[i], 0.0, tolerance) << label;
    }
}

TEST(EigenIteration, MatricesThatStallPlainShiftsMatchJacobi)
{
    std::vector<std::pair<std::string, Matrix>> cases;
    cases.emplace_back("stall", make_matrix(3, 3, {0, 0.01, 0, 0.01, 0, 1, 0, 1, 0}));
    cases.emplace_back("tiny corner",
                       make_matrix(3, 3, {0, 0, -2.24e-49, 0, 0, -1, -2.24e-49, -1, 0}));
    cases.emplace_back("one-hot kernel", make_matrix(3, 3, {2. / 3, -1. / 3, -1. / 3, -1. / 3, 2. / 3,
                                                           -1. / 3, -1. / 3, -1. / 3, 2. / 3}));
    std::mt19937 engine(4);
    for (int round = 0; round < 400; round++) {
        int n = 2 + round % 5;
        cases.emplace_back("sparse " + std::to_string(round),
                           sparse_symmetric(n, engine, round % 2 == 1));
    }
    for (auto& [label, a] : cases)
        expect_jacobi(a.get(), label);
}

// A V = V diag(evals) to 1e-10 |A| (plus the precision of the values when
// they are known only to a coarser spacing), unit columns with first entry
// >= 0, and (symmetric a) V'V = I.
void expect_vectors(const DataMatrix* a, const DataMatrix* evals, const DataMatrix* v,
                    bool orthogonal, const std::string& label, double spacing = 0.0)
{
    int n = a->rows, k = v->cols;
    double scale = largest_entry(a);
    for (int c = 0; c < k; c++) {
        std::vector<double> column = column_of(v, c);
        std::vector<double> av = times(a, column);
        for (int r = 0; r < n; r++)
            EXPECT_LE(std::fabs(av[r] - evals->data[c] * column[r]), 1e-10 * scale + spacing)
                << label << " column " << c;
        EXPECT_GE(column[0], 0.0) << label;
        for (int d = 0; d <= c; d++) {
            double dot = 0;
            for (int r = 0; r < n; r++)
                dot += column[r] * v->data[r * k + d];
            if (orthogonal || d == c) {
                EXPECT_NEAR(dot, d == c ? 1.0 : 0.0, 1e-10) << label << " " << c << "," << d;
            }
        }
    }
}

// m times 2^-exponent entry by entry: exact, also for subnormal entries.
Matrix times_power_of_two(const DataMatrix* m, int exponent)
{
    Matrix scaled = make_matrix(m->rows, m->cols, values_of(m));
    for (int t = 0; t < m->rows * m->cols; t++)
        scaled->data[t] = std::ldexp(scaled->data[t], -exponent);
    return scaled;
}

// At 1e-315 the entries are subnormal, and so are the eigenvalues, known
// only to the spacing of those numbers; the vectors are checked on exact
// copies of a and the values brought to unit scale, where the check's own
// products do not underflow. The 4 x 4 in units of the smallest subnormal
// has eigenvalues 2000.76, 2000.43, 1999.52 and -2000.70, given as 2001,
// 2000, 2000 and -2001, yet needs the orthogonal vectors of distinct ones.
TEST(EigenIteration, SymmetricVectorsAtEveryScale)
{
    Matrix random = symmetrised(random_matrix(7, 7, 71).get());
    Matrix clustered = make_matrix(4, 4, {15, 918, 1338, -1170, 918, 1576, -619, 541, 1338,
                                          -619, 1098, 788, -1170, 541, 788, 1311});
    const struct { const DataMatrix* base; double scale; } cases[] = {
        {random.get(), 1e-315}, {random.get(), 1e-150}, {random.get(), 1e-10}, {random.get(), 1.0},
        {random.get(), 1e150},  {clustered.get(), DBL_TRUE_MIN}, {clustered.get(), 8 * DBL_TRUE_MIN},
        {clustered.get(), 1.0}};
    for (const auto& c : cases) {
        int n = c.base->rows;
        Matrix a = make_matrix(n, n, values_of(c.base));
        for (int t = 0; t < n * n; t++)
            a->data[t] *= c.scale;
        Matrix values = make_column(std::vector<double>(n, 0));
        ASSERT_EQ(matrix_eigenvalues_symm(a.get(), values.get()), 1);
        Matrix v = make_matrix(n, n, std::vector<double>(n * n, 0));
        ASSERT_EQ(matrix_eigenvectors(a.get(), values.get(), v.get()), 1) << c.scale;
        int exponent;
        std::frexp(largest_entry(a.get()), &exponent);
        expect_vectors(times_power_of_two(a.get(), exponent).get(),
                       times_power_of_two(values.get(), exponent).get(), v.get(), true,
                       "n " + std::to_string(n) + ", scale " + std::to_string(c.scale),
                       std::ldexp(DBL_TRUE_MIN, -exponent));
    }
}

// What the eigenvector call returns for a, its start vectors drawn from the
// same point of the sequence each time.
std::vector<double> vectors_of(const DataMatrix* a, const DataMatrix* evals,
                               const KeptReduction* kept)
{
    Matrix v = make_matrix(a->rows, evals->rows, std::vector<double>(a->rows * evals->rows, 0));
    seed_random15(5);
    EXPECT_EQ(matrix_eigenvectors(a, evals, v.get(), kept), 1);
    return values_of(v.get());
}

TEST(EigenIteration, RepeatedEigenvaluesGiveOrthogonalVectors)
{
    struct Case {
        std::string label;
        Matrix a;
    };
    std::vector<Case> cases;
    // J + I: eigenvalues 5 and 1 three times.
    cases.push_back({"J + I", make_matrix(4, 4, {2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 2})});
    cases.push_back({"identity", make_matrix(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1})});
    // The centred linear kernel of one-hot rows: 0 once, 1 twice.
    cases.push_back({"one-hot", make_matrix(3, 3, {2. / 3, -1. / 3, -1. / 3, -1. / 3, 2. / 3,
                                                   -1. / 3, -1. / 3, -1. / 3, 2. / 3})});
    // J + I with one entry off by a rounding of a product: still symmetric
    // to both routines, so the vectors of 1 stay orthogonal.
    cases.push_back({"J + I, a01 + 4e-15",
                     make_matrix(4, 4, {2, 1 + 4e-15, 1, 1, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 2})});
    for (Case& c : cases) {
        int n = c.a->rows;
        Matrix values = make_column(std::vector<double>(n, 0));
        KeptReduction kept;
        ASSERT_EQ(matrix_eigenvalues_symm(c.a.get(), values.get(), &kept), 1);
        // With the kept form and without it the same judgement, the same vectors.
        std::vector<double> found = vectors_of(c.a.get(), values.get(), &kept);
        EXPECT_EQ(found, vectors_of(c.a.get(), values.get(), nullptr)) << c.label;
        expect_vectors(c.a.get(), values.get(), make_matrix(n, n, found).get(), true, c.label);
    }
}

// S diag(values) S^-1 for a random S: a general matrix with known real
// eigenvalues.
Matrix similar_to_diagonal(const std::vector<double>& values, unsigned seed)
{
    int n = static_cast<int>(values.size());
    Matrix s = random_matrix(n, n, seed);
    for (int i = 0; i < n; i++)
        s->data[i * n + i] += 3.0;
    Matrix inverse = make_matrix(n, n, values_of(s.get()));
    EXPECT_NE(matrix_invert(inverse.get()), 0.0);
    Matrix a(matrix_alloc(n, n));
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            double sum = 0;
            for (int k = 0; k < n; k++)
                sum += s->data[i * n + k] * values[k] * inverse->data[k * n + j];
            a->data[i * n + j] = sum;
        }
    return a;
}

TEST(EigenIteration, GeneralMatricesValuesAndVectors)
{
    struct Case {
        std::vector<double> values;
        std::vector<double> row_scales;  // a := D^-1 a D, which keeps the eigenvalues
    } cases[] = {
        {{4, 2, 1, -3}, {1, 1, 1, 1}},
        {{4, 2, 1, -3}, {1e8, 1, 1e-8, 1e4}},
        {{10, 0.5, 0.25, 0.125, -7}, {1, 1e-6, 1e6, 1, 1e3}},
    };
    for (const Case& c : cases) {
        int n = static_cast<int>(c.values.size());
        Matrix a = similar_to_diagonal(c.values, 80 + n);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                a->data[i * n + j] *= c.row_scales[j] / c.row_scales[i];
        Matrix re = make_column(std::vector<double>(n, 0)), im = make_column(std::vector<double>(n, 0));
        ASSERT_EQ(matrix_eigenvalues(a.get(), re.get(), im.get()), 1);
        std::vector<double> found = values_of(re.get()), expected = c.values;
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        for (int i = 0; i < n; i++) {
            EXPECT_NEAR(found[i], expected[i], 1e-9 * std::fabs(expected[i])) << n;
            EXPECT_EQ(im->data[i], 0.0);
        }
        if (c.row_scales[1] != 1)
            continue;  // vectors of a badly balanced matrix are not well determined
        Matrix v = make_matrix(n, n, std::vector<double>(n * n, 0));
        ASSERT_EQ(matrix_eigenvectors(a.get(), re.get(), v.get()), 1);
        expect_vectors(a.get(), re.get(), v.get(), false, "general " + std::to_string(n));
    }
}

// The rotation has no real eigenvector: the real part 0 of its eigenvalues
// gives iterates that turn forever, and the call is refused, not reported as
// done with whatever the last pass held.
TEST(EigenIteration, NoEigenvectorIsAFailure)
{
    Matrix rotation = make_matrix(2, 2, {0, -1, 1, 0});
    Matrix evals = make_column({0});
    Matrix vecs = make_matrix(2, 1, {7, 7});
    testing::internal::CaptureStderr();
    EXPECT_EQ(matrix_eigenvectors(rotation.get(), evals.get(), vecs.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "matrix_eigenvectors: the inverse iteration found no eigenvector\n");
    EXPECT_EQ(values_of(vecs.get()), (std::vector<double>{7, 7}));
}

}  // namespace

// A kept reduction gives the vectors a fresh one gives, bit for bit, and is
// ignored for any matrix other than the one it was made from, even in the
// same storage.
TEST(EigenIteration, KeptReductionServesOnlyItsOwnMatrix)
{
    const int n = 9;
    Matrix a = symmetrised(random_matrix(n, n, 91).get());
    Matrix values = make_column(std::vector<double>(n, 0));
    KeptReduction kept;
    ASSERT_EQ(matrix_eigenvalues_symm(a.get(), values.get(), &kept), 1);
    ASSERT_NE(kept.form, nullptr);
    Matrix top = make_column({values->data[0], values->data[1], values->data[n - 1]});
    EXPECT_EQ(vectors_of(a.get(), top.get(), &kept), vectors_of(a.get(), top.get(), nullptr));

    Matrix copy = make_matrix(n, n, values_of(a.get()));
    EXPECT_EQ(vectors_of(copy.get(), top.get(), &kept), vectors_of(copy.get(), top.get(), nullptr))
        << "another storage";
    a->data[3 * n + 5] += 0.25;
    a->data[5 * n + 3] += 0.25;
    Matrix changed = make_column(std::vector<double>(n, 0));
    ASSERT_EQ(matrix_eigenvalues_symm(a.get(), changed.get()), 1);
    Matrix first = make_column({changed->data[0]});
    std::vector<double> found = vectors_of(a.get(), first.get(), &kept);
    EXPECT_EQ(found, vectors_of(a.get(), first.get(), nullptr)) << "changed entries";
    expect_vectors(a.get(), first.get(), make_matrix(n, 1, found).get(), true, "changed entries");
}

// A matrix that is not symmetric keeps its general eigenvectors when an
// eigenvalue call has kept the form of its symmetric part.
TEST(EigenIteration, KeptReductionOfAGeneralMatrixIsNotUsed)
{
    Matrix a = make_matrix(2, 2, {2, 1, 0, 3});  // eigenvectors (1, 0) and (1, 1) / sqrt 2
    Matrix symmetric_values = make_column({0, 0});
    KeptReduction kept;
    ASSERT_EQ(matrix_eigenvalues_symm(a.get(), symmetric_values.get(), &kept), 1);
    Matrix values = make_column({3, 2});
    std::vector<double> found = vectors_of(a.get(), values.get(), &kept);
    const double h = 1 / std::sqrt(2.0);
    std::vector<double> expected = {h, 1, h, 0};
    for (int t = 0; t < 4; t++)
        EXPECT_NEAR(found[t], expected[t], 1e-9) << t;
}

// The eigenvector call takes the form it is handed rather than reducing a
// again, yet checks what it finds against a: given the form of another
// matrix b under a's fingerprint (as entries changed without changing the
// fingerprint would give), it refuses b's eigenvectors, for b's eigenvalues
// as for a's, and leaves vecs as it was.
TEST(EigenIteration, VectorsOfAForeignKeptFormAreRefused)
{
    const int n = 6;
    Matrix a = symmetrised(random_matrix(n, n, 61).get());
    Matrix b = symmetrised(random_matrix(n, n, 62).get());
    Matrix values_a = make_column(std::vector<double>(n, 0));
    Matrix values_b = make_column(std::vector<double>(n, 0));
    KeptReduction kept_a, kept_b;
    ASSERT_EQ(matrix_eigenvalues_symm(a.get(), values_a.get(), &kept_a), 1);
    ASSERT_EQ(matrix_eigenvalues_symm(b.get(), values_b.get(), &kept_b), 1);
    kept_a.form = std::move(kept_b.form);
    for (const DataMatrix* values : {values_a.get(), values_b.get()}) {
        Matrix vecs = make_matrix(n, n, std::vector<double>(n * n, 7));
        testing::internal::CaptureStderr();
        EXPECT_EQ(matrix_eigenvectors(a.get(), values, vecs.get(), &kept_a), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "matrix_eigenvectors: the inverse iteration found no eigenvector\n");
        EXPECT_EQ(values_of(vecs.get()), std::vector<double>(n * n, 7));
    }
}
