// Training settings from the option string: defaults, the kernel chosen by
// prefix, its parameters by kernel, and the plug-ins' own keys.
#include <cstdlib>
#include <cstring>

#include "plugins/kernel_frame/kernel_frame.h"
#include "support/options.h"

namespace {

// Prefixes compared in this order, a later match overriding an earlier one;
// no match keeps the linear kernel without a message.
int8_t kernel_code(const char* value)
{
    int8_t code = 0;
    if (strncmp(value, "lin", 3) == 0)
        code = 0;
    if (strncmp(value, "poly", 4) == 0)
        code = 1;
    if (strncmp(value, "exp", 3) == 0)
        code = 2;
    if (strncmp(value, "user", 4) == 0)
        code = 3;
    return code;
}

// The kernel key and the parameter keys of the kernel it selects; the
// per-kernel defaults apply only when the key selects that kernel.
void read_kernel(const char* options, KernelSettings* s)
{
    char* value = get_option_value(options, "kernel");
    if (value == nullptr)
        return;
    s->kernel = kernel_code(value);
    free(value);
    switch (s->kernel) {
    case 1:
        s->param[0] = read_real_option(options, "degree", 3.0);
        s->param[1] = read_real_option(options, "delta", 1.0);
        break;
    case 2:
        s->param[0] = read_real_option(options, "sigma", 2.0);
        break;
    case 3: {
        static const char* const keys[] = {"kernelparam1", "kernelparam2", "kernelparam3",
                                           "kernelparam4", "kernelparam5"};
        for (int k = 0; k < 5; ++k)
            s->param[k] = read_real_option(options, keys[k], 0.0);
        break;
    }
    default:
        break;
    }
}

}  // namespace

KernelSettings read_kernel_settings(const char* options, int n, const KernelTexts& texts)
{
    KernelSettings s{0, 0, {0.0, 0.0, 0.0, 0.0, 0.0}, n, 0.0, 100};
    if (options == nullptr)
        return s;
    s.cache_size = read_int_option(options, "cachesize", 0);
    read_kernel(options, &s);
    s.feanum = read_int_option(options, "feanum", n);
    if (texts.own_key != nullptr && strcmp(texts.own_key, "epsilon") == 0)
        s.epsilon = read_real_option(options, "epsilon", 0.0);
    if (texts.own_key != nullptr && strcmp(texts.own_key, "maxiter") == 0)
        s.maxiter = read_int_option(options, "maxiter", 100);
    return s;
}
