// Script functions of the kernel discriminant plug-in: compute_warpfold
// trains and writes the model file, execute_warpfold projects a database
// through it.
#include "plugins/warpfold/kernel_discriminant.h"

namespace {

const KernelTexts warpfold_texts = {"WARPFOLD", "compute_warpfold", "compute_warpfold",
                                    "execute_warpfold", "V", "epsilon"};

}  // namespace

// (database matrix, model file name [, options]); labels are class numbers
// from 1, truncated.
PLUGIN_EXPORT void* compute_warpfold(void** values, int* types, int count, int* resultType)
{
    return compute_kernel_model(values, types, count, resultType, warpfold_texts,
                                LabelRule::class_number, train_warpfold);
}

// (database matrix, model file name): rows x (m + 1), the label kept last.
PLUGIN_EXPORT void* execute_warpfold(void** values, int* types, int count, int* resultType)
{
    return execute_kernel_model(values, types, count, resultType, warpfold_texts);
}
