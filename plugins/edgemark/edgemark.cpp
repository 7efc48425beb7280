// Script functions of the exponential-loss kernel classifier:
// EDGEMARKMakeInit writes the init file, EDGEMARKLearn trains every class and
// writes the model file, EDGEMARKEvaluate classifies a database.
#include <string>

#include "plugins/edgemark/exp_loss.h"
#include "plugins/edgemark/model.h"
#include "plugins/kernel_classifier/init_file.h"
#include "plugins/kernel_classifier/script_flow.h"

namespace {

// Every class starts from zero coefficients: "0 " N times.
std::string zero_coefficients(int n)
{
    std::string text;
    text.reserve(static_cast<size_t>(n) * 2);
    for (int i = 0; i < n; i++)
        text += "0 ";
    return text;
}

int train_class(KernelClassModel* cls, const LearningSettings& s)
{
    return edgemark_train_class(cls, s.gradThreshold, s.alpha, s.maxIter, s.maxArmijoIter,
                                s.armijoMultiplier, s.armijoDelta, s.maxStepSize, s.m);
}

// Both script functions load with no kernel cache: training makes its own.
int load_model(XMLParser** document, KernelClassModel** classes, const DataMatrix* samples)
{
    return edgemark_load_model(document, classes, samples, 0);
}

const ClassifierHooks edgemark_hooks = {&edgemark_names, true, train_class, load_model,
                                        edgemark_save_model, edgemark_free_model};

}  // namespace

// (database matrix, init file name [, string]): 1 when the file was written.
PLUGIN_EXPORT void* EDGEMARKMakeInit(void** values, int* types, int count, int* resultType)
{
    return make_init_file(values, types, count, resultType, edgemark_names, zero_coefficients);
}

// (init file name, model file name [, options]): 1 when every class was trained.
PLUGIN_EXPORT void* EDGEMARKLearn(void** values, int* types, int count, int*)
{
    return learn_classifier(values, types, count, edgemark_hooks);
}

// (model file name, database matrix): rows x (C + 1) of +1/-1 and the label.
PLUGIN_EXPORT void* EDGEMARKEvaluate(void** values, int* types, int count, int* resultType)
{
    return evaluate_classifier(values, types, count, resultType, edgemark_hooks,
                               edgemark_classify);
}
