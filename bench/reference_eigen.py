#!/usr/bin/env python3
# Reference figures for kernel_bench's "reference" lines: scikit-learn's
# KernelPCA fit and LAPACK's symmetric eigenvalues on the rows that bench
# times (2000 rows of 10 features, exponential kernel of width 2), one thread.
# Run: OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 python3 bench/reference_eigen.py [rows]
import os
import sys
import time

for name in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(name, "1")

import numpy as np
import scipy.linalg
from sklearn.decomposition import KernelPCA

SIGMA = 2.0
REPEATS = 3
MASK = (1 << 64) - 1


def five_class_database(n, d):
    """The rows of bench_util.h's five_class_database, labels left out."""
    state = 12345
    rows = np.empty((n, d))
    for r in range(n):
        label = r % 5 + 1
        for i in range(d):
            state = (state * 6364136223846793005 + 1442695040888963407) & MASK
            rows[r, i] = (state >> 11) / 9007199254740992.0 + 0.1 * label * (i % 3)
    return rows


def centred_kernel(x):
    """exp(-|x_i - x_j|^2 / sigma^2), centred in feature space."""
    sq = np.sum(x * x, axis=1)
    k = np.exp(-np.maximum(sq[:, None] + sq[None, :] - 2.0 * x @ x.T, 0.0) / SIGMA**2)
    mean = k.mean(axis=0)
    return k - mean[None, :] - mean[:, None] + mean.mean()


def times(work):
    spent = []
    for _ in range(REPEATS):
        start = time.perf_counter()
        work()
        spent.append(time.perf_counter() - start)
    return min(spent), max(spent)


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    x = five_class_database(n, 10)
    kc = centred_kernel(x)
    pca = KernelPCA(n_components=10, kernel="rbf", gamma=1.0 / SIGMA**2, eigen_solver="dense")
    lines = [
        ("KernelPCA fit (dense, 10 components)", lambda: pca.fit(x)),
        ("scipy eigvalsh of the centred kernel", lambda: scipy.linalg.eigvalsh(kc)),
        ("numpy eigvalsh of the centred kernel", lambda: np.linalg.eigvalsh(kc)),
        ("scipy eigh, 10 leading pairs", lambda: scipy.linalg.eigh(kc, subset_by_index=[n - 10, n - 1])),
    ]
    for label, work in lines:
        low, high = times(work)
        print(f"reference n={n:5d}  {label:40s} {low:8.3f} .. {high:8.3f} s")
    print(f"reference n={n:5d}  leading eigenvalues {np.sort(np.linalg.eigvalsh(kc))[::-1][:3]}")


if __name__ == "__main__":
    main()
