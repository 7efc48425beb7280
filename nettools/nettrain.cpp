// nettrain: trains a feed-forward network on stem".data" and writes
// stem".wts" and stem".fre". Arguments, read, check, train, write.
#include <cmath>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "filesave/filesave.h"
#include "nettools/console.h"
#include "nettools/data_file.h"
#include "nettools/net_files.h"
#include "nettools/sampling.h"
#include "nettools/text_numbers.h"

namespace {

struct TrainerArgs {
    std::string stem;  // path stem of the three files
    int hidden;        // hidden units of a new network
    int iterations;    // epochs, or the patience with validation
    float learnRate;   // rate; above 0.5 the training share; ELM threshold
    float classSamp;   // 0 full, 1 uniform class sampling, else the factor
    int softmax;       // output kind of a new network
};

struct TrainerRun {
    DataFile data;                 // all rows of stem".data"
    int classes = 0;               // largest class index + 1
    int trainRows = 0;             // the first trainRows rows train
    NetGraph* net = nullptr;       // the network trained
    int layerCount = 1;            // as read from stem".wts"; 1 when created
    std::vector<int> classIndex;   // training rows grouped by class
    std::vector<int> classCounts;  // training rows per class
    ClassSampler sampler{0, nullptr};
};

[[noreturn]] void usage()
{
    printf("Parameters: Trainfile-stem NumHidden IterationNum LearnRate ClassSampOn [SoftmaxOn]\n");
    printf("Parameters: LearnRate>0.5 means cross-validation; In this case IterationNum\n");
    printf("is the number of maximum iterations with the error not improving.\n");
    printf("ClassSampOn = 0 means full sampling; = 1 means class sampling; values in (0,1) mean\n");
    printf("frequency-balanced sampling with this weight.\n");
    exit_after_key(1);
}

[[noreturn]] void bad_argument(int position, const char* name, const char* what)
{
    printf("Argument %d (%s) must be %s!\n", position, name, what);
    exit_after_key(1);
}

TrainerArgs parse_args(int argc, char** argv)
{
    if (argc < 6 || argc > 7)
        usage();
    TrainerArgs a{argv[1], 0, 0, 0.0f, 0.0f, 0};
    double rate = 0.0, samp = 0.0;
    if (!parse_whole(argv[2], &a.hidden) || a.hidden < 0)
        bad_argument(2, "NumHidden", "a whole number of 0 or more");
    if (!parse_whole(argv[3], &a.iterations))
        bad_argument(3, "IterationNum", "a whole number");
    if (!parse_real(argv[4], &rate))
        bad_argument(4, "LearnRate", "a number");
    if (!parse_real(argv[5], &samp))
        bad_argument(5, "ClassSampOn", "a number");
    if (argc == 7 && (!parse_whole(argv[6], &a.softmax) || a.softmax < 0 ||
                      a.softmax >= static_cast<int>(UNIT_KIND_COUNT)))
        bad_argument(6, "SoftmaxOn", "a whole number from 0 to 4");
    a.learnRate = static_cast<float>(rate);
    a.classSamp = static_cast<float>(samp);
    return a;
}

void read_training_data(const TrainerArgs& args, TrainerRun* run)
{
    read_data_or_exit(args.stem + ".data", "trainfile", kMaxLabel, true, "Cannot find file!\n",
                      &run->data);
    run->classes = run->data.largest + 1;
    printf("Number of classes in datafile: %i\n", run->classes);
    for (int c = 0; c < run->classes; ++c)
        if (run->data.classCounts[c] == 0)
            printf("Class %i has no examples!\n", c + 1);
}

// The first trainRows rows train, the rest validate; a split that leaves
// the epochs nothing to train on is refused before any network is made.
void split_rows(const TrainerArgs& args, TrainerRun* run)
{
    int lines = run->data.lines;
    run->trainRows = training_rows(lines, args.learnRate);
    bool epochs = run->trainRows < lines || args.iterations > 0;
    std::string why = split_refusal(lines, run->trainRows, args.learnRate, run->classes,
                                    epochs && args.classSamp == 1.0f);
    if (!why.empty()) {
        printf("Cannot train: %s!\n", why.c_str());
        exit_after_key(1);
    }
}

// Training rows grouped by class in file order, for the class orders.
void build_class_index(const TrainerArgs& args, TrainerRun* run)
{
    if (args.classSamp == 0.0f)
        return;
    run->classCounts.assign(run->classes, 0);
    for (int r = 0; r < run->trainRows; ++r)
        ++run->classCounts[run->data.classes[r]];
    std::vector<int> next(run->classes, 0);
    for (int c = 1; c < run->classes; ++c)
        next[c] = next[c - 1] + run->classCounts[c - 1];
    run->classIndex.assign(run->trainRows, 0);
    for (int r = 0; r < run->trainRows; ++r)
        run->classIndex[next[run->data.classes[r]]++] = r;
}

// A weights file of the same stem is trained further; otherwise a new
// three-layer network is made.
void make_network(const TrainerArgs& args, TrainerRun* run)
{
    std::string weights = args.stem + ".wts";
    if (file_exists(weights)) {
        // A file claiming more inputs than the data has features is read for
        // its shape only, and refused as incompatible below.
        run->net = new NetGraph();
        run->layerCount = net_load(run->net, weights, "", run->data.features);
        if (run->layerCount < 0 && run->layerCount != NET_READ_SHAPE_ONLY)
            exit_after_key(1);
        print_loaded_sizes(run->net);
    } else {
        printf("Creating NEURNET of size %i, %i, %i\n", run->data.features, args.hidden,
               run->classes);
        const int sizes[3] = {run->data.features, args.hidden, run->classes};
        std::string why = net_memory_refusal(net_layered_bytes(sizes, 3));
        if (!why.empty()) {
            printf("Not enough memory: %s!\n", why.c_str());
            exit_after_key(1);
        }
        run->net = net_create(run->data.features, args.hidden, run->classes,
                              static_cast<UnitKind>(args.softmax));
        if (!run->net) {
            printf("Not enough memory!\n");
            exit_after_key(1);
        }
    }
    print_output_layer(run->net);
    if (run->net->inputCount != run->data.features || run->net->outputCount < run->classes) {
        printf("Incompatible datafile and weightsfile!!\n");
        exit_after_key(1);
    }
}

// w_c = f / classes + (1 - f) * count_c / total over all rows.
void build_sampler(const TrainerArgs& args, TrainerRun* run)
{
    float total = 0.0f;
    for (int c = 0; c < run->classes; ++c)
        total += static_cast<float>(run->data.classCounts[c]);
    std::vector<float> w(run->classes);
    float f = args.classSamp;
    for (int c = 0; c < run->classes; ++c)
        w[c] = f / static_cast<float>(run->classes) +
               (1.0f - f) * static_cast<float>(run->data.classCounts[c]) / total;
    sampler_build(&run->sampler, w.data(), run->classes);
}

bool fits_by_least_squares(const TrainerArgs& args, const TrainerRun& run)
{
    return args.iterations == 0 && run.net->outputKind == UNIT_LINEAR;
}

void print_regime(const TrainerArgs& args, const TrainerRun& run)
{
    if (fits_by_least_squares(args, run)) {
        printf("Optimizing the Output Weights with the Extreme Learning Machine\n");
        if (args.learnRate > 0.0f)
            printf("Discarding Output Weights Smaller Than %f\n", args.learnRate);
    } else if (args.learnRate > 0.5f) {
        printf("Training on %.2f percent of the data with cross-validation on the rest\n",
               args.learnRate * 100.0f);
        printf("Max. number of iterations with increasing error: %i\n", args.iterations);
    } else {
        printf("Training %i iterations with LearnRate=%f\n", args.iterations, args.learnRate);
    }
    if (args.classSamp == 1.0f)
        printf("Training order: Unifrom Class Sampling\n");
    else if (args.classSamp == 0.0f)
        printf("Training order: Full Database Sampling\n");
    else
        printf("Training order: Frequency-Balanced Sampling with Interpolation Factor %f\n",
               args.classSamp);
}

float run_epoch(const TrainerArgs& args, TrainerRun* run, float rate)
{
    const float* data = run->data.values.data();
    if (args.classSamp == 1.0f)
        return net_epoch_class_uniform(run->net, data, run->trainRows / run->classes,
                                       run->classes, run->classIndex.data(),
                                       run->classCounts.data(), rate);
    if (args.classSamp == 0.0f)
        return net_epoch_full(run->net, data, run->data.classes.data(), run->trainRows, rate);
    return net_epoch_frequency(run->net, data, run->trainRows, run->classes,
                               run->classIndex.data(), run->classCounts.data(), rate,
                               &run->sampler);
}

// Epochs until IterationNum epochs in a row bring no better validation
// error or the managed rate falls to 0.01. The best network is kept.
void train_early_stopping(const TrainerArgs& args, TrainerRun* run)
{
    NetGraph* net = run->net;
    int features = run->data.features, validation = run->data.lines - run->trainRows;
    const float* rows = run->data.values.data() + static_cast<size_t>(run->trainRows) * features;
    const int* labels = run->data.classes.data() + run->trainRows;
    std::vector<float> snapshot(static_cast<size_t>(net->weightCount) + net->unitCount);
    RateSchedule schedule;
    float best = 100000.0f;
    int iteration = 1, misses = 0;
    bool taken = false;
    do {
        printf("LearnRate=%f\n", schedule.rate);
        float e = run_epoch(args, run, schedule.rate);
        printf("Average error after iteration %i: %f\n", iteration, e);
        float v = validation_error(net, rows, labels, features, validation);
        printf("Average error on validation set: %f", v);
        ++iteration;
        rate_schedule_step(&schedule, e);
        if (v < best) {
            best = v;
            net_save_weights(net, snapshot.data());
            taken = true;
            misses = 0;
        } else {
            ++misses;
        }
        printf(" (%i)\n", misses);
    } while (misses < args.iterations && schedule.rate > 0.01);
    if (taken)
        net_restore_weights(net, snapshot.data());
    else
        printf("No validation error below the start value: keeping the last weights\n");
}

void train_fixed(const TrainerArgs& args, TrainerRun* run)
{
    if (fits_by_least_squares(args, *run)) {
        // The fit is the run's only training: when it is refused (it has
        // said why) nothing was trained, and nothing is written.
        float error = 0.0f;
        if (!net_fit_output_weights(run->net, run->data.values.data(),
                                    run->data.classes.data(), run->data.lines, args.learnRate,
                                    &error) ||
            !std::isfinite(error)) {
            printf("The output weights could not be fitted; no file written!\n");
            exit_after_key(1);
        }
        printf("Average error after ELM training: %f\n", error);
        wait_for_key();
    }
    for (int i = 1; i <= args.iterations; ++i)
        printf("Average error after iteration %i: %f\n", i, run_epoch(args, run, args.learnRate));
}

[[noreturn]] void cannot_write(const std::string& path, const std::string& why)
{
    printf("Cannot write file %s: %s!\n", path.c_str(), why.c_str());
    exit_after_key(1);
}

// An output the save would refuse (no regular file, not writable, a new
// file in a folder that is missing or closed, one that must be written in
// place but may not be read, or the two names one file) is refused before
// training, not after it.
void check_output_files(const TrainerArgs& args)
{
    std::vector<std::string> paths = {args.stem + ".wts", args.stem + ".fre"};
    size_t failed = 0;
    std::string why = replace_refusal(paths, &failed);
    if (!why.empty())
        cannot_write(paths[failed], why);
}

// Both files are replaced together or neither is; a network that holds a
// value that is not a finite number is not written at all.
void write_results(const TrainerArgs& args, const TrainerRun& run)
{
    if (!net_is_finite(run.net)) {
        printf("Training diverged: the network holds values that are not finite numbers; "
               "no file written!\n");
        exit_after_key(1);
    }
    std::vector<FileText> files(2);
    files[0] = {args.stem + ".wts", net_weights_text(run.net, run.layerCount != 0)};
    files[1] = {args.stem + ".fre", class_frequencies_text(run.classes, run.data.classCounts.data())};
    size_t failed = 0;
    std::string why;
    if (!replace_files(files, &failed, &why))
        cannot_write(files[failed].path, why);
}

}  // namespace

int trainer_main(int argc, char** argv)
{
    // Beyond a file-size limit a write must fail with EFBIG, so that the
    // save reports it and removes its temporary file, rather than the
    // signal ending the process half-way.
    signal(SIGXFSZ, SIG_IGN);
    TrainerArgs args = parse_args(argc, argv);
    check_output_files(args);
    TrainerRun run;
    read_training_data(args, &run);
    split_rows(args, &run);
    build_class_index(args, &run);
    make_network(args, &run);
    build_sampler(args, &run);
    print_regime(args, run);
    if (run.trainRows < run.data.lines)
        train_early_stopping(args, &run);
    else
        train_fixed(args, &run);
    write_results(args, run);
    sampler_free(&run.sampler);
    net_destroy(run.net);
    delete run.net;
    return 0;
}

int main(int argc, char** argv)
{
    return trainer_main(argc, argv);
}
