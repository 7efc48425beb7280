// Option strings and model-file names of the classifiers' kernels.
#include "plugins/kernel_classifier/kernel_options.h"

#include <cstdlib>
#include <cstring>

#include "scriptrun/messages.h"
#include "support/kernel_matrix.h"
#include "support/options.h"

namespace {

// The option key of parameter p of each kernel code, and its default.
struct ParameterKey {
    const char* option;    // key in the option string
    const char* attribute; // attribute of the model file's "kernel" element
    double fallback;       // value when the key is absent
};

const ParameterKey polynomial_keys[] = {{"degree", "degree", 3.0}, {"delta", "delta", 1.0}};
const ParameterKey exponential_keys[] = {{"sigma", "sigma", 2.0}};
const ParameterKey user_keys[] = {{"kernelparam1", "param1", 0.0},
                                  {"kernelparam2", "param2", 0.0},
                                  {"kernelparam3", "param3", 0.0},
                                  {"kernelparam4", "param4", 0.0},
                                  {"kernelparam5", "param5", 0.0}};

// The parameter keys of one kernel code.
struct KernelKeys {
    const char* name;          // model-file name, also the option's prefix source
    const char* prefix;        // beginning of the "kernel" value that selects it
    const ParameterKey* keys;  // its parameters p0, p1, ...
    int count;                 // how many
};

const KernelKeys kernels[] = {{"linear", "lin", nullptr, 0},
                              {"polynomial", "poly", polynomial_keys, 2},
                              {"exponential", "exp", exponential_keys, 1},
                              {"user", "user", user_keys, 5}};

}  // namespace

bool read_cache_size(const char* options, const char* prefix, int* cacheSize)
{
    *cacheSize = 0;
    if (read_whole_option(options, "cachesize", cacheSize) != OptionRead::refused)
        return true;
    print_message("%s: cachesize must be a whole number within the range of an int\n", prefix);
    return false;
}

bool kernel_choice_usable(const KernelChoice& choice, const char* prefix)
{
    int p;
    KernelFault fault = choice.code < 0 ? KernelFault::none
                                        : kernel_fault(choice.code, choice.param, &p);
    if (fault == KernelFault::none)
        return true;
    print_message("%s: %s %s\n", prefix, kernels[choice.code].keys[p].option,
                  kernel_fault_text(fault));
    return false;
}

bool read_kernel_choice(const char* options, const char* prefix, KernelChoice* choice)
{
    *choice = KernelChoice{-1, {0.0, 0.0, 0.0, 0.0, 0.0}};
    char* value = get_option_value(options, "kernel");
    if (value == nullptr)
        return true;
    for (int code = 0; code < 4; code++) {
        const char* start = kernels[code].prefix;
        if (std::strncmp(value, start, std::strlen(start)) == 0)
            choice->code = code;
    }
    std::free(value);
    if (choice->code < 0)
        return true;
    const KernelKeys& k = kernels[choice->code];
    for (int p = 0; p < k.count; p++) {
        choice->param[p] = k.keys[p].fallback;
        if (!read_real_setting(options, k.keys[p].option, &choice->param[p], prefix))
            return false;
    }
    return true;
}

const char* kernel_function_name(int code)
{
    return code >= 0 && code < 4 ? kernels[code].name : nullptr;
}

int kernel_code_of_name(const char* name)
{
    if (name == nullptr)
        return -1;
    for (int code = 0; code < 4; code++)
        if (std::strcmp(name, kernels[code].name) == 0)
            return code;
    return -1;
}

const char* kernel_parameter_name(int code, int p)
{
    if (code < 0 || code > 3 || p < 0 || p >= kernels[code].count)
        return nullptr;
    return kernels[code].keys[p].attribute;
}
