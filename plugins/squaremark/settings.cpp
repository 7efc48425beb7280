// The option string of train_squaremark.
#include "plugins/kernel_classifier/kernel_options.h"
#include "plugins/squaremark/model.h"
#include "scriptrun/messages.h"
#include "support/options.h"

bool read_squaremark_settings(const char* options, SquaremarkSettings* out)
{
    const char* prefix = "train_squaremark";
    if (!read_cache_size(options, prefix, &out->cacheSize))
        return false;
    KernelChoice kernel;
    if (!read_kernel_choice(options, prefix, &kernel) || !kernel_choice_usable(kernel, prefix))
        return false;
    out->kernel = kernel.code < 0 ? 0 : kernel.code;
    for (int p = 0; p < 5; p++)
        out->param[p] = kernel.param[p];
    out->gamma = 1.0;
    out->epsilon = 1e-5;
    if (!read_real_setting(options, "gamma", &out->gamma, prefix) ||
        !read_real_setting(options, "epsilon", &out->epsilon, prefix))
        return false;
    // A pivot test against 0 or less accepts the bias row's zero pivot and
    // divides by it, so such an epsilon would leave nothing but NaN.
    if (!(out->epsilon > 0.0)) {
        print_message("train_squaremark: epsilon must be greater than 0\n");
        return false;
    }
    return true;
}
