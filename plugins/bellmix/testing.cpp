// The two ways of classifying test rows, and their report.
#include "plugins/bellmix/testing.h"

#include <cmath>
#include <limits>

#include "scriptrun/messages.h"

// One parse of the file, one pass over its MIXTURE elements.
std::vector<std::unique_ptr<MixtureModel>> read_class_mixtures(const char* file, int C)
{
    std::vector<std::unique_ptr<MixtureModel>> mixtures(1);
    XMLParser* handle = nullptr;
    bool read = XMLopen(&handle, file);
    if (!read) {
        print_message("BELLMIX: the XML file name is not valid!\n");
        print_open_failure(&handle, file);
    }
    for (int c = 1; read && c <= C; ++c) {
        mixtures.emplace_back(new MixtureModel(&handle, c));
        read = mixtures.back()->isComplete();
    }
    XMLclose(&handle);
    if (!read)
        mixtures.clear();
    return mixtures;
}

// Compared in the log domain, where densities of many features do not
// underflow to 0. A log-likelihood of minus infinity is a likelihood of 0;
// nan or plus infinity is no likelihood, and the row is refused.
int class_by_likelihood(std::vector<std::unique_ptr<MixtureModel>>& mixtures, const double* row,
                        int rowNumber)
{
    int chosen = 0, C = static_cast<int>(mixtures.size()) - 1;
    double best = 0.0;
    for (int c = 1; c <= C; ++c) {
        double L = mixtures[c]->log_likelihood(row);
        if (std::isnan(L) || L == std::numeric_limits<double>::infinity()) {
            print_message("BELLMIX: the likelihood of class %d is not a finite number for row "
                          "%d\n", c, rowNumber);
            return 0;
        }
        if (c == 1 || L > best) {
            best = L;
            chosen = c;
        }
    }
    return chosen;
}

int class_by_network(RbfNetwork* net, const double* row, int rowNumber)
{
    const double* out = net->output(row);
    int chosen = 0;
    for (int j = 0; j < net->getNumOfClasses(); ++j) {
        if (!std::isfinite(out[j])) {
            print_message("BELLMIX: the network output of class %d is not a finite number for "
                          "row %d\n", j + 1, rowNumber);
            return 0;
        }
        if (out[j] > out[chosen])
            chosen = j;
    }
    return chosen + 1;
}

int count_correct_by_likelihood(std::vector<std::unique_ptr<MixtureModel>>& mixtures,
                                const DataMatrix* features, const DataMatrix* labels)
{
    int correct = 0;
    for (int i = 0; i < features->rows; ++i) {
        int c = class_by_likelihood(mixtures, features->data + static_cast<size_t>(i) *
                                                  features->cols, i + 1);
        if (c == 0)
            return -1;
        correct += labels->data[i] == c;
    }
    return correct;
}

// A row is right when its label minus 1 equals the output index chosen.
int count_correct_by_network(RbfNetwork* net, const DataMatrix* features,
                             const DataMatrix* labels)
{
    int correct = 0;
    for (int i = 0; i < features->rows; ++i) {
        int c = class_by_network(net, features->data + static_cast<size_t>(i) * features->cols,
                                 i + 1);
        if (c == 0)
            return -1;
        correct += labels->data[i] - 1.0 == c - 1;
    }
    return correct;
}

void print_test_report(int correct, int rows)
{
    if (correct < 0)
        return;
    print_message("\n\nCorrect classifications: %5.2lf%% (%d from %d)\n",
                  100.0 * correct / rows, correct, rows);
}
