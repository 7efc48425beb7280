// The network's output weights: least squares over the hidden activations,
// or the ridged normal equations solved through a Cholesky factor.
#include <cmath>
#include <vector>

#include "plugins/bellmix/rbf_network.h"
#include "scriptrun/messages.h"
#include "support/least_squares.h"
#include "support/matrix.h"

namespace {

// A weight that is not finite means the activations overflowed.
bool finite_weights(const RbfNetwork* net)
{
    const DataMatrix* w = net->getWeights();
    if (!w)
        return false;
    for (int t = 0; t < w->cols; ++t)
        if (!std::isfinite(w->data[t])) {
            print_message("\nThe network weight %d is not a finite number\n", t + 1);
            return false;
        }
    return true;
}

// With every mixing weight 0 no class was fitted: the hidden units are
// placeholders, and any weights fitted to them answer nothing.
bool fittable(const RbfNetwork* net)
{
    if (net->has_positive_weight())
        return true;
    print_message("\nNo hidden unit has a component of weight above 0\n");
    return false;
}

// The activations of the row last given to the network, as a fit takes
// them (squared: as products in the normal equations): a row that no unit
// reaches (all 0, densities below the double range) is fitted by nothing,
// and one above the range by no finite weight. row counts from 0.
bool activations_usable(const RbfNetwork* net, int row, bool squared)
{
    const char* as = squared ? " when squared, as the normal equations take it" : "";
    bool reached = false;
    for (int h = 0; h < net->getNumOfHidden(); ++h) {
        double a = squared ? net->activation(h) * net->activation(h) : net->activation(h);
        if (!std::isfinite(a)) {
            print_message("\nAn activation of data line %d is not a finite number%s\n", row + 1,
                          as);
            return false;
        }
        reached = reached || a != 0.0;
    }
    if (!reached)
        print_message("\nEvery activation of data line %d is 0%s\n", row + 1, as);
    return reached;
}

// Phi times the power of two that brings its largest entry to [0.5, 1),
// exactly: the factorisation's sums of squares then neither underflow nor
// overflow wherever the densities lie in the double range. Returns the
// exponent e of that power 2^-e; the weights of Phi are 2^-e times those of
// the scaled Phi.
int scale_to_unit(DataMatrix* phi)
{
    size_t count = static_cast<size_t>(phi->rows) * phi->cols;
    double largest = 0.0;
    for (size_t t = 0; t < count; ++t)
        largest = std::fmax(largest, std::fabs(phi->data[t]));
    int e = 0;
    std::frexp(largest, &e);
    for (size_t t = 0; t < count; ++t)
        phi->data[t] = std::ldexp(phi->data[t], -e);
    return e;
}

// Row i of phi: the activations at feature row i; false after a message at
// the first row that cannot be fitted.
bool fill_activations(RbfNetwork* net, const DataMatrix* features, int n, DataMatrix* phi)
{
    int H = net->getNumOfHidden();
    for (int i = 0; i < n; ++i) {
        net->output(features->data + static_cast<size_t>(i) * features->cols);
        if (!activations_usable(net, i, false))
            return false;
        for (int h = 0; h < H; ++h)
            phi->data[static_cast<size_t>(i) * H + h] = net->activation(h);
    }
    return true;
}

}  // namespace

// Phi = QR once (scaled by a power of two); for each class the 0/1 target
// column t (label == c) gives w minimising |Phi w - t|.
int rbf_weights_least_squares(RbfNetwork* net, const DataMatrix* features, int n, int C,
                              const DataMatrix* labels)
{
    int H = net->getNumOfHidden();
    DataMatrix* phi = matrix_alloc(n, H);
    DataMatrix* diag = matrix_alloc(H, 1);
    DataMatrix* t = matrix_alloc(n, 1);
    DataMatrix* w = matrix_alloc(H, 1);
    int solved = phi && diag && t && w && n >= H;
    if (!solved)
        print_message("\nThe least-squares fit needs at least as many data lines (%d) as hidden "
                      "units (%d)\n", n, H);
    solved = solved && fittable(net) && fill_activations(net, features, n, phi);
    int e = solved ? scale_to_unit(phi) : 0;
    if (solved)
        init_leastsquare(phi, diag);
    for (int c = 1; solved && c <= C; ++c) {
        for (int i = 0; i < n; ++i)
            t->data[i] = labels->data[i] == c ? 1.0 : 0.0;
        solved = multi_leastsquare(phi, diag, t, w);
        for (int h = 0; h < H; ++h)
            w->data[h] = std::ldexp(w->data[h], -e);
        net->setClassWeights(w->data, c);
    }
    matrix_free(phi);
    matrix_free(diag);
    matrix_free(t);
    matrix_free(w);
    return solved && finite_weights(net);
}

namespace {

// The lower triangle of Phi'Phi into a and, in row trunc(label) - 1 of b,
// the sum of the rows' activations; false after a message at the first row
// that cannot be fitted.
bool accumulate_normal_equations(RbfNetwork* net, const DataMatrix* features, int n, int C,
                                 const DataMatrix* labels, DataMatrix* a, std::vector<double>* b)
{
    int H = net->getNumOfHidden();
    for (int i = 0; i < n; ++i) {
        net->output(features->data + static_cast<size_t>(i) * features->cols);
        if (!activations_usable(net, i, true))
            return false;
        double label = labels->data[i];
        int c = label >= 1.0 && label < C + 1.0 ? static_cast<int>(label) : 0;
        for (int h = 0; h < H; ++h) {
            double ah = net->activation(h);
            if (c > 0)
                (*b)[static_cast<size_t>(c - 1) * H + h] += ah;
            for (int l = 0; l <= h; ++l)
                a->data[static_cast<size_t>(h) * H + l] += ah * net->activation(l);
        }
    }
    return true;
}

}  // namespace

// A = Phi'Phi + n 1e-11 I, row trunc(label) - 1 of B = sum of the rows'
// activations; w_c = A^-1 B[c-1] through A's Cholesky factor.
int rbf_weights_inverse(RbfNetwork* net, const DataMatrix* features, int n, int C,
                        const DataMatrix* labels)
{
    int H = net->getNumOfHidden();
    DataMatrix* a = matrix_alloc(H, H);
    std::vector<double> b(static_cast<size_t>(C) * H, 0.0);
    if (!a)
        return 0;
    matrix_fill(a, 0.0);
    bool solved = fittable(net) && accumulate_normal_equations(net, features, n, C, labels, a, &b);
    if (solved) {
        for (int h = 0; h < H; ++h)
            a->data[static_cast<size_t>(h) * H + h] += n * 1e-11;
        solved = cholesky_factor(a, kCovariancePivots);
        if (!solved)
            print_message("\nThe normal equations of the weights are singular\n");
    }
    for (int c = 1; solved && c <= C; ++c) {
        double* w = b.data() + static_cast<size_t>(c - 1) * H;
        DataMatrix column = {H, 1, w};
        cholesky_solve(a, &column);
        net->setClassWeights(w, c);
    }
    matrix_free(a);
    return solved && finite_weights(net);
}
