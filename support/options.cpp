// Option lookup. The key is found as a plain substring (also inside a longer
// key or a value); its value runs from the first "=" after it up to a blank,
// comma or tab. Callers rely on the first match winning, so keys are asked
// for exactly as written, with no word boundaries.
#include "options.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

char* copy_text(const char* text, size_t length)
{
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (!copy)
        return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

}  // namespace

char* get_option_value(const char* options, const char* key)
{
    if (!options || !key)
        return nullptr;
    const char* found = std::strstr(options, key);
    if (!found)
        return nullptr;
    const char* equals = std::strchr(found, '=');
    if (!equals)
        return copy_text("", 0);
    const char* value = equals + 1;
    return copy_text(value, std::strcspn(value, " ,\t"));
}

double read_real_option(const char* options, const char* key, double fallback)
{
    char* text = get_option_value(options, key);
    if (text == nullptr)
        return fallback;
    double value = std::atof(text);
    std::free(text);
    return value;
}

int truncate_to_int(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

int read_int_option(const char* options, const char* key, int fallback)
{
    return truncate_to_int(read_real_option(options, key, fallback));
}

OptionRead read_whole_option(const char* options, const char* key, int* target)
{
    char* text = get_option_value(options, key);
    if (text == nullptr)
        return OptionRead::absent;
    char* end;
    double value = std::strtod(text, &end);
    bool whole = end != text && *end == '\0' && std::isfinite(value) &&
                 value == std::trunc(value) && value >= static_cast<double>(INT_MIN) &&
                 value <= static_cast<double>(INT_MAX);
    std::free(text);
    if (!whole)
        return OptionRead::refused;
    *target = static_cast<int>(value);
    return OptionRead::read;
}
