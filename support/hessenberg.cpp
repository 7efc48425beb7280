// Balancing, Householder reduction to upper Hessenberg form and the Francis
// double-shift QR iteration for the eigenvalues of a general real matrix.
#include "support/hessenberg.h"

#include <cfloat>
#include <cmath>

#include "support/row_kernels.h"

namespace {

const double EPSILON = DBL_EPSILON;
// Balancing stops after this many sweeps even if a sweep still rescales
// (each accepted rescaling lowers the off-diagonal norm by 5 %, so far fewer
// are ever needed).
const int BALANCING_SWEEPS = 100;
// Steps on one eigenvalue after which an exceptional shift breaks a cycle.
const int EXCEPTIONAL_EVERY = 10;
// The cap on double-shift steps, per order of the matrix.
const int STEPS_PER_ORDER = 30;

// Entry (i, j) of the n x n block held row by row.
inline double& at(std::vector<double>& w, int n, int i, int j)
{
    return w[static_cast<size_t>(i) * n + j];
}

// Copies a scaled by a power of two (exact), largest |entry| in [0.5, 1).
void copy_scaled(const DataMatrix* a, HessenbergForm* h)
{
    size_t count = static_cast<size_t>(a->rows) * a->rows;
    double largest = 0.0;
    for (size_t t = 0; t < count; t++)
        largest = std::fmax(largest, std::fabs(a->data[t]));
    h->exponent = 0;
    if (largest > 0.0)
        std::frexp(largest, &h->exponent);
    h->work.resize(count);
    for (size_t t = 0; t < count; t++)
        h->work[t] = std::ldexp(a->data[t], -h->exponent);
    h->norm = std::ldexp(largest, -h->exponent);
}

// The power of two f that best equalises column norm c and row norm r
// (c f^2 near r); 1 when either is zero.
double balancing_factor(double c, double r)
{
    if (c == 0.0 || r == 0.0)
        return 1.0;
    double f = 1.0, s = c + r;
    while (c < r / 2.0) {
        f *= 2.0;
        c *= 4.0;
    }
    while (c > r * 2.0) {
        f /= 2.0;
        c /= 4.0;
    }
    return (c + r) / f < 0.95 * s ? f : 1.0;
}

// D^-1 a D with D diagonal powers of two chosen so that each row and its
// column have norms of about the same size (exact in floating point).
void balance(std::vector<double>& w, int n)
{
    for (int sweep = 0; sweep < BALANCING_SWEEPS; sweep++) {
        bool changed = false;
        for (int i = 0; i < n; i++) {
            double c = 0.0, r = 0.0;
            for (int j = 0; j < n; j++) {
                if (j == i)
                    continue;
                c += std::fabs(at(w, n, j, i));
                r += std::fabs(at(w, n, i, j));
            }
            double f = balancing_factor(c, r);
            if (f == 1.0)
                continue;
            changed = true;
            for (int j = 0; j < n; j++)
                at(w, n, i, j) /= f;
            for (int j = 0; j < n; j++)
                at(w, n, j, i) *= f;
        }
        if (!changed)
            return;
    }
}

// x[0..m) becomes v with v[0] = 1 for H = I - tau v v', H x = beta e_0;
// returns tau (0: H = I) and stores beta.
double make_leading_reflection(double* x, int m, double* beta)
{
    double alpha = x[0], largest = 0.0;
    for (int k = 1; k < m; k++)
        largest = std::fmax(largest, std::fabs(x[k]));
    if (largest == 0.0) {
        *beta = alpha;
        return 0.0;
    }
    double sum = 0.0;
    for (int k = 1; k < m; k++)
        sum += (x[k] / largest) * (x[k] / largest);
    double norm = std::hypot(alpha, largest * std::sqrt(sum));
    double b = alpha >= 0.0 ? -norm : norm;
    for (int k = 1; k < m; k++)
        x[k] /= alpha - b;
    x[0] = 1.0;
    *beta = b;
    return (b - alpha) / b;
}

// a := H a H for the reflection H on rows and columns k+1..n-1; the left
// product touches columns k..n-1, the right one every row.
void apply_both_sides(std::vector<double>& w, int n, int k, const std::vector<double>& v,
                      double tau, std::vector<double>& s)
{
    int first = k + 1, width = n - k;
    for (int j = k; j < n; j++)
        s[j] = 0.0;
    for (int r = first; r < n; r++)
        subtract_multiple(&s[k], -v[r - first], &at(w, n, r, k), width);
    for (int r = first; r < n; r++)
        subtract_multiple(&at(w, n, r, k), tau * v[r - first], &s[k], width);
    for (int i = 0; i < n; i++) {
        double* row = &at(w, n, i, first);
        subtract_multiple(row, tau * dot_rows(row, v.data(), n - first), v.data(), n - first);
    }
}

// The place l <= nn where the active block starts: a negligible
// subdiagonal entry (next to its neighbours, or to the matrix norm when they
// are zero, or below the smallest safe size) is set to 0 there.
int active_block_start(std::vector<double>& w, int n, int nn, double anorm)
{
    const double small = DBL_MIN * (n / EPSILON);
    for (int l = nn; l > 0; l--) {
        double s = std::fabs(at(w, n, l - 1, l - 1)) + std::fabs(at(w, n, l, l));
        if (s == 0.0)
            s = anorm;
        double sub = std::fabs(at(w, n, l, l - 1));
        if (sub <= EPSILON * s || sub <= small) {
            at(w, n, l, l - 1) = 0.0;
            return l;
        }
    }
    return 0;
}

// The two eigenvalues of the trailing 2 x 2 block at nn-1, nn (t the shift
// removed so far).
void two_by_two(std::vector<double>& w, int n, int nn, double t, double* re, double* im)
{
    double x = at(w, n, nn, nn), y = at(w, n, nn - 1, nn - 1);
    double wprod = at(w, n, nn, nn - 1) * at(w, n, nn - 1, nn);
    double p = 0.5 * (y - x), q = p * p + wprod, z = std::sqrt(std::fabs(q));
    x += t;
    if (q >= 0.0) {
        z = p + std::copysign(z, p);
        re[nn - 1] = re[nn] = x + z;
        if (z != 0.0)
            re[nn] = x - wprod / z;
        im[nn - 1] = im[nn] = 0.0;
    } else {
        re[nn - 1] = re[nn] = x + p;
        im[nn - 1] = z;
        im[nn] = -z;
    }
}

// The shifts of one double step: x + y is their sum and x y - w their
// product.
struct Shifts {
    double x, y, w;
};

// Where the double step starts (m >= l), with the first column of the
// shifted product scaled into p, q, r.
int bulge_start(std::vector<double>& w, int n, int l, int nn, Shifts sh, double* pqr)
{
    int m = nn - 2;
    for (;; m--) {
        double z = at(w, n, m, m), r = sh.x - z, s = sh.y - z;
        double p = (r * s - sh.w) / at(w, n, m + 1, m) + at(w, n, m, m + 1);
        double q = at(w, n, m + 1, m + 1) - z - r - s;
        r = at(w, n, m + 2, m + 1);
        s = std::fabs(p) + std::fabs(q) + std::fabs(r);
        if (s == 0.0)
            s = 1.0;
        pqr[0] = p / s;
        pqr[1] = q / s;
        pqr[2] = r / s;
        if (m == l)
            return m;
        double u = std::fabs(at(w, n, m, m - 1)) * (std::fabs(pqr[1]) + std::fabs(pqr[2]));
        double v = std::fabs(pqr[0]) *
                   (std::fabs(at(w, n, m - 1, m - 1)) + std::fabs(z) + std::fabs(at(w, n, m + 1, m + 1)));
        if (u <= EPSILON * v)
            return m;
    }
}

// A reflection P = I - (x, y, z)' (1, q, r) on indices k..k+2 (k..k+1 when
// k+1 is nn), held by its two weight vectors.
struct Reflector {
    double x, y, z;  // P a: with p = a(k,j) + q a(k+1,j) + r a(k+2,j), rows k..k+2 lose p (x, y, z)
    double q, r;     // a P: with p = x a(i,k) + y a(i,k+1) + z a(i,k+2), columns lose p (1, q, r)
};

// a := P a P on the active block l..nn for the reflector at k.
void apply_reflector(std::vector<double>& w, int n, int l, int nn, int k, const Reflector& h)
{
    bool three = k + 1 != nn;
    for (int j = k; j <= nn; j++) {
        double p = at(w, n, k, j) + h.q * at(w, n, k + 1, j);
        if (three) {
            p += h.r * at(w, n, k + 2, j);
            at(w, n, k + 2, j) -= p * h.z;
        }
        at(w, n, k + 1, j) -= p * h.y;
        at(w, n, k, j) -= p * h.x;
    }
    int last = nn < k + 3 ? nn : k + 3;
    for (int i = l; i <= last; i++) {
        double p = h.x * at(w, n, i, k) + h.y * at(w, n, i, k + 1);
        if (three) {
            p += h.z * at(w, n, i, k + 2);
            at(w, n, i, k + 2) -= p * h.r;
        }
        at(w, n, i, k + 1) -= p * h.q;
        at(w, n, i, k) -= p;
    }
}

// One Francis double step on the active block l..nn, chasing the bulge
// from m down with 3 x 3 reflections (2 x 2 at the end).
void francis_step(std::vector<double>& w, int n, int l, int nn, Shifts sh)
{
    double pqr[3];
    int m = bulge_start(w, n, l, nn, sh, pqr);
    double p = pqr[0], q = pqr[1], r = pqr[2], x = 0.0;
    for (int i = m; i < nn - 1; i++) {
        at(w, n, i + 2, i) = 0.0;
        if (i != m)
            at(w, n, i + 2, i - 1) = 0.0;
    }
    for (int k = m; k < nn; k++) {
        if (k != m) {  // the bulge left by the previous reflection
            p = at(w, n, k, k - 1);
            q = at(w, n, k + 1, k - 1);
            r = k + 1 != nn ? at(w, n, k + 2, k - 1) : 0.0;
            x = std::fabs(p) + std::fabs(q) + std::fabs(r);
            if (x != 0.0) {
                p /= x;
                q /= x;
                r /= x;
            }
        }
        double s = std::copysign(std::sqrt(p * p + q * q + r * r), p);
        if (s == 0.0)
            continue;
        if (k != m)
            at(w, n, k, k - 1) = -s * x;
        else if (l != m)
            at(w, n, k, k - 1) = -at(w, n, k, k - 1);
        p += s;
        apply_reflector(w, n, l, nn, k, {p / s, q / s, r / s, q / p, r / p});
    }
}

// The usual shifts (the trailing 2 x 2 block's eigenvalues), or after
// EXCEPTIONAL_EVERY fruitless steps ad hoc ones that break a cycle; those
// move the diagonal by x, which t accumulates.
Shifts choose_shifts(std::vector<double>& w, int n, int nn, int steps, double* t)
{
    double x = at(w, n, nn, nn), y = at(w, n, nn - 1, nn - 1);
    double wprod = at(w, n, nn, nn - 1) * at(w, n, nn - 1, nn);
    if (steps == 0 || steps % EXCEPTIONAL_EVERY != 0)
        return {x, y, wprod};
    *t += x;
    for (int i = 0; i <= nn; i++)
        at(w, n, i, i) -= x;
    double s = std::fabs(at(w, n, nn, nn - 1)) + std::fabs(at(w, n, nn - 1, nn - 2));
    return {0.75 * s, 0.75 * s, -0.4375 * s * s};
}

// Zeroes what lies below H's subdiagonal (the reflection vectors) and
// returns the sum of |entries| of H, the scale of the deflation test.
double clear_below_subdiagonal(std::vector<double>& w, int n)
{
    double anorm = 0.0;
    for (int i = 0; i < n; i++) {
        for (int j = 0; j + 1 < i; j++)
            at(w, n, i, j) = 0.0;
        for (int j = i > 0 ? i - 1 : 0; j < n; j++)
            anorm += std::fabs(at(w, n, i, j));
    }
    return anorm;
}

}  // namespace

void reduce_to_hessenberg(const DataMatrix* a, bool balance_first, HessenbergForm* h)
{
    int n = a->rows;
    h->n = n;
    copy_scaled(a, h);
    if (balance_first)
        balance(h->work, n);
    h->tau.assign(n, 0.0);
    std::vector<double> v(n), s(n);
    for (int k = 0; k + 2 < n; k++) {
        int m = n - k - 1;
        for (int r = 0; r < m; r++)
            v[r] = at(h->work, n, k + 1 + r, k);
        double beta = 0.0;
        double tau = make_leading_reflection(v.data(), m, &beta);
        h->tau[k] = tau;
        if (tau != 0.0)
            apply_both_sides(h->work, n, k, v, tau, s);
        at(h->work, n, k + 1, k) = beta;
        for (int r = 1; r < m; r++)
            at(h->work, n, k + 1 + r, k) = tau != 0.0 ? v[r] : 0.0;
    }
}

bool hessenberg_eigenvalues(HessenbergForm* h, double* re, double* im)
{
    int n = h->n;
    std::vector<double>& w = h->work;
    double anorm = clear_below_subdiagonal(w, n);
    double t = 0.0;
    long total = 0, cap = static_cast<long>(STEPS_PER_ORDER) * n;
    int steps = 0;
    for (int nn = n - 1; nn >= 0;) {
        int l = active_block_start(w, n, nn, anorm);
        if (l == nn || l == nn - 1) {
            if (l == nn) {
                re[nn] = at(w, n, nn, nn) + t;
                im[nn] = 0.0;
            } else {
                two_by_two(w, n, nn, t, re, im);
            }
            nn = l - 1;
            steps = 0;
            continue;
        }
        if (total == cap)
            return false;
        Shifts sh = choose_shifts(w, n, nn, steps, &t);
        francis_step(w, n, l, nn, sh);
        steps++;
        total++;
    }
    return true;
}

void to_hessenberg_basis(const HessenbergForm& h, double* y)
{
    int n = h.n;
    for (int k = 0; k + 2 < n; k++) {
        if (h.tau[k] == 0.0)
            continue;
        double s = y[k + 1];
        for (int r = k + 2; r < n; r++)
            s += h.work[static_cast<size_t>(r) * n + k] * y[r];
        s *= h.tau[k];
        y[k + 1] -= s;
        for (int r = k + 2; r < n; r++)
            y[r] -= s * h.work[static_cast<size_t>(r) * n + k];
    }
}

void columns_from_hessenberg_basis(const HessenbergForm& h, double* block, int k)
{
    int n = h.n;
    std::vector<double> s(k);
    for (int step = n - 3; step >= 0; step--) {
        if (h.tau[step] == 0.0)
            continue;
        auto v = [&](int r) { return r == step + 1 ? 1.0 : h.work[static_cast<size_t>(r) * n + step]; };
        for (int c = 0; c < k; c++)
            s[c] = 0.0;
        for (int r = step + 1; r < n; r++)
            for (int c = 0; c < k; c++)
                s[c] += v(r) * block[static_cast<size_t>(r) * k + c];
        for (int r = step + 1; r < n; r++)
            for (int c = 0; c < k; c++)
                block[static_cast<size_t>(r) * k + c] -= h.tau[step] * v(r) * s[c];
    }
}
