// Kernel discriminant analysis: KB and KW against their definitions on a
// hand-sized case, the directions against a Jacobi solution of the
// generalised eigenproblem, the selection, and the refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "plugins/warpfold/kernel_discriminant.h"
#include "tests/plugins/kernel_test_helpers.h"

extern "C" void* compute_warpfold(void** values, int* types, int count, int* resultType);
extern "C" void* execute_warpfold(void** values, int* types, int count, int* resultType);

namespace {

// KB and KW as the class table defines them: classes 1..C (a class without
// rows has the mean row 0), labels truncated.
void reference_scatters(const std::vector<double>& kc, const std::vector<double>& labels,
                        double epsilon, std::vector<double>* kb, std::vector<double>* kw)
{
    int n = static_cast<int>(labels.size()), classes = 0;
    for (double y : labels)
        classes = std::max(classes, static_cast<int>(y));
    std::vector<double> sums((n + 1) * (classes + 1), 0.0);
    auto at = [&](int g, int c) -> double& { return sums[g * (classes + 1) + c]; };
    for (int g = 0; g < n; ++g)
        for (int t = 0; t < n; ++t) {
            at(g, static_cast<int>(labels[t]) - 1) += kc[g * n + t];
            at(g, classes) += kc[g * n + t];
        }
    for (int t = 0; t < n; ++t) {
        at(n, static_cast<int>(labels[t]) - 1) += 1;
        at(n, classes) += 1;
    }
    for (int c = 0; c <= classes; ++c)
        if (at(n, c) == 0)
            at(n, c) = 1;
    for (int g = 0; g < n; ++g)
        for (int c = 0; c <= classes; ++c)
            at(g, c) /= at(n, c);
    kb->assign(n * n, 0.0);
    kw->assign(n * n, 0.0);
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) {
            for (int c = 0; c < classes; ++c)
                (*kb)[a * n + b] += (at(a, c) - at(a, classes)) * (at(b, c) - at(b, classes));
            for (int t = 0; t < n; ++t) {
                int c = static_cast<int>(labels[t]) - 1;
                (*kw)[a * n + b] += (kc[a * n + t] - at(a, c)) * (kc[b * n + t] - at(b, c)) / n;
            }
            if (a == b)
                (*kw)[a * n + b] += epsilon;
        }
}

std::vector<double> labels_of(const TestDatabase& db)
{
    std::vector<double> labels;
    for (int r = 0; r < db.matrix.rows; ++r)
        labels.push_back(db.values[r * db.matrix.cols + db.matrix.cols - 1]);
    return labels;
}

// Solutions of KB v = lambda KW v through KW^-1/2 KB KW^-1/2, eigenvalues
// descending, columns v (n x n) of unit length, first entry >= 0.
void generalised_eigen(const std::vector<double>& kb, const std::vector<double>& kw, int n,
                       std::vector<double>* values, std::vector<double>* vectors)
{
    std::vector<double> omega, u, half(n * n, 0.0), y;
    jacobi_eigen(kw, n, &omega, &u);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k)
                half[i * n + j] += u[i * n + k] * u[j * n + k] / std::sqrt(omega[k]);
    jacobi_eigen(product(product(half, kb, n, n, n), half, n, n, n), n, values, &y);
    *vectors = product(half, y, n, n, n);
    for (int k = 0; k < n; ++k) {
        double norm = 0.0;
        for (int i = 0; i < n; ++i)
            norm += (*vectors)[i * n + k] * (*vectors)[i * n + k];
        double sign = (*vectors)[k] < 0 ? -1.0 : 1.0;
        for (int i = 0; i < n; ++i)
            (*vectors)[i * n + k] *= sign / std::sqrt(norm);
    }
}

}  // namespace

// Labels 1, 2.7 and 4: class 2.7 counts as 2, class 3 has no rows.
TEST(WarpfoldScatters, MatchTheClassTableDefinitions)
{
    TestDatabase db(6, 3, {0.5, 1, 1, -1, 2, 2.7, 2, 0, 4, 1.5, -0.5, 1, 0, 0.25, 2.7, -2, 1, 4});
    struct Case {
        int code;
        double p[5];
        double epsilon;
    } cases[] = {{0, {0, 0, 0, 0, 0}, 0}, {2, {1.5, 0, 0, 0, 0}, 0.25}, {1, {2, 1, 0, 0, 0}, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        int n = 6;
        std::vector<double> kc = reference_centred_kernel(features_of(db), c.code, c.p);
        std::vector<double> kb, kw;
        reference_scatters(kc, labels_of(db), c.epsilon, &kb, &kw);
        OwnedMatrix y = make_matrix(n, 1), k = make_matrix(n, n);
        for (int t = 0; t < n; ++t)
            y->data[t] = labels_of(db)[t];
        std::copy(kc.begin(), kc.end(), k->data);
        ClassIndex classes = index_classes(y.get());
        ASSERT_EQ(classes.largest, 4);
        ASSERT_EQ(classes.present, (std::vector<int>{1, 2, 4}));
        OwnedMatrix sums = make_matrix(n, 4), d = make_matrix(n, 4);
        class_kernel_means(k.get(), classes, sums.get());
        between_factor(sums.get(), classes, d.get());
        within_residuals(k.get(), sums.get(), classes);
        std::vector<double> dd(d->data, d->data + n * 4), dt(4 * n), et(n * n);
        for (int a = 0; a < n; ++a)
            for (int c2 = 0; c2 < 4; ++c2)
                dt[c2 * n + a] = dd[a * 4 + c2];
        for (int a = 0; a < n; ++a)
            for (int t = 0; t < n; ++t)
                et[t * n + a] = k->data[a * n + t] / n;
        std::vector<double> between = product(dd, dt, n, 4, n);
        std::vector<double> within =
            product(std::vector<double>(k->data, k->data + n * n), et, n, n, n);
        for (int t = 0; t < n * n; ++t) {
            EXPECT_NEAR(between[t], kb[t], 1e-12) << t;
            EXPECT_NEAR(within[t] + (t % (n + 1) == 0 ? c.epsilon : 0.0), kw[t], 1e-12) << t;
        }
    }
}

// The stored rows are the generalised eigenvectors of the largest
// eigenvalues, each scaled to unit norm in the kernel's feature space.
TEST(WarpfoldTraining, DirectionsSolveTheGeneralisedEigenproblem)
{
    struct Case {
        int n, d, classes;
        const char* options;
        int code;
        double p[5];
        double epsilon;
        int expected_m;
    } cases[] = {
        {12, 3, 3, "kernel=exp sigma=2 epsilon=0.01", 2, {2, 0, 0, 0, 0}, 0.01, 2},
        {12, 3, 3, "kernel=exp sigma=2 epsilon=0.01 feanum=1", 2, {2, 0, 0, 0, 0}, 0.01, 1},
        {15, 2, 4, "epsilon=0.1", 0, {0, 0, 0, 0, 0}, 0.1, 2},  // bounded by d
        {10, 4, 2, "kernel=poly degree=2 epsilon=0.5", 1, {2, 1, 0, 0, 0}, 0.5, 1},
    };
    ScratchFolder folder;
    std::string file = folder.path("kda.xml");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        auto db = kernel_data(c.n, c.d, c.classes, 0.7, 300 + c.n);
        EXPECT_EQ(train_quietly(compute_warpfold, *db, file, c.options), "");
        Rows rows = features_of(*db);
        std::vector<double> kb, kw, values, vectors;
        reference_scatters(reference_centred_kernel(rows, c.code, c.p), labels_of(*db),
                           c.epsilon, &kb, &kw);
        generalised_eigen(kb, kw, c.n, &values, &vectors);
        std::string text = read_text(file);
        ASSERT_EQ(stored_list(text, "newcolumn"), std::vector<double>{double(c.expected_m)});
        auto stored = stored_rows(text, "V", c.n);
        for (int j = 0; j < c.expected_m; ++j) {
            EXPECT_GT(values[j], 1e-8);
            double r = 0.0;  // v' K v with the uncentred kernel
            for (int g = 0; g < c.n; ++g)
                for (int k = 0; k < c.n; ++k)
                    r += reference_kernel(&rows.x[g * c.d], &rows.x[k * c.d], c.d, c.code, c.p) *
                         vectors[g * c.n + j] * vectors[k * c.n + j];
            for (int g = 0; g < c.n; ++g)
                EXPECT_NEAR(stored[g][j], vectors[g * c.n + j] / std::sqrt(r),
                            1e-6 * std::fabs(vectors[j] / std::sqrt(r)) + 1e-9)
                    << "direction " << j << " row " << g;
        }
    }
}

TEST(WarpfoldTraining, RefusalsWriteNoModel)
{
    expect_training_refusals(compute_warpfold, {
        {4, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1, 2, 2, 2}, nullptr,
         "compute_warpfold: KW is singular; use the epsilon option\n"},
        {4, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1, 2, 2, 2}, "kernel=exp",
         "compute_warpfold: KW is singular; use the epsilon option\n"},
        {4, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1, 2, 2, 2}, "epsilon=0.1 feanum=0",
         "compute_warpfold: selected directions are not exist!\n"},
        {4, 3, {1, 2, 1, 1, 2, 2, 1, 2, 1, 1, 2, 2}, "epsilon=0.1",  // equal rows: KB = 0
         "compute_warpfold: selected directions are not exist!\n"},
        {4, 3, {1, 2, 1, 3, 1, 0, 0, 5, 1, 2, 2, 2}, "epsilon=0.1",
         "compute_warpfold: the class label in row 2 is not a whole number of 1 or more\n"},
        {4, 3, {1, 2, 1, 3, 1, 2, 0, 5, NAN, 2, 2, 2}, "epsilon=0.1",
         "compute_warpfold: the class label in row 3 is not a whole number of 1 or more\n"},
        {4, 3, {1, 2, 1, 3, INFINITY, 2, 0, 5, 1, 2, 2, 2}, "epsilon=0.1",
         "compute_warpfold: the feature in row 2, column 2 is not a finite number\n"},
        {4, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1, 2, 2, 2}, "epsilon=0.1 kernel=exp sigma=0",
         "compute_warpfold: sigma gives the exponential kernel no width\n"},
        {4, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1, 2, 2, 2}, "epsilon=inf",
         "compute_warpfold: the option epsilon (\"inf\") is not a finite number\n"},
        {4, 3, {1, 2, 1, 3, 1, 2, 0, 5, 1, 2, 2, 2}, "epsilon=0.1 kernel=poly delta=nan",
         "compute_warpfold: the option delta (\"nan\") is not a finite number\n"},
    });
}

TEST(WarpfoldProjection, MessagesNameTheExecuteFunction)
{
    std::vector<BrokenModel> cases = broken_models("WARPFOLD", "execute_warpfold", "V");
    expect_broken_models_refused(execute_warpfold, cases);
    ScratchFolder folder;
    std::string file = folder.path("model.xml");
    TestDatabase good(3, 2, {1, 1, 2, 1, 4, 2}), no_features(3, 1, {1, 2, 3});
    for (const RefusalCase& c : compute_argument_refusals("compute_warpfold",
                                                          "empty the input matrix", good,
                                                          no_features, file))
        expect_refusal(compute_warpfold, c, file);
    for (RefusalCase c : execute_argument_refusals("WARPFOLD", good, file)) {
        c.message.replace(0, std::string("Execute WARPFOLD").size(), "execute_warpfold");
        expect_refusal(execute_warpfold, c, file);
    }
}

TEST(WarpfoldTraining, UnwritableModelFileIsRefusedBeforeTraining)
{
    auto db = kernel_data(6, 2, 2, 0.5, 12);
    expect_outputs_refused(compute_warpfold, *db, "epsilon=0.1", "compute_warpfold");
}
