// Output weights by linear least squares: with the hidden layers fixed, the
// output units are linear in their inputs, so M q = t (M: one row of the
// last unit's inputs and a 1 per sample; t: the one-hot column of an output)
// gives each output unit its weights and bias. M is factorised once.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "nettools/sampling.h"
#include "scriptrun/messages.h"
#include "support/least_squares.h"
#include "support/matrix.h"

namespace {

const char* const routine = "net_fit_output_weights";

// The design matrix holds the last unit's inputs, so every output unit must
// read exactly those, slot for slot (an explicit network may wire its
// outputs differently), and none of them may be an output, which the fit
// itself changes. There must be at least n + 1 rows for a determined fit.
bool fit_possible(const NetGraph* net, int rows, int n)
{
    const NetUnit* last = net->units[net->unitCount - 1];
    for (int i = net->unitCount - net->outputCount; i < net->unitCount; ++i) {
        const NetUnit* u = net->units[i];
        if (u->fanIn != n || !std::equal(last->inputSlots, last->inputSlots + n, u->inputSlots)) {
            print_message("%s: the output units have different inputs\n", routine);
            return false;
        }
    }
    for (int j = 0; j < n; ++j) {
        if (last->inputSlots[j] >= net->outputVector) {
            print_message("%s: the output units read outputs\n", routine);
            return false;
        }
    }
    if (net->outputCount < 1 || rows < n + 1) {
        print_message("%s: %d rows are too few for %d weights per output\n", routine, rows, n + 1);
        return false;
    }
    return true;
}

// Row i of M: the last unit's inputs for sample i, then 1.0.
void fill_design(NetGraph* net, const float* data, int rows, DataMatrix* m)
{
    const NetUnit* last = net->units[net->unitCount - 1];
    for (int i = 0; i < rows; ++i) {
        net_forward(net, data + static_cast<size_t>(i) * net->inputCount);
        double* row = matrix_row(m, i);
        unit_get_inputs(last, row);
        row[last->fanIn] = 1.0;
    }
}

// Solves for every output into q (outputCount rows of n + 1); zeroes
// the weights below the threshold, never the bias. Returns the number
// zeroed, or -1 when a solve fails.
long long solve_outputs(const NetGraph* net, const DataMatrix* m, const DataMatrix* diag,
                        const int* labels, float threshold, std::vector<double>* q)
{
    int rows = m->rows, width = m->cols;
    DataMatrix* t = matrix_alloc(rows, 1);
    DataMatrix* x = matrix_alloc(width, 1);
    long long zeroed = t && x ? 0 : -1;
    for (int j = 0; j < net->outputCount && zeroed >= 0; ++j) {
        for (int i = 0; i < rows; ++i)
            t->data[i] = labels[i] == j ? 1.0 : 0.0;
        if (!multi_leastsquare(m, diag, t, x)) {
            zeroed = -1;
            break;
        }
        for (int k = 0; k < width - 1; ++k) {
            if (threshold > 0 && std::fabs(x->data[k]) < threshold) {
                x->data[k] = 0.0;
                ++zeroed;
            }
        }
        std::copy(x->data, x->data + width, q->begin() + static_cast<size_t>(j) * width);
    }
    matrix_free(t);
    matrix_free(x);
    return zeroed;
}

float mean_error(NetGraph* net, const float* data, const int* labels, int rows)
{
    std::vector<float> target(net->outputCount, 0.0f);
    float sum = 0.0f;
    for (int i = 0; i < rows; ++i) {
        net_forward(net, data + static_cast<size_t>(i) * net->inputCount);
        target[labels[i]] = 1.0f;
        sum += net_output_error(net, target.data());
        target[labels[i]] = 0.0f;
    }
    return rows > 0 ? sum / static_cast<float>(rows) : 0.0f;
}

}  // namespace

int net_fit_output_weights(NetGraph* net, const float* data, const int* labels, int rows,
                           float threshold, float* meanError)
{
    *meanError = 0.0f;
    if (net->unitCount < 1)
        return 0;
    int n = net->units[net->unitCount - 1]->fanIn;
    long long zeroed = -1;
    std::vector<double> q;
    if (fit_possible(net, rows, n)) {
        DataMatrix* m = matrix_alloc(rows, n + 1);
        DataMatrix* diag = matrix_alloc(n + 1, 1);
        q.assign(static_cast<size_t>(net->outputCount) * (n + 1), 0.0);
        if (m && diag) {
            fill_design(net, data, rows, m);
            init_leastsquare(m, diag);
            zeroed = solve_outputs(net, m, diag, labels, threshold, &q);
        } else {
            print_message("%s: not enough memory\n", routine);
        }
        matrix_free(m);
        matrix_free(diag);
    }
    if (zeroed >= 0) {
        for (int j = 0; j < net->outputCount; ++j)
            unit_set_weights(net->units[net->unitCount - net->outputCount + j],
                             &q[static_cast<size_t>(j) * (n + 1)]);
        if (zeroed > 0)
            printf("%.2f percent of the outputs weights were zeroed\n",
                   100.0 * zeroed / (static_cast<double>(n + 1) * net->outputCount));
    }
    // A refused fit leaves the weights as they were; the error is then that
    // of the network as it stands.
    *meanError = mean_error(net, data, labels, rows);
    return zeroed >= 0 ? 1 : 0;
}
