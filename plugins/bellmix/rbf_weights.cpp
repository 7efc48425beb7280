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
        if (!std::isfinite(w->data[t]))
            return false;
    return true;
}

// Row i of phi: the activations at feature row i.
void fill_activations(RbfNetwork* net, const DataMatrix* features, int n, DataMatrix* phi)
{
    int H = net->getNumOfHidden();
    for (int i = 0; i < n; ++i) {
        net->output(features->data + static_cast<size_t>(i) * features->cols);
        for (int h = 0; h < H; ++h)
            phi->data[static_cast<size_t>(i) * H + h] = net->activation(h);
    }
}

}  // namespace

// Phi = QR once; for each class the 0/1 target column t (label == c) gives
// w minimising |Phi w - t|.
int rbf_weights_least_squares(RbfNetwork* net, const DataMatrix* features, int n, int C,
                              const DataMatrix* labels)
{
    int H = net->getNumOfHidden();
    DataMatrix* phi = matrix_alloc(n, H);
    DataMatrix* diag = matrix_alloc(H, 1);
    DataMatrix* t = matrix_alloc(n, 1);
    DataMatrix* w = matrix_alloc(H, 1);
    int solved = phi && diag && t && w && n >= H;
    if (solved) {
        fill_activations(net, features, n, phi);
        init_leastsquare(phi, diag);
    } else {
        print_message("\nThe least-squares fit needs at least as many data lines (%d) as hidden "
                      "units (%d)\n", n, H);
    }
    for (int c = 1; solved && c <= C; ++c) {
        for (int i = 0; i < n; ++i)
            t->data[i] = labels->data[i] == c ? 1.0 : 0.0;
        solved = multi_leastsquare(phi, diag, t, w);
        net->setClassWeights(w->data, c);
    }
    matrix_free(phi);
    matrix_free(diag);
    matrix_free(t);
    matrix_free(w);
    return solved && finite_weights(net);
}

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
    for (int i = 0; i < n; ++i) {
        net->output(features->data + static_cast<size_t>(i) * features->cols);
        double label = labels->data[i];
        int c = label >= 1.0 && label < C + 1.0 ? static_cast<int>(label) : 0;
        for (int h = 0; h < H; ++h) {
            double ah = net->activation(h);
            if (c > 0)
                b[static_cast<size_t>(c - 1) * H + h] += ah;
            for (int l = 0; l <= h; ++l)
                a->data[static_cast<size_t>(h) * H + l] += ah * net->activation(l);
        }
    }
    for (int h = 0; h < H; ++h)
        a->data[static_cast<size_t>(h) * H + h] += n * 1e-11;
    bool solved = cholesky_factor(a, kCovariancePivots);
    if (!solved)
        print_message("\nThe normal equations of the weights are singular\n");
    for (int c = 1; solved && c <= C; ++c) {
        double* w = b.data() + static_cast<size_t>(c - 1) * H;
        DataMatrix column = {H, 1, w};
        cholesky_solve(a, &column);
        net->setClassWeights(w, c);
    }
    matrix_free(a);
    return solved && finite_weights(net);
}
