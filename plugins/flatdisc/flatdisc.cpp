// Script functions of the linear discriminant plug-in: compute_flatdisc
// trains and writes the model file, execute_flatdisc projects a database.
#include <new>

#include "filesave/filesave.h"
#include "plugins/discriminant_common/arguments.h"
#include "plugins/discriminant_common/execute.h"
#include "plugins/discriminant_common/model_file.h"
#include "plugins/flatdisc/transform.h"
#include "scriptrun/messages.h"
#include "support/options.h"

namespace {

const DiscriminantTexts flatdisc_texts = {
    "FLATDISC", "compute_flatdisc", "empty input matrix",
    "the XML file name is not valid or wrong file!"};

}  // namespace

// (database matrix, model file name [, options]): options key "epsilon", a
// real added to the diagonal of W (default 0).
PLUGIN_EXPORT void* compute_flatdisc(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    ComputeArguments args;
    if (!check_compute_arguments(values, types, count, flatdisc_texts, &args))
        return nullptr;
    double epsilon = 0.0;
    const char* prefix = flatdisc_texts.compute_prefix;
    if (!read_real_setting(args.options, "epsilon", &epsilon, flatdisc_texts.tag) ||
        !check_training_values(args.db, prefix) ||
        !output_writable(print_message, flatdisc_texts.tag, "model file", args.file))
        return nullptr;
    try {
        OwnedMatrix v;
        if (!report_training_status(prefix, train_flatdisc(args.db, epsilon, &v)))
            return nullptr;
        LinearModel model{flatdisc_texts.tag, args.file, args.db->rows, args.db->cols - 1,
                          {format_text("epsilon for W matrix diagonal: %e", epsilon),
                           format_text("epsilon for eigenvalue testing: %e",
                                       eigenvalue_tolerance)},
                          v.get()};
        write_linear_model(model);
    } catch (const std::bad_alloc&) {
        report_training_status(prefix, TrainStatus::no_memory);
    }
    return nullptr;
}

// (database matrix, model file name): rows x (l + 1), the label kept last.
PLUGIN_EXPORT void* execute_flatdisc(void** values, int* types, int count, int* resultType)
{
    return execute_linear_model(values, types, count, resultType, flatdisc_texts,
                                FeatureNumberRole::inputs);
}
