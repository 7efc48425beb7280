// Training settings from the option string: defaults, the kernel chosen by
// prefix, its parameters by kernel, and the plug-ins' own keys; counts are
// whole numbers, reals finite numbers and the kernel must be usable, or the
// options are refused.
#include <cstdlib>
#include <cstring>

#include "plugins/kernel_frame/kernel_frame.h"
#include "scriptrun/messages.h"
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

// One parameter's option key and its default when the key is absent.
struct ParameterKey {
    const char* key;  // null: the kernel has no such parameter
    double fallback;  // value when the key does not occur
};

// The parameter keys of each kernel code, p0..p4.
const ParameterKey kParameterKeys[4][5] = {
    {},
    {{"degree", 3.0}, {"delta", 1.0}},
    {{"sigma", 2.0}},
    {{"kernelparam1", 0.0}, {"kernelparam2", 0.0}, {"kernelparam3", 0.0},
     {"kernelparam4", 0.0}, {"kernelparam5", 0.0}}};

// The kernel key and the parameter keys of the kernel it selects; the
// per-kernel defaults apply only when the key selects that kernel. False
// after the refusal of a parameter that is not a finite number.
bool read_kernel(const char* options, KernelSettings* s, const KernelTexts& texts)
{
    char* value = get_option_value(options, "kernel");
    if (value == nullptr)
        return true;
    s->kernel = kernel_code(value);
    free(value);
    for (int p = 0; p < 5; ++p) {
        const ParameterKey& k = kParameterKeys[s->kernel][p];
        if (k.key == nullptr)
            continue;
        s->param[p] = k.fallback;
        if (!read_real_setting(options, k.key, &s->param[p], texts.train_prefix))
            return false;
    }
    return true;
}

// The kernel as the options chose it can be used (kernel_fault); otherwise
// names the option at fault. Parameters that no key sets stay 0.
bool kernel_usable(const KernelSettings& s, const KernelTexts& texts)
{
    int p;
    KernelFault fault = kernel_fault(s.kernel, s.param, &p);
    if (fault == KernelFault::none)
        return true;
    const char* key = s.kernel >= 0 && s.kernel < 4 ? kParameterKeys[s.kernel][p].key : nullptr;
    print_message("%s: %s %s\n", texts.train_prefix, key != nullptr ? key : "kernel",
                  kernel_fault_text(fault));
    return false;
}

// A whole-number option into *target (kept when absent); false after
// "<prefix>: <key> must be a whole number within the range of an int".
bool whole_option(const char* options, const char* key, int* target, const KernelTexts& texts)
{
    if (read_whole_option(options, key, target) != OptionRead::refused)
        return true;
    print_message("%s: %s must be a whole number within the range of an int\n",
                  texts.train_prefix, key);
    return false;
}

}  // namespace

bool read_kernel_settings(const char* options, int n, const KernelTexts& texts,
                          KernelSettings* out)
{
    KernelSettings& s = *out;
    s = KernelSettings{0, 0, {0.0, 0.0, 0.0, 0.0, 0.0}, n, 0.0, 100};
    if (options == nullptr)
        return true;
    if (!whole_option(options, "cachesize", &s.cache_size, texts))
        return false;
    if (!read_kernel(options, &s, texts) || !kernel_usable(s, texts) ||
        !whole_option(options, "feanum", &s.feanum, texts))
        return false;
    if (texts.own_key != nullptr && strcmp(texts.own_key, "epsilon") == 0 &&
        !read_real_setting(options, "epsilon", &s.epsilon, texts.train_prefix))
        return false;
    if (texts.own_key != nullptr && strcmp(texts.own_key, "maxiter") == 0)
        return whole_option(options, "maxiter", &s.maxiter, texts);
    return true;
}
