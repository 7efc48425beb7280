// Kernel settings of the kernel classifiers: the kernel chosen by an option
// string, and the names under which model files store each kernel.
#ifndef KERNEL_CLASSIFIER_KERNEL_OPTIONS_H
#define KERNEL_CLASSIFIER_KERNEL_OPTIONS_H

// A kernel as options or a model file give it.
struct KernelChoice {
    int code;         // 0 linear, 1 polynomial, 2 exponential, 3 user; -1 none chosen
    double param[5];  // p0..p4; 0 where the kernel takes none
};

// "kernel" selects by the beginning of its value ("lin", "poly", "exp",
// "user"); then only the chosen kernel's keys are read: degree (3.0) and
// delta (1.0), sigma (2.0), kernelparam1..5 (0). code is -1 when the key is
// absent or names no kernel; every parameter is then 0. False after the
// refusal of a parameter that is not a finite number (read_real_setting).
bool read_kernel_choice(const char* options, const char* prefix, KernelChoice* choice);

// Whether the chosen kernel can be used (kernel_fault); otherwise prints
// "<prefix>: <option> <fault>\n", naming the option of the parameter at
// fault, and returns false. No kernel chosen is no fault.
bool kernel_choice_usable(const KernelChoice& choice, const char* prefix);

// "cachesize" as a whole number within int into *cacheSize (0 when
// absent); false after "<prefix>: cachesize must be a whole number within
// the range of an int\n".
bool read_cache_size(const char* options, const char* prefix, int* cacheSize);

// Model-file name of kernel code 0..3 ("linear" .. "user").
const char* kernel_function_name(int code);

// The code of a model-file kernel name; -1 for any other text or null.
int kernel_code_of_name(const char* name);

// Attribute name of parameter p (0..4) of kernel code; null when that kernel
// has no such parameter.
const char* kernel_parameter_name(int code, int p);

#endif
