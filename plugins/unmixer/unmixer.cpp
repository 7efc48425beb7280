// Script functions of the kernel independent component plug-in:
// compute_unmixer trains and writes the model file, execute_unmixer projects
// a database through it.
#include "plugins/unmixer/independent_components.h"

namespace {

const KernelTexts unmixer_texts = {"UNMIXER", "UNMIXER", "compute_unmixer", "Execute UNMIXER",
                                   "VW", "maxiter"};

}  // namespace

// (database matrix, model file name [, options]); labels are not used.
PLUGIN_EXPORT void* compute_unmixer(void** values, int* types, int count, int* resultType)
{
    return compute_kernel_model(values, types, count, resultType, unmixer_texts,
                                LabelRule::unused, train_unmixer);
}

// (database matrix, model file name): rows x (m + 1), the label kept last.
PLUGIN_EXPORT void* execute_unmixer(void** values, int* types, int count, int* resultType)
{
    return execute_kernel_model(values, types, count, resultType, unmixer_texts);
}
