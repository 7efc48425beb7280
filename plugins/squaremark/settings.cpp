// The option string of train_squaremark.
#include <cmath>

#include "plugins/discriminant_common/arguments.h"
#include "plugins/kernel_classifier/kernel_options.h"
#include "plugins/squaremark/model.h"
#include "scriptrun/messages.h"
#include "support/options.h"

bool read_squaremark_settings(const char* options, SquaremarkSettings* out)
{
    out->cacheSize = read_cache_size(options);
    KernelChoice kernel = read_kernel_choice(options);
    out->kernel = kernel.code < 0 ? 0 : kernel.code;
    for (int p = 0; p < 5; p++)
        out->param[p] = kernel.param[p];
    out->gamma = read_real_option(options, "gamma", 1.0);
    out->epsilon = read_real_option(options, "epsilon", 1e-5);
    // A pivot test against 0 or less accepts the bias row's zero pivot and
    // divides by it, so such an epsilon would leave nothing but NaN.
    if (!(out->epsilon > 0.0)) {
        print_message("train_squaremark: epsilon must be greater than 0\n");
        return false;
    }
    if (!std::isfinite(out->gamma)) {
        print_message("train_squaremark: gamma must be a finite number\n");
        return false;
    }
    return true;
}
