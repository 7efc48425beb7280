// Pair scatter from centred class sums.
#include "plugins/groupfold/pair_scatter.h"

#include <algorithm>
#include <new>
#include <vector>

#include "plugins/discriminant_common/arguments.h"
#include "support/matrix.h"
#include "support/options.h"

namespace {

// Rows grouped by equal label: group[r] is the group of row r.
struct LabelGroups {
    std::vector<int> group;      // n entries, 0..count-1
    std::vector<double> size;    // rows per group
    std::vector<double> means;   // count x d, row by row
    int count = 0;               // number of distinct labels
};

void group_by_label(const DataMatrix* y, LabelGroups* groups)
{
    int n = y->rows;
    std::vector<int> order(n);
    for (int r = 0; r < n; ++r)
        order[r] = r;
    std::sort(order.begin(), order.end(),
              [y](int a, int b) { return y->data[a] < y->data[b]; });
    groups->group.assign(n, 0);
    for (int k = 0; k < n; ++k) {
        if (k == 0 || y->data[order[k]] != y->data[order[k - 1]]) {
            groups->count++;
            groups->size.push_back(0.0);
        }
        groups->group[order[k]] = groups->count - 1;
        groups->size.back() += 1.0;
    }
}

// Group means and the overall mean (returned), each d long.
std::vector<double> means_of(const DataMatrix* x, LabelGroups* groups)
{
    int n = x->rows, d = x->cols;
    std::vector<double> mean(d, 0.0);
    groups->means.assign(static_cast<size_t>(groups->count) * d, 0.0);
    for (int r = 0; r < n; ++r) {
        const double* xr = x->data + static_cast<size_t>(r) * d;
        double* mg = &groups->means[static_cast<size_t>(groups->group[r]) * d];
        for (int i = 0; i < d; ++i) {
            mg[i] += xr[i];
            mean[i] += xr[i];
        }
    }
    for (int g = 0; g < groups->count; ++g)
        for (int i = 0; i < d; ++i)
            groups->means[static_cast<size_t>(g) * d + i] /= groups->size[g];
    for (int i = 0; i < d; ++i)
        mean[i] /= n;
    return mean;
}

// s += factor * u u' on the upper triangle of the d x d matrix s.
void add_outer_upper(double* s, const std::vector<double>& u, double factor)
{
    int d = static_cast<int>(u.size());
    for (int i = 0; i < d; ++i) {
        double ui = factor * u[i];
        double* s_row = s + static_cast<size_t>(i) * d;
        for (int j = i; j < d; ++j)
            s_row[j] += ui * u[j];
    }
}

void accumulate(const DataMatrix* x, const LabelGroups& groups, const std::vector<double>& mean,
                PairWeights weights, DataMatrix* s)
{
    int n = x->rows, d = x->cols;
    double a = weights.antispring, same = weights.spring - weights.antispring;
    std::vector<double> overall(d), within(d);
    matrix_fill(s, 0.0);
    for (int r = 0; r < n; ++r) {
        print_row_progress(r);
        const double* xr = x->data + static_cast<size_t>(r) * d;
        int g = groups.group[r];
        const double* mg = &groups.means[static_cast<size_t>(g) * d];
        for (int i = 0; i < d; ++i) {
            overall[i] = xr[i] - mean[i];
            within[i] = xr[i] - mg[i];
        }
        add_outer_upper(s->data, overall, 2.0 * a * n);
        add_outer_upper(s->data, within, 2.0 * same * groups.size[g]);
    }
    end_row_progress();
    for (int i = 0; i < d; ++i)
        for (int j = 0; j < i; ++j)
            s->data[static_cast<size_t>(i) * d + j] = s->data[static_cast<size_t>(j) * d + i];
}

}  // namespace

bool read_pair_weights(const char* options, const char* prefix, PairWeights* weights)
{
    *weights = PairWeights{-1.0, 1.0};
    return read_real_setting(options, "spring", &weights->spring, prefix) &&
           read_real_setting(options, "antispring", &weights->antispring, prefix);
}

bool pair_scatter(const DataMatrix* x, const DataMatrix* y, PairWeights weights,
                  DataMatrix* s)
{
    try {
        LabelGroups groups;
        group_by_label(y, &groups);
        std::vector<double> mean = means_of(x, &groups);
        accumulate(x, groups, mean, weights, s);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
