// Splitting, reading and formatting of list values.
#include "xml/lists.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xml/variant.h"

ListItems::ListItems(const char* value, const char* separators) : scratch(value)
{
    bool cut[256] = {};
    for (const char* s = separators ? separators : ""; *s; ++s)
        cut[static_cast<unsigned char>(*s)] = true;
    bool in_item = false;
    for (size_t i = 0; i < scratch.size(); ++i) {
        if (cut[static_cast<unsigned char>(scratch[i])]) {
            scratch[i] = '\0';
            in_item = false;
        } else if (!in_item) {
            starts.push_back(i);
            in_item = true;
        }
    }
}

bool read_int_item(const char* item, int* target)
{
    char* end;
    long value = strtol(item, &end, 10);
    if (end == item)
        return false;
    *target = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
    return true;
}

bool read_double_item(const char* item, double* target)
{
    char* end;
    double value = strtod(item, &end);
    if (end == item)
        return false;
    *target = value;
    return true;
}

namespace {

// Each item is formatted into a small buffer and appended, so the whole list
// costs one pass; the value text is reserved once from the count.
template <typename T>
std::string format_list(const T* values, int count, const char* format, const char* separator)
{
    std::string out;
    if (count < 1 || !values)
        return out;
    const char* sep = separator ? separator : "";
    out.reserve(static_cast<size_t>(count) * (strlen(sep) + 40) + 1);
    char item[64];
    for (int i = 0; i < count; ++i) {
        int length = snprintf(item, sizeof item, format, values[i]);
        out.append(item, static_cast<size_t>(length));
        if (i + 1 < count)
            out += sep;
    }
    return out;
}

}  // namespace

std::string format_int_list(const int* values, int count, const char* separator)
{
    return format_list(values, count, "%d", separator);
}

std::string format_double_list(const double* values, int count, const char* separator)
{
    return format_list(values, count, kRealFormat, separator);
}
