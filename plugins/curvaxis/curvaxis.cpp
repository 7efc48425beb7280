// Script functions of the kernel principal component plug-in:
// compute_curvaxis trains and writes the model file, execute_curvaxis
// projects a database through it.
#include "plugins/curvaxis/principal_axes.h"

namespace {

const KernelTexts curvaxis_texts = {"CURVAXIS", "CURVAXIS", "compute_curvaxis",
                                    "Execute CURVAXIS", "V", nullptr};

}  // namespace

// (database matrix, model file name [, options]); labels are not used.
PLUGIN_EXPORT void* compute_curvaxis(void** values, int* types, int count, int* resultType)
{
    return compute_kernel_model(values, types, count, resultType, curvaxis_texts,
                                LabelRule::unused, train_curvaxis);
}

// (database matrix, model file name): rows x (m + 1), the label kept last.
PLUGIN_EXPORT void* execute_curvaxis(void** values, int* types, int count, int* resultType)
{
    return execute_kernel_model(values, types, count, resultType, curvaxis_texts);
}
