// Times the symmetric eigen routines on centred exponential-kernel matrices
// at n = 500, 1000 and 2000: the eigenvalues alone, the eigenvalues with the
// reduction kept plus the ten leading eigenvectors (the kernel plug-ins'
// use), and the whole decomposition. Each line also gives the largest
// residual |A v - L v| / |A| of the vectors found, so a fast wrong answer
// shows.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <vector>

#include "support/eigen.h"
#include "support/kernel_matrix.h"
#include "support/matrix.h"
#include "support/random.h"

namespace {

double seconds(const std::function<void()>& work)
{
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The centred exponential kernel (width 1) of n samples of 10 features.
DataMatrix* centred_kernel(int n)
{
    DataMatrix* samples = matrix_alloc(n, 10);
    for (int t = 0; t < n * 10; t++)
        samples->data[t] = random15() / 32767.0 - 0.5;
    DataMatrix* out = matrix_alloc(n, n);
    KernelMatrix* k = init_kernel_matrix(samples, samples, 0);
    set_kernel_type(k, 2);
    for (int p = 0; p < 5; p++)
        set_kernel_parameter(k, p, p == 0 ? 1.0 : 0.0);
    get_centralized_kernel_matrix(k, out);
    destroy_kernel_matrix(k);
    matrix_free(samples);
    return out;
}

// max over the k columns of |A v - L v| relative to A's largest entry.
double residual(const DataMatrix* a, const DataMatrix* values, const DataMatrix* vecs)
{
    int n = a->rows, k = vecs->cols;
    double largest = 0.0, worst = 0.0;
    for (int t = 0; t < n * n; t++)
        largest = std::max(largest, std::fabs(a->data[t]));
    for (int c = 0; c < k; c++)
        for (int r = 0; r < n; r++) {
            double s = 0.0;
            for (int j = 0; j < n; j++)
                s += a->data[static_cast<size_t>(r) * n + j] * vecs->data[static_cast<size_t>(j) * k + c];
            worst = std::max(worst, std::fabs(s - values->data[c] * vecs->data[static_cast<size_t>(r) * k + c]));
        }
    return worst / largest;
}

void run(int n, bool whole)
{
    DataMatrix* a = centred_kernel(n);
    DataMatrix* evals = matrix_alloc(n, 1);
    DataMatrix* top = matrix_alloc(10, 1);
    DataMatrix* vecs = matrix_alloc(n, 10);
    double values_only = seconds([&] { matrix_eigenvalues_symm(a, evals); });
    // The plug-ins' pair of calls: the eigenvector call takes the reduction
    // that the eigenvalue call kept.
    KeptReduction kept;
    double kept_values = seconds([&] { matrix_eigenvalues_symm(a, evals, &kept); });
    double vectors = seconds([&] {
        for (int i = 0; i < 10; i++)
            top->data[i] = evals->data[i];
        matrix_eigenvectors(a, top, vecs, &kept);
    });
    std::printf("n=%5d  eigenvalues %8.3f s   kept %8.3f s + 10 eigenvectors %8.3f s (total %8.3f s, "
                "residual %.1e)\n",
                n, values_only, kept_values, vectors, kept_values + vectors, residual(a, top, vecs));
    if (whole) {
        DataMatrix* all = matrix_alloc(n, n);
        double full = seconds([&] { matrix_eigens_symmetric(a, evals, all); });
        std::printf("n=%5d  whole decomposition %8.3f s\n", n, full);
        matrix_free(all);
    }
    for (DataMatrix* m : {a, evals, top, vecs})
        matrix_free(m);
}

}  // namespace

// Optional argument: "whole" also times the whole decomposition.
int main(int argc, char** argv)
{
    bool whole = argc > 1 && std::string_view(argv[1]) == "whole";
    for (int n : {500, 1000, 2000})
        run(n, whole);
    return 0;
}
