// Compact-representation L-BFGS. Slot m-1 holds the newest pair; the window
// W of a call is the newest k' = min(k, m) slots. Rows of S, Y and R^-1
// rotate by pointer, so a new pair costs O(m^2) plus k' + k'^2 dot products.
#include "plugins/neurnet/lbfgs_mx_repr.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "plugins/lbfgs/correction_pair.h"
#include "scriptrun/messages.h"

namespace {

struct LbfgsMxReprMemory {
    int n = 0;                  // vector length
    int m = 0;                  // pairs kept
    double** S = nullptr;       // m rows of n: position differences, m-1 newest
    double** Y = nullptr;       // m rows of n: gradient differences
    double** Rinv = nullptr;    // m x m: inverse of R, R[i][j] = S[i].Y[j], i <= j
    double** YY = nullptr;      // m x m: Y[i].Y[j] over the window
    double** D = nullptr;       // m x m: diagonal S[j].Y[j], zeros elsewhere
    double* Sg = nullptr;       // m: S[j].g
    double* Yg = nullptr;       // m: Y[j].g
    double* rsg = nullptr;      // m: R^-1 S^T g (the new R^-1 column while updating)
    double* mid = nullptr;      // m: (D + gamma Y^T Y) rsg
    double* rtm = nullptr;      // m: R^-T mid
    double* w = nullptr;        // 2m: M [S^T g; gamma Y^T g], S half then Y half
    double* result = nullptr;   // n: the vector returned
    double* gradient = nullptr; // n: copy of the current gradient
    double* s = nullptr;        // n: x - xPrev of this call
    double* y = nullptr;        // n: g - gPrev of this call
};

LbfgsMxReprMemory memory;

double* zeros(size_t count)
{
    return static_cast<double*>(std::calloc(count > 0 ? count : 1, sizeof(double)));
}

// rows pointers into one zeroed block of rows x cols.
double** make_rows(int rows, int cols)
{
    auto index = static_cast<double**>(std::calloc(rows > 0 ? rows : 1, sizeof(double*)));
    double* block = zeros(static_cast<size_t>(rows) * (cols > 0 ? cols : 1));
    if (!index || !block) {
        std::free(index);
        std::free(block);
        return nullptr;
    }
    for (int i = 0; i < rows; ++i) index[i] = block + static_cast<size_t>(i) * cols;
    return index;
}

// The block starts at the lowest row pointer, wherever rotation moved it.
void free_rows(double** index, int rows)
{
    if (!index) return;
    double* block = index[0];
    for (int i = 1; i < rows; ++i)
        if (index[i] < block) block = index[i];
    std::free(block);
    std::free(index);
}

double dot(const double* a, const double* b, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

// Moves every row pointer down one slot; the oldest row becomes slot m-1.
void rotate(double** rows, int m)
{
    double* oldest = rows[0];
    for (int j = 0; j + 1 < m; ++j) rows[j] = rows[j + 1];
    rows[m - 1] = oldest;
}

// Stores the pair as the newest slot and brings D and R^-1 up to date: the
// slots move down one, D's diagonal with them, R^-1 shifts up and left, and
// its new last column follows from the new pair's S[i].y and 1/sy.
void store_pair(int used, double sy)
{
    const int m = memory.m, n = memory.n, first = m - used;
    rotate(memory.S, m);
    rotate(memory.Y, m);
    for (int i = 0; i < n; ++i) {
        memory.S[m - 1][i] = memory.s[i];
        memory.Y[m - 1][i] = memory.y[i];
    }
    for (int j = 1; j < m; ++j) memory.D[j - 1][j - 1] = memory.D[j][j];
    memory.D[m - 1][m - 1] = sy;
    // The lower-right block of an upper-triangular inverse is the inverse of
    // the lower-right block, so shifting up and left keeps R^-1 exact.
    for (int i = 1; i < m; ++i)
        for (int j = 1; j < m; ++j) memory.Rinv[i][j - 1] = memory.Rinv[i][j];
    rotate(memory.Rinv, m);
    for (int j = first; j < m - 1; ++j) memory.Rinv[m - 1][j] = 0.0;
    double** Rinv = memory.Rinv;
    for (int i = first; i < m - 1; ++i) Rinv[i][m - 1] = dot(memory.S[i], memory.y, n);
    for (int h = first; h < m - 1; ++h) {
        double sum = 0.0;
        for (int l = h; l < m - 1; ++l) sum += Rinv[h][l] * Rinv[l][m - 1];
        memory.rsg[h] = -sum / sy;
    }
    for (int i = first; i < m - 1; ++i) Rinv[i][m - 1] = memory.rsg[i];
    Rinv[m - 1][m - 1] = 1.0 / sy;
}

// The product H g over the window: S^T g, Y^T g and Y^T Y, then the middle
// product w = M [S^T g; gamma Y^T g] by R^-1, and H g = gamma g + S w_S +
// gamma Y w_Y.
void compact_product(const double* g, int used, double gamma)
{
    const int m = memory.m, n = memory.n, first = m - used;
    double** Rinv = memory.Rinv;
    for (int j = first; j < m; ++j) {
        memory.Sg[j] = dot(memory.S[j], g, n);
        memory.Yg[j] = dot(memory.Y[j], g, n);
        for (int l = first; l <= j; ++l)
            memory.YY[j][l] = memory.YY[l][j] = dot(memory.Y[j], memory.Y[l], n);
    }
    for (int j = first; j < m; ++j) {
        double sum = 0.0;
        for (int l = j; l < m; ++l) sum += Rinv[j][l] * memory.Sg[l];
        memory.rsg[j] = sum;
    }
    for (int j = first; j < m; ++j) {
        double sum = 0.0;
        for (int l = first; l < m; ++l)
            sum += memory.rsg[l] * (gamma * memory.YY[j][l] + memory.D[j][l]);
        memory.mid[j] = sum;
    }
    for (int j = first; j < m; ++j) {
        double rtm = 0.0, ryg = 0.0;
        for (int l = first; l <= j; ++l) {
            rtm += memory.mid[l] * Rinv[l][j];
            ryg += memory.Yg[l] * Rinv[l][j];
        }
        memory.rtm[j] = rtm;
        memory.w[j] = rtm - gamma * ryg;
        memory.w[m + j] = -memory.rsg[j];
    }
    for (int i = 0; i < n; ++i) memory.result[i] = gamma * g[i];
    for (int j = first; j < m; ++j) {
        const double ws = memory.w[j], wy = gamma * memory.w[m + j];
        for (int i = 0; i < n; ++i)
            memory.result[i] += ws * memory.S[j][i] + wy * memory.Y[j][i];
    }
}

}  // namespace

int lbfgs_mx_repr_init(int n, int m)
{
    lbfgs_mx_repr_free();
    if (n < 0 || m < 1) {
        print_message("lbfgs_mx_repr_init: bad size (n=%d, m=%d)\n", n, m);
        return 0;
    }
    memory.n = n;
    memory.m = m;
    memory.S = make_rows(m, n);
    memory.Y = make_rows(m, n);
    memory.Rinv = make_rows(m, m);
    memory.YY = make_rows(m, m);
    memory.D = make_rows(m, m);
    for (double** v : {&memory.Sg, &memory.Yg, &memory.rsg, &memory.mid, &memory.rtm})
        *v = zeros(m);
    memory.w = zeros(2 * static_cast<size_t>(m));
    for (double** v : {&memory.result, &memory.gradient, &memory.s, &memory.y}) *v = zeros(n);
    if (!memory.S || !memory.Y || !memory.Rinv || !memory.YY || !memory.D || !memory.Sg ||
        !memory.Yg || !memory.rsg || !memory.mid || !memory.rtm || !memory.w ||
        !memory.result || !memory.gradient || !memory.s || !memory.y) {
        lbfgs_mx_repr_free();
        print_message("out of memory\n");
        return 0;
    }
    return 1;
}

double* lbfgs_mx_repr_direction(const double* x, const double* xPrev, const double* g,
                                const double* gPrev, int k)
{
    const int n = memory.n, m = memory.m;
    if (!memory.result) return nullptr;  // used without lbfgs_mx_repr_init
    double yy = 0.0, sy = 0.0;
    correction_pair(x, xPrev, g, gPrev, n, memory.s, memory.y, memory.gradient, &yy, &sy);
    const int used = k < m ? k : m;
    // A pair without curvature information, or one that is not finite,
    // would make R singular or poison R^-1 for the rest of the run.
    if (used <= 0 || sy == 0.0 || !std::isfinite(sy) || !std::isfinite(yy)) {
        for (int i = 0; i < n; ++i) memory.result[i] = g[i];
        return memory.result;
    }
    store_pair(used, sy);
    compact_product(g, used, sy / yy);
    std::fputs("lbfgs mx. repr. is done\n", stdout);
    std::fflush(stdout);
    return memory.result;
}

void lbfgs_mx_repr_free()
{
    free_rows(memory.S, memory.m);
    free_rows(memory.Y, memory.m);
    free_rows(memory.Rinv, memory.m);
    free_rows(memory.YY, memory.m);
    free_rows(memory.D, memory.m);
    for (double* v : {memory.Sg, memory.Yg, memory.rsg, memory.mid, memory.rtm, memory.w,
                      memory.result, memory.gradient, memory.s, memory.y})
        std::free(v);
    memory = LbfgsMxReprMemory();
}
