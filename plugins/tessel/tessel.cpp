// Script functions of the class-pair kernel discriminant plug-in:
// compute_tessel trains and writes the model file, execute_tessel projects a
// database through it.
#include "plugins/tessel/pair_kernel.h"

namespace {

const KernelTexts tessel_texts = {"TESSEL", "TESSEL", "compute_tessel", "Execute TESSEL", "V",
                                  nullptr};

}  // namespace

// (database matrix, model file name [, options]); labels are compared as
// stored reals.
PLUGIN_EXPORT void* compute_tessel(void** values, int* types, int count, int* resultType)
{
    return compute_kernel_model(values, types, count, resultType, tessel_texts,
                                LabelRule::finite, train_tessel);
}

// (database matrix, model file name): rows x (m + 1), the label kept last.
PLUGIN_EXPORT void* execute_tessel(void** values, int* types, int count, int* resultType)
{
    return execute_kernel_model(values, types, count, resultType, tessel_texts);
}
