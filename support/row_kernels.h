// The inner loops of the eigen reductions, written two reals abreast with
// the compiler's generic vectors (SSE2 on x86-64), so they run at vector
// speed whatever the optimisation level and without reassociating flags.
// Loads and stores go through memcpy and need no alignment.
#ifndef SUPPORT_ROW_KERNELS_H
#define SUPPORT_ROW_KERNELS_H

#include <cstring>

typedef double RealPair __attribute__((vector_size(16)));

inline RealPair load_pair(const double* p)
{
    RealPair x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

inline void store_pair(double* p, RealPair x)
{
    std::memcpy(p, &x, sizeof x);
}

inline RealPair both(double x)
{
    return RealPair{x, x};
}

// p[c] += row[c] * scale for c < count; returns the sum of row[c] * v[c].
inline double dot_and_add(const double* row, const double* v, double scale, double* p, int count)
{
    RealPair sum0 = both(0.0), sum1 = both(0.0), s = both(scale);
    int c = 0;
    for (; c + 4 <= count; c += 4) {
        RealPair a0 = load_pair(row + c), a1 = load_pair(row + c + 2);
        sum0 += a0 * load_pair(v + c);
        sum1 += a1 * load_pair(v + c + 2);
        store_pair(p + c, load_pair(p + c) + a0 * s);
        store_pair(p + c + 2, load_pair(p + c + 2) + a1 * s);
    }
    RealPair sum = sum0 + sum1;
    double dot = sum[0] + sum[1];
    for (; c < count; c++) {
        dot += row[c] * v[c];
        p[c] += row[c] * scale;
    }
    return dot;
}

// The same for four rows: p[c] += the sum over k of rows[k][c] * scale[k]
// for c < count, and dots[k] receives row k's sum with v.
inline void dot_and_add_four(const double* const (&rows)[4], const double* v,
                             const double (&scale)[4], double* p, int count, double (&dots)[4])
{
    RealPair sum0 = both(0.0), sum1 = both(0.0), sum2 = both(0.0), sum3 = both(0.0);
    RealPair s0 = both(scale[0]), s1 = both(scale[1]), s2 = both(scale[2]), s3 = both(scale[3]);
    int c = 0;
    for (; c + 2 <= count; c += 2) {
        RealPair a0 = load_pair(rows[0] + c), a1 = load_pair(rows[1] + c);
        RealPair a2 = load_pair(rows[2] + c), a3 = load_pair(rows[3] + c), x = load_pair(v + c);
        sum0 += a0 * x;
        sum1 += a1 * x;
        sum2 += a2 * x;
        sum3 += a3 * x;
        store_pair(p + c, load_pair(p + c) + ((a0 * s0 + a1 * s1) + (a2 * s2 + a3 * s3)));
    }
    dots[0] = sum0[0] + sum0[1];
    dots[1] = sum1[0] + sum1[1];
    dots[2] = sum2[0] + sum2[1];
    dots[3] = sum3[0] + sum3[1];
    for (; c < count; c++) {
        double x = v[c], add = 0.0;
        for (int k = 0; k < 4; k++) {
            dots[k] += rows[k][c] * x;
            add += rows[k][c] * scale[k];
        }
        p[c] += add;
    }
}

// The 4 x 4 block of inner products sum over j < depth of left[j][i] *
// right[j][k], subtracted from a[i][0..3] when out is null, else stored in
// out[i][k]. right holds four reals per j; left eight, each of its four
// twice, so that a load is already a pair.
inline void four_by_four_products(const double* left, const double* right, int depth,
                                  double* const (&a)[4], double (*out)[4])
{
    RealPair c00 = both(0.0), c01 = both(0.0), c10 = both(0.0), c11 = both(0.0);
    RealPair c20 = both(0.0), c21 = both(0.0), c30 = both(0.0), c31 = both(0.0);
    for (int j = 0; j < depth; j++, left += 8, right += 4) {
        RealPair r0 = load_pair(right), r1 = load_pair(right + 2);
        RealPair l = load_pair(left);
        c00 += l * r0;
        c01 += l * r1;
        l = load_pair(left + 2);
        c10 += l * r0;
        c11 += l * r1;
        l = load_pair(left + 4);
        c20 += l * r0;
        c21 += l * r1;
        l = load_pair(left + 6);
        c30 += l * r0;
        c31 += l * r1;
    }
    const RealPair sums[4][2] = {{c00, c01}, {c10, c11}, {c20, c21}, {c30, c31}};
    for (int i = 0; i < 4; i++) {
        if (out) {
            store_pair(out[i], sums[i][0]);
            store_pair(out[i] + 2, sums[i][1]);
        } else {
            store_pair(a[i], load_pair(a[i]) - sums[i][0]);
            store_pair(a[i] + 2, load_pair(a[i] + 2) - sums[i][1]);
        }
    }
}

// The sum of x[c] * y[c] for c < count.
inline double dot_rows(const double* x, const double* y, int count)
{
    RealPair sum0 = both(0.0), sum1 = both(0.0);
    int c = 0;
    for (; c + 4 <= count; c += 4) {
        sum0 += load_pair(x + c) * load_pair(y + c);
        sum1 += load_pair(x + c + 2) * load_pair(y + c + 2);
    }
    RealPair sum = sum0 + sum1;
    double dot = sum[0] + sum[1];
    for (; c < count; c++)
        dot += x[c] * y[c];
    return dot;
}

// y[c] -= a * x[c] for c < count.
inline void subtract_multiple(double* y, double a, const double* x, int count)
{
    RealPair s = both(a);
    int c = 0;
    for (; c + 2 <= count; c += 2)
        store_pair(y + c, load_pair(y + c) - s * load_pair(x + c));
    for (; c < count; c++)
        y[c] -= a * x[c];
}

// row[c] -= a * q[c] + b * v[c] for c < count: one rank-2 update of a row.
inline void subtract_two_multiples(double* row, double a, const double* q, double b,
                                   const double* v, int count)
{
    RealPair sa = both(a), sb = both(b);
    int c = 0;
    for (; c + 2 <= count; c += 2)
        store_pair(row + c,
                   load_pair(row + c) - (sa * load_pair(q + c) + sb * load_pair(v + c)));
    for (; c < count; c++)
        row[c] -= a * q[c] + b * v[c];
}

// row[c] -= sum over j < 4 of a[j] * x[j][c] for c < count: two rank-2
// updates in one pass over the row.
inline void subtract_four_multiples(double* row, const double (&a)[4], const double* const (&x)[4],
                                    int count)
{
    RealPair s0 = both(a[0]), s1 = both(a[1]), s2 = both(a[2]), s3 = both(a[3]);
    int c = 0;
    for (; c + 2 <= count; c += 2)
        store_pair(row + c, load_pair(row + c) - ((s0 * load_pair(x[0] + c) + s1 * load_pair(x[1] + c)) +
                                                  (s2 * load_pair(x[2] + c) + s3 * load_pair(x[3] + c))));
    for (; c < count; c++)
        row[c] -= (a[0] * x[0][c] + a[1] * x[1][c]) + (a[2] * x[2][c] + a[3] * x[3][c]);
}

// (x, y) := (c x - s y, s x + c y) entry by entry: a plane rotation of two rows.
inline void rotate_pair_of_rows(double* x, double* y, double s, double c, int count)
{
    RealPair ss = both(s), cc = both(c);
    int k = 0;
    for (; k + 2 <= count; k += 2) {
        RealPair a = load_pair(x + k), b = load_pair(y + k);
        store_pair(y + k, ss * a + cc * b);
        store_pair(x + k, cc * a - ss * b);
    }
    for (; k < count; k++) {
        double f = y[k];
        y[k] = s * x[k] + c * f;
        x[k] = c * x[k] - s * f;
    }
}

#endif
