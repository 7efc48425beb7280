// The training side of the kernel-model frame: argument and value checks,
// the training rows and their kernel, the centred kernel, the normalisation
// of directions against the kernel, and the call of the plug-in's step.
#include <cstdarg>
#include <cstdio>
#include <new>

#include "filesave/filesave.h"
#include "plugins/kernel_frame/kernel_frame.h"
#include "plugins/kernel_frame/model_file.h"
#include "scriptrun/messages.h"

namespace {

// The arguments of a training call, borrowed from the caller.
struct TrainingArguments {
    const DataMatrix* db;  // database matrix, labels in the last column
    const char* file;      // model file name as given
    const char* options;   // option string; null without a third argument
};

bool check_arguments(void** values, const int* types, int count, const char* prefix,
                     TrainingArguments* out)
{
    if (count < 2) {
        print_message("%s: at least 2 parameters are required\n", prefix);
        return false;
    }
    if (!check_matrix_and_name(types, prefix))
        return false;
    if (count == 3 && types[2] != VALUE_STRING) {
        print_message("%s: 3rd parameter can be a string (containing options)\n", prefix);
        return false;
    }
    if (count > 3) {
        print_message("%s: too much parameter\n", prefix);
        return false;
    }
    const DataMatrix* db = static_cast<const DataMatrix*>(values[0]);
    if (db == nullptr || db->rows <= 0 || db->cols < 2 || db->data == nullptr) {
        print_message("%s: empty the input matrix\n", prefix);
        return false;
    }
    if (values[1] == nullptr) {
        print_message("%s: empty XML file name\n", prefix);
        return false;
    }
    *out = {db, static_cast<const char*>(values[1]),
            count == 3 ? static_cast<const char*>(values[2]) : nullptr};
    return true;
}

// Features must be finite; labels as the plug-in reads them.
bool check_values(const DataMatrix* db, LabelRule rule, const char* prefix)
{
    if (rule == LabelRule::class_number && !check_labels(db, prefix))
        return false;
    return check_finite_values(db, prefix, rule == LabelRule::finite) != 0;
}

// X, y and the kernel record over (X, X) with the settings applied; false
// after a message (or, when the kernel record cannot be made, after the
// support code's own).
bool set_up(const DataMatrix* db, const KernelSettings& s, const char* prefix, TrainingSet* set)
{
    set->n = db->rows;
    set->d = db->cols - 1;
    set->x = make_matrix(set->n, set->d);
    if (!set->x) {
        print_message("%s: not enough memory (X)!\n", prefix);
        return false;
    }
    set->y = make_matrix(set->n, 1);
    if (!set->y) {
        print_message("%s: not enough memory (y)!\n", prefix);
        return false;
    }
    split_features_labels(db, set->x.get(), set->y.get());
    set->kernel = init_kernel_matrix(set->x.get(), set->x.get(), s.cache_size);
    if (set->kernel == nullptr)
        return false;
    set_kernel_type(set->kernel, s.kernel);
    for (int k = 0; k < 5; ++k)
        set_kernel_parameter(set->kernel, k, s.param[k]);
    return true;
}

}  // namespace

std::string format_text(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char small[256];
    va_list again;
    va_copy(again, args);
    int length = vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (length >= static_cast<int>(sizeof small)) {
        text.resize(static_cast<size_t>(length) + 1);
        vsnprintf(&text[0], text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    } else if (length > 0) {
        text.assign(small, static_cast<size_t>(length));
    }
    va_end(again);
    va_end(args);
    return text;
}


bool check_matrix_and_name(const int* types, const char* prefix)
{
    if (types[0] != VALUE_MATRIX) {
        print_message("%s: 1st parameter must be a database matrix\n", prefix);
        return false;
    }
    if (types[1] != VALUE_STRING) {
        print_message("%s: 2nd parameter must be a string (XML file name)\n", prefix);
        return false;
    }
    return true;
}

void print_memory_message(const KernelTexts& texts)
{
    print_message("%s: not enough memory\n", texts.compute_name);
}

OwnedMatrix centred_training_kernel(TrainingSet& set, const KernelTexts& texts)
{
    OwnedMatrix kc = make_matrix(set.n, set.n);
    if (!kc) {
        print_message("%s: not enough memory (K)!\n", texts.train_prefix);
        return nullptr;
    }
    get_centralized_kernel_matrix(set.kernel, kc.get());
    // An overflowing polynomial or a zero width gives values no direction
    // can be computed from; refused before any solver sees them.
    if (!all_finite(kc.get())) {
        print_message("%s: the kernel gives a value that is not a finite number\n",
                      texts.train_prefix);
        return nullptr;
    }
    return kc;
}

void* compute_kernel_model(void** values, const int* types, int count, int* resultType,
                           const KernelTexts& texts, LabelRule labels, TrainingStep step)
{
    *resultType = VALUE_EMPTY;
    TrainingArguments args;
    if (!check_arguments(values, types, count, texts.train_prefix, &args) ||
        !check_values(args.db, labels, texts.train_prefix))
        return nullptr;
    KernelSettings settings;
    if (!read_kernel_settings(args.options, args.db->rows, texts, &settings) ||
        !output_writable(print_message, texts.train_prefix, "model file", args.file))
        return nullptr;
    TrainingSet set{0, 0, nullptr, nullptr, nullptr};
    try {
        KernelModel model;
        if (set_up(args.db, settings, texts.train_prefix, &set) &&
            step(set, settings, texts, &model))
            write_kernel_model(texts, args.file, set, settings, model);
    } catch (const std::bad_alloc&) {
        print_memory_message(texts);
    }
    release_kept_reduction();
    if (set.kernel != nullptr)
        destroy_kernel_matrix(set.kernel);
    return nullptr;
}
