// Times the numeric core: kernel matrix fill and centring, eigenvalues
// (general and symmetric) and eigenvectors by inverse iteration.
#include <chrono>
#include <cstdio>
#include <functional>

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

DataMatrix* random_samples(int rows, int cols)
{
    DataMatrix* m = matrix_alloc(rows, cols);
    for (int t = 0; t < rows * cols; t++)
        m->data[t] = random15() / 32767.0 - 0.5;
    return m;
}

// Exponential kernel of n samples of 10 features with itself, cached in
// full, then centred as a training kernel.
void kernel_run(int n)
{
    DataMatrix* samples = random_samples(n, 10);
    DataMatrix* out = matrix_alloc(n, n);
    KernelMatrix* k = init_kernel_matrix(samples, samples, n * n);
    set_kernel_type(k, 2);
    for (int p = 0; p < 5; p++)
        set_kernel_parameter(k, p, p == 0 ? 1.0 : 0.0);
    double t = seconds([&] { get_centralized_kernel_matrix(k, out); });
    std::printf("kernel fill+centre   n=%5d  %8.3f s\n", n, t);
    destroy_kernel_matrix(k);
    matrix_free(out);
    matrix_free(samples);
}

// Eigenvalues of a random symmetric n x n matrix both ways, then the
// eigenvectors of the ten largest.
void eigen_run(int n)
{
    DataMatrix* a = random_samples(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < i; j++)
            a->data[i * n + j] = a->data[j * n + i];
    DataMatrix* re = matrix_alloc(n, 1);
    DataMatrix* im = matrix_alloc(n, 1);
    DataMatrix* evals = matrix_alloc(n, 1);
    DataMatrix* top = matrix_alloc(10, 1);
    DataMatrix* vecs = matrix_alloc(n, 10);
    double general = seconds([&] { matrix_eigenvalues(a, re, im); });
    double symmetric = seconds([&] { matrix_eigenvalues_symm(a, evals); });
    for (int i = 0; i < 10; i++)
        top->data[i] = evals->data[i];
    double vectors = seconds([&] { matrix_eigenvectors(a, top, vecs); });
    std::printf("eigenvalues general  n=%5d  %8.3f s\n", n, general);
    std::printf("eigenvalues symm     n=%5d  %8.3f s\n", n, symmetric);
    std::printf("eigenvectors (10)    n=%5d  %8.3f s\n", n, vectors);
    for (DataMatrix* m : {a, re, im, evals, top, vecs})
        matrix_free(m);
}

}  // namespace

int main()
{
    for (int n : {1000, 2000, 3000})
        kernel_run(n);
    for (int n : {200, 400, 800})
        eigen_run(n);
    return 0;
}
