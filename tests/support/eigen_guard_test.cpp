// Eigenvalue iterations that never end in the matrix library: the bounded
// call and its retry give Jacobi's values, the refusal when both attempts run
// out, and the library still working afterwards.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "reference.h"
#include "support/eigen.h"
#include "support/meschach_bridge.h"

namespace {

// The library's Schur iteration never ends on this one.
const std::vector<double> schur_stall = {0, 0.01, 0, 0.01, 0, 1, 0, 1, 0};
// Nor its symmetric tridiagonal iteration on this one.
const std::vector<double> symmeig_stall = {0, -1, 1e-53, -1, 1, -1e-53, 1e-53, -1e-53, 0};

struct Eigenvalues {
    int returned;               // the routine's result
    std::vector<double> re;     // real parts (symmetric: the values)
    std::vector<double> im;     // imaginary parts; empty for symmetric
    std::string message;        // what the routine printed
};

Eigenvalues general_of(const DataMatrix* a)
{
    Matrix re = make_column(std::vector<double>(a->rows, 7));
    Matrix im = make_column(std::vector<double>(a->rows, 7));
    testing::internal::CaptureStderr();
    int returned = matrix_eigenvalues(a, re.get(), im.get());
    return {returned, values_of(re.get()), values_of(im.get()),
            testing::internal::GetCapturedStderr()};
}

Eigenvalues symmetric_of(const DataMatrix* a)
{
    Matrix values = make_column(std::vector<double>(a->rows, 7));
    testing::internal::CaptureStderr();
    int returned = matrix_eigenvalues_symm(a, values.get());
    return {returned, values_of(values.get()), {}, testing::internal::GetCapturedStderr()};
}

void expect_jacobi_values(const DataMatrix* a, const Eigenvalues& found)
{
    EXPECT_EQ(found.returned, 1);
    EXPECT_EQ(found.message, "");
    std::vector<double> sorted = found.re;
    std::sort(sorted.rbegin(), sorted.rend());
    std::vector<double> expected = jacobi_eigenvalues(a);
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_NEAR(sorted[i], expected[i], 1e-12) << i;
    for (double im : found.im)
        EXPECT_NEAR(im, 0.0, 1e-12);
}

void expect_same(const Eigenvalues& a, const Eigenvalues& b)
{
    EXPECT_EQ(a.returned, b.returned);
    EXPECT_EQ(a.re, b.re);
    EXPECT_EQ(a.im, b.im);
    EXPECT_EQ(a.message, b.message);
}

TEST(EigenGuard, StalledIterationsEndAndLeaveTheLibraryWorking)
{
    // Ordinary matrices of a smaller, the same and a larger order than the
    // stalled ones, so the library's work storage is reused and regrown.
    std::vector<Matrix> ordinary;
    for (int n : {2, 3, 8})
        ordinary.push_back(symmetrised(random_matrix(n, n, 90 + n).get()));
    std::vector<Eigenvalues> before;
    for (const Matrix& m : ordinary) {
        before.push_back(general_of(m.get()));
        before.push_back(symmetric_of(m.get()));
    }

    Matrix general = make_matrix(3, 3, schur_stall);
    Matrix symmetric = make_matrix(3, 3, symmeig_stall);
    expect_jacobi_values(general.get(), general_of(general.get()));
    Eigenvalues symm = symmetric_of(symmetric.get());
    expect_jacobi_values(symmetric.get(), symm);
    EXPECT_TRUE(std::is_sorted(symm.re.rbegin(), symm.re.rend()));
    EXPECT_EQ(values_of(general.get()), schur_stall);
    EXPECT_EQ(values_of(symmetric.get()), symmeig_stall);

    for (size_t i = 0; i < ordinary.size(); i++) {
        expect_same(general_of(ordinary[i].get()), before[2 * i]);
        expect_same(symmetric_of(ordinary[i].get()), before[2 * i + 1]);
        expect_jacobi_values(ordinary[i].get(), before[2 * i]);
    }
}

int spent_signals = 0;
void count_signal(int) { spent_signals++; }

TEST(EigenGuard, CallerSignalHandlerAndTimerAreRestored)
{
    struct sigaction mine {}, previous {};
    mine.sa_handler = count_signal;
    sigemptyset(&mine.sa_mask);
    sigaction(SIGVTALRM, &mine, &previous);
    itimerval long_timer{{0, 0}, {1000, 0}}, previous_timer{};
    setitimer(ITIMER_VIRTUAL, &long_timer, &previous_timer);

    // A budget of a clock tick: the stalled call runs out within milliseconds.
    Matrix general = make_matrix(3, 3, schur_stall);
    scale_eigen_budget(1e-9);
    general_of(general.get());
    scale_eigen_budget(1.0);

    struct sigaction now {};
    sigaction(SIGVTALRM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, count_signal);
    itimerval left{};
    getitimer(ITIMER_VIRTUAL, &left);
    EXPECT_GT(left.it_value.tv_sec, 900);
    EXPECT_EQ(spent_signals, 0);
    setitimer(ITIMER_VIRTUAL, &previous_timer, nullptr);
    sigaction(SIGVTALRM, &previous, nullptr);
}

TEST(EigenGuard, BothAttemptsRunningOutIsRefused)
{
    // With the budget shrunk to a clock tick, orders whose iterations take
    // tens of milliseconds run out twice, wherever the library happens to be.
    struct Case {
        int n;
        bool symmetric;
        std::string message;
    } cases[] = {
        {300, false, "matrix_eigenvalues: the eigenvalue iteration does not converge\n"},
        {400, true, "matrix_eigenvalues_symm: the eigenvalue iteration does not converge\n"},
    };
    for (const Case& c : cases) {
        Matrix a = symmetrised(random_matrix(c.n, c.n, 7).get());
        auto compute = [&] { return c.symmetric ? symmetric_of(a.get()) : general_of(a.get()); };
        Eigenvalues before = compute();
        for (int round = 0; round < 2; round++) {
            scale_eigen_budget(1e-9);
            Eigenvalues refused = compute();
            scale_eigen_budget(1.0);
            EXPECT_EQ(refused.returned, 0);
            EXPECT_EQ(refused.message, c.message);
            EXPECT_EQ(refused.re, std::vector<double>(c.n, 7));
            if (!c.symmetric) {
                EXPECT_EQ(refused.im, std::vector<double>(c.n, 7));
            }
        }
        expect_same(compute(), before);
    }
}

}  // namespace
