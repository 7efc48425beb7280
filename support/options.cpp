// Option lookup. The key is found as a plain substring (also inside a longer
// key or a value); its value runs from the first "=" after it up to a blank,
// comma or tab. Callers rely on the first match winning, so keys are asked
// for exactly as written, with no word boundaries.
#include "options.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scriptrun/messages.h"

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

// The whole text read as one finite real.
bool finite_text(const char* text, double* value)
{
    char* end;
    double read = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(read))
        return false;
    *value = read;
    return true;
}

// The value of key read by finite_text, and its text for a message.
OptionRead read_finite(const char* options, const char* key, double* value, std::string* text)
{
    char* found = get_option_value(options, key);
    if (found == nullptr)
        return OptionRead::absent;
    bool read = finite_text(found, value);
    if (text)
        *text = found;
    std::free(found);
    return read ? OptionRead::read : OptionRead::refused;
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

OptionRead read_real_option(const char* options, const char* key, double* target)
{
    double value;
    OptionRead result = read_finite(options, key, &value, nullptr);
    if (result == OptionRead::read)
        *target = value;
    return result;
}

OptionRead read_whole_option(const char* options, const char* key, int* target)
{
    double value;
    OptionRead result = read_finite(options, key, &value, nullptr);
    if (result != OptionRead::read)
        return result;
    if (value != std::trunc(value) || value < static_cast<double>(INT_MIN) ||
        value > static_cast<double>(INT_MAX))
        return OptionRead::refused;
    *target = static_cast<int>(value);
    return OptionRead::read;
}

bool read_real_setting(const char* options, const char* key, double* target, const char* prefix)
{
    double value;
    std::string text;
    OptionRead result = read_finite(options, key, &value, &text);
    if (result == OptionRead::read)
        *target = value;
    if (result != OptionRead::refused)
        return true;
    print_message("%s: the option %s (\"%s\") is not a finite number\n", prefix, key,
                  text.c_str());
    return false;
}
