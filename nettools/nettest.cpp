// nettest: applies the network of stem".wts" to stem".test" and prints the
// confusion matrices and the ratio of correct answers, plain and weighted
// with the training class frequencies of stem".fre".
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "nettools/console.h"
#include "nettools/data_file.h"
#include "nettools/net_files.h"

namespace {

struct TesterRun {
    DataFile data;              // rows of stem".test"
    int classes = 0;            // largest class index + 1
    std::vector<int> counts;    // training rows per class, from stem".fre"
    bool apriori = false;       // counts were read
    NetGraph net{};             // the network
    int halfWidth = 0;          // b: rows on each side of the tested row
    int tests = 0;              // windows that lie inside the data
};

struct TestTally {
    int n = 0;                   // outputs of the network: the matrices' order
    std::vector<int> plain;      // n x n, row = answer, column = correct class
    std::vector<int> prior;      // n x n, answers weighted with the frequencies
    int correct = 0;             // answers equal to the class
    int priorCorrect = 0;        // weighted answers equal to the class
    float correctSum = 0.0f;     // winning outputs of correct answers
    float wrongSum = 0.0f;       // winning outputs of wrong answers
};

void read_test_data(const std::string& stem, TesterRun* run)
{
    read_data_or_exit(stem + ".test", "testfile", kMaxLabel, false, "Cannot find testfile!\n",
                      &run->data);
    run->classes = run->data.largest + 1;
    printf("Number of classes in testfile: %i\n", run->classes);
    int frequencies = read_class_frequencies(stem + ".fre", run->classes, &run->counts);
    if (frequencies == 4)
        exit_after_key(1);
    if (frequencies != 0)
        printf("No or errorenous .fre file!\n");
    else
        run->apriori = true;
}

void load_network(const std::string& stem, const std::string& normName, TesterRun* run)
{
    std::string weights = stem + ".wts";
    if (!file_exists(weights)) {
        int error = errno;
        printf("Cannot find weightsfile!\n");
        print_missing_file(weights, error);
        exit_after_key(1);
    }
    bool normalized = !normName.empty() && file_exists(normName);
    int error = errno;
    printf(normalized ? "On-line Normalization is On!\n" : "Cannot find normfile!\n");
    // Without the second argument no normalisation file was looked for.
    if (!normalized && !normName.empty())
        print_missing_file(normName, error);
    // A network can read no more inputs than the test data holds: a file
    // claiming more is read for its shape only and refused by check_fit.
    long long held = static_cast<long long>(run->data.features) * run->data.lines;
    int layers = net_load(&run->net, weights, normName,
                          held < INT_MAX ? static_cast<int>(held) : INT_MAX);
    if (layers < 0 && layers != NET_READ_SHAPE_ONLY)
        exit_after_key(1);
    print_loaded_sizes(&run->net);
    print_output_layer(&run->net);
}

// Inputs equal to the features test every row; a multiple k of them tests
// windows of k rows that lie wholly inside the data, each for its middle
// row (the earlier of two middles when k is even). A window longer than
// the data cannot be tested at all.
void check_fit(TesterRun* run)
{
    int inputs = run->net.inputCount, u = run->data.features, lines = run->data.lines;
    bool fits = inputs == u;
    run->tests = lines;
    if (inputs > u && inputs % u == 0) {
        int k = inputs / u;
        run->halfWidth = (k - 1) / 2;
        printf("Assuming that training was performed with %i neighboring raws!\n", run->halfWidth);
        run->tests = lines - k + 1;
        fits = k <= lines;
    }
    if (!fits || run->net.outputCount < run->classes) {
        printf("Incompatible datafile and weightsfile!!\n");
        exit_after_key(1);
    }
}

// First index of the largest value: later ones win only when greater.
int first_largest(const std::vector<float>& v)
{
    int best = 0;
    for (size_t j = 1; j < v.size(); ++j)
        if (v[j] > v[best])
            best = static_cast<int>(j);
    return best;
}

void test_one(TesterRun* run, int t, TestTally* tally, std::vector<float>* out,
              std::vector<float>* weighted)
{
    const float* x = run->data.values.data() + static_cast<size_t>(t) * run->data.features;
    const float* y = net_forward(&run->net, x);
    int n = tally->n;
    for (int j = 0; j < n; ++j) {
        // No answer can be taken from an output that is not a number.
        if (!std::isfinite(y[j])) {
            printf("Output %i of test %i is not a finite number: the test is refused!\n", j + 1,
                   t + 1);
            exit_after_key(1);
        }
        (*out)[j] = y[j];
        int count = j < static_cast<int>(run->counts.size()) ? run->counts[j] : 0;
        (*weighted)[j] = static_cast<float>(count) * y[j];
    }
    int answer = first_largest(*out);
    int prior = run->apriori ? first_largest(*weighted) : answer;
    int truth = run->data.classes[t + run->halfWidth];
    ++tally->plain[static_cast<size_t>(answer) * n + truth];
    ++tally->prior[static_cast<size_t>(prior) * n + truth];
    if (answer == truth) {
        ++tally->correct;
        tally->correctSum += y[answer];
    } else {
        tally->wrongSum += y[answer];
    }
    tally->priorCorrect += prior == truth;
}

void print_matrix(const char* title, const std::vector<int>& cells, int n)
{
    printf("\n");
    printf("%s", title);
    printf("----------correct class----------->\n\n");
    printf("     ");
    for (int c = 1; c <= n; ++c)
        printf("%5i", c);
    printf("\n");
    for (int r = 1; r <= n; ++r) {
        printf("%5i", r);
        for (int c = 0; c < n; ++c)
            printf("%5i", cells[static_cast<size_t>(r - 1) * n + c]);
        printf("\n");
    }
}

// Ratios whose divisor is 0 are printed as 0.
double ratio(double value, int divisor)
{
    return divisor != 0 ? value / divisor : 0.0;
}

float mean_output(float sum, int divisor)
{
    return divisor != 0 ? sum / static_cast<float>(divisor) : 0.0f;
}

void report(const TesterRun& run, const TestTally& tally)
{
    print_matrix("Confusion Matrix without a priori information:\n\n", tally.plain, tally.n);
    printf("Self confidence on correct vs. incorrect cases: %f %f\n",
           mean_output(tally.correctSum, tally.correct),
           mean_output(tally.wrongSum, run.tests - tally.correct));
    printf("\n");
    if (run.apriori)
        print_matrix("Confusion Matrix with a priori information:\n\n", tally.prior, tally.n);
    printf("\n");
    printf("Ratio of correct answers: %f (%i from %i)\n", ratio(100.0 * tally.correct, run.tests),
           tally.correct, run.tests);
    if (run.apriori)
        printf("Using a priori information: %f\n", ratio(100.0 * tally.priorCorrect, run.tests));
}

}  // namespace

int tester_main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        printf("Parameters: Testfile-stem [Normalize]\n");
        exit_after_key(1);
    }
    std::string stem = argv[1];
    TesterRun run;
    read_test_data(stem, &run);
    load_network(stem, argc == 3 ? stem + ".trf" : std::string(), &run);
    check_fit(&run);
    TestTally tally;
    tally.n = run.net.outputCount;
    std::vector<float> out, weighted;
    try {
        tally.plain.assign(static_cast<size_t>(tally.n) * tally.n, 0);
        tally.prior = tally.plain;
        out.resize(tally.n);
        weighted.resize(tally.n);
    } catch (const std::bad_alloc&) {
        printf("Not enough memory!\n");
        exit_after_key(1);
    }
    printf("Testing...\n");
    for (int t = 0; t < run.tests; ++t)
        test_one(&run, t, &tally, &out, &weighted);
    report(run, tally);
    wait_for_key();
    net_destroy(&run.net);
    return 0;
}

int main(int argc, char** argv)
{
    return tester_main(argc, argv);
}
