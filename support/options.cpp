// Option lookup. The key is found as a plain substring (also inside a longer
// key or a value); its value runs from the first "=" after it up to a blank,
// comma or tab. Callers rely on the first match winning, so keys are asked
// for exactly as written, with no word boundaries.
#include "options.h"

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
