// Script functions of the pair-weighted discriminant plug-in: compute_groupfold
// trains and writes the model file, execute_groupfold projects a database.
#include <new>

#include "filesave/filesave.h"
#include "plugins/discriminant_common/arguments.h"
#include "plugins/discriminant_common/execute.h"
#include "plugins/discriminant_common/model_file.h"
#include "plugins/groupfold/transform.h"
#include "scriptrun/messages.h"

namespace {

const DiscriminantTexts groupfold_texts = {
    "GROUPFOLD", "compute_groupfold", "empty the input matrix",
    "the XML file name is not valid!"};

}  // namespace

// (database matrix, model file name [, options]): option keys "spring" (weight
// of a pair of equal labels, default -1) and "antispring" (default 1).
PLUGIN_EXPORT void* compute_groupfold(void** values, int* types, int count, int* resultType)
{
    *resultType = VALUE_EMPTY;
    ComputeArguments args;
    if (!check_compute_arguments(values, types, count, groupfold_texts, &args))
        return nullptr;
    PairWeights weights;
    const char* prefix = groupfold_texts.compute_prefix;
    if (!read_pair_weights(args.options, groupfold_texts.tag, &weights) ||
        !check_training_values(args.db, prefix) ||
        !output_writable(print_message, groupfold_texts.tag, "model file", args.file))
        return nullptr;
    try {
        OwnedMatrix q;
        if (!report_training_status(prefix, train_groupfold(args.db, weights, &q)))
            return nullptr;
        LinearModel model{groupfold_texts.tag, args.file, args.db->rows, args.db->cols - 1, {},
                          q.get()};
        write_linear_model(model);
    } catch (const std::bad_alloc&) {
        report_training_status(prefix, TrainStatus::no_memory);
    }
    return nullptr;
}

// (database matrix, model file name): rows x (m + 1), m the stored
// feature_number read as the number of output features.
PLUGIN_EXPORT void* execute_groupfold(void** values, int* types, int count, int* resultType)
{
    return execute_linear_model(values, types, count, resultType, groupfold_texts,
                                FeatureNumberRole::outputs);
}
