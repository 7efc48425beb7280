// K-means clustering of listed rows with seeds drawn by the plug-in's
// generator.
#include "plugins/bellmix/training.h"

#include <cstddef>

#include "scriptrun/messages.h"
#include "support/random.h"

namespace {

// Passes made when the caller sets no limit: the loop ends when a pass
// changes nothing, which rounding could otherwise postpone for ever.
const int kUnlimitedPassCap = 100000;

// Seed i is the listed row at trunc(r (n - 2) / 32767): positions 0 .. n-2.
// The product is formed in double: r (n - 2) leaves the int range once a
// class lists more than 65538 rows.
void seed_centres(const DataMatrix* features, const int* rows, DataMatrix* centres, int n, int K)
{
    int D = features->cols;
    for (int i = 0; i < K; ++i) {
        double r = random15();
        int position = static_cast<int>(r * (n - 2) * 3.051850947599719e-05);
        const double* row = features->data + static_cast<size_t>(rows[position]) * D;
        double* centre = centres->data + static_cast<size_t>(i) * D;
        for (int j = 0; j < D; ++j)
            centre[j] = row[j];
    }
}

// Index of the centre nearest to x; ties go to the lower index.
int nearest_centre(const double* x, const DataMatrix* centres)
{
    int D = centres->cols, best = 0;
    double bestDistance = 0.0;
    for (int c = 0; c < centres->rows; ++c) {
        const double* centre = centres->data + static_cast<size_t>(c) * D;
        double distance = 0.0;
        for (int j = 0; j < D; ++j)
            distance += (x[j] - centre[j]) * (x[j] - centre[j]);
        if (c == 0 || distance < bestDistance) {
            best = c;
            bestDistance = distance;
        }
    }
    return best;
}

// Assigns every listed row; true when some assignment changed.
bool assign_rows(const DataMatrix* features, const int* rows, int* assignment, int* sizes,
                 const DataMatrix* centres, int n)
{
    bool changed = false;
    for (int c = 0; c < centres->rows; ++c)
        sizes[c] = 0;
    for (int i = 0; i < n; ++i) {
        const double* x = features->data + static_cast<size_t>(rows[i]) * features->cols;
        int c = nearest_centre(x, centres);
        changed = changed || c != assignment[i];
        assignment[i] = c;
        ++sizes[c];
    }
    return changed;
}

// Each centre becomes the mean of its rows; one without rows stays.
void update_centres(const DataMatrix* features, const int* rows, const int* assignment,
                    const int* sizes, DataMatrix* centres, int n)
{
    int D = features->cols;
    for (int c = 0; c < centres->rows; ++c)
        if (sizes[c] > 0)
            for (int j = 0; j < D; ++j)
                centres->data[static_cast<size_t>(c) * D + j] = 0.0;
    for (int i = 0; i < n; ++i) {
        const double* x = features->data + static_cast<size_t>(rows[i]) * D;
        double* centre = centres->data + static_cast<size_t>(assignment[i]) * D;
        for (int j = 0; j < D; ++j)
            centre[j] += x[j];
    }
    for (int c = 0; c < centres->rows; ++c)
        if (sizes[c] > 0)
            for (int j = 0; j < D; ++j)
                centres->data[static_cast<size_t>(c) * D + j] *= 1.0 / sizes[c];
}

}  // namespace

int kmeans_cluster(const DataMatrix* features, const int* rows, int* assignment, int* sizes,
                   DataMatrix* centres, int n, int K, int maxIt)
{
    for (int i = 0; i < n; ++i)
        assignment[i] = 0;
    seed_centres(features, rows, centres, n, K);
    int limit = maxIt > 0 ? maxIt : kUnlimitedPassCap;
    print_message("Iterations: ");
    int it = 0;
    for (;;) {
        print_message("#");
        bool changed = assign_rows(features, rows, assignment, sizes, centres, n);
        if (it >= 1 && (it == limit || !changed))
            break;
        update_centres(features, rows, assignment, sizes, centres, n);
        ++it;
    }
    print_message("\n");
    return it == limit ? 0 : it;
}
