// Script functions of the smooth support vector machine:
// GLIDEMARKMakeInit writes the init file, GLIDEMARKLearn trains every class
// and writes the model file, GLIDEMARKEvaluate classifies a database.
#include <cstdio>
#include <string>

#include "plugins/glidemark/model.h"
#include "plugins/glidemark/smooth_svm.h"
#include "plugins/kernel_classifier/init_file.h"
#include "plugins/kernel_classifier/script_flow.h"
#include "support/random.h"

namespace {

// N starting coefficients drawn from the plug-in's generator, each
// r / 32767 - 0.5 written with "%.10f " (at most 14 characters).
std::string random_coefficients(int n)
{
    std::string text;
    text.reserve(static_cast<size_t>(n) * 14);
    char item[32];
    for (int i = 0; i < n; i++) {
        snprintf(item, sizeof item, "%.10f ", random15() * (1.0 / 32767) - 0.5);
        text += item;
    }
    return text;
}

int train_class(KernelClassModel* cls, const LearningSettings& s)
{
    return glidemark_train_class(cls, s.gradThreshold, s.nu, s.alpha, s.maxIter,
                                 s.maxArmijoIter, s.armijoMultiplier, s.armijoDelta,
                                 s.maxStepSize, s.m);
}

const ClassifierHooks glidemark_hooks = {&glidemark_names, false, train_class,
                                         glidemark_load_model, glidemark_save_model,
                                         glidemark_free_model};

}  // namespace

// (database matrix, init file name [, string]): 1 when the file was written.
PLUGIN_EXPORT void* GLIDEMARKMakeInit(void** values, int* types, int count, int* resultType)
{
    return make_init_file(values, types, count, resultType, glidemark_names,
                          random_coefficients);
}

// (init file name, model file name [, options]): 1 when every class was trained.
PLUGIN_EXPORT void* GLIDEMARKLearn(void** values, int* types, int count, int*)
{
    return learn_classifier(values, types, count, glidemark_hooks);
}

// (model file name, database matrix): rows x (C + 1) of +1/-1 and the label.
PLUGIN_EXPORT void* GLIDEMARKEvaluate(void** values, int* types, int count, int* resultType)
{
    return evaluate_classifier(values, types, count, resultType, glidemark_hooks,
                               glidemark_classify);
}
